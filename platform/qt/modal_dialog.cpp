#include "platform/qt/modal_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QPointer>

int t_execModal(QDialog& dlg) {
  QWidget* parent = dlg.parentWidget() ? dlg.parentWidget()->window() : nullptr;
  const QPointer<QWidget> opener = parent ? parent : QApplication::activeWindow();
  const int result = dlg.exec();
  QWidget* next = QApplication::activeModalWidget();
  if (!next && opener && opener != &dlg && opener->isVisible() && !opener->isMinimized()) next = opener;
  if (!next)
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QMainWindow*>(w) && w->isVisible() && !w->isMinimized()) {
        next = w;
        break;
      }
  if (next) next->activateWindow();
  return result;
}
