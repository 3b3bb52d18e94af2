#include "platform/qt/modal_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>

int t_execModal(QDialog& dlg) {
  const int result = dlg.exec();
  QWidget* next = QApplication::activeModalWidget();
  if (!next)
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QMainWindow*>(w) && w->isVisible() && !w->isMinimized()) {
        next = w;
        break;
      }
  if (next) next->activateWindow();
  return result;
}
