#include "platform/qt/modal_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QPointer>
#include <QWindow>

namespace {

constexpr char kPendingName[] = "kestrinPendingActivation";

QWidget* shownMainWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(w) && w->isVisible() && !w->isMinimized()) return w;
  return nullptr;
}

// Follows a window asked to become active until the window system makes a shown window of ours
// active.  The activation is asynchronous (on X11 it arrives as an event later): where the window
// is hidden before it arrives, or it arrives when the window is hidden already, the keys would go
// nowhere, so the main window is activated instead.
class TPendingActivation : public QObject {
 public:
  explicit TPendingActivation(QWidget* w) : QObject(w), w_(w) {
    setObjectName(QLatin1String(kPendingName));
    w->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TPendingActivation::activated);
  }

  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Hide && !e->spontaneous()) handToMainWindow();
    return false;
  }

 private:
  void activated(QWindow* now) {
    // None active (the keys left the window before), or a window already hidden (a late
    // activation of the dialog that closed): the one asked for is still on its way.
    if (!now || (now != w_->windowHandle() && !now->isVisible())) return;
    if (now == w_->windowHandle() && !w_->isVisible())
      handToMainWindow();
    else
      finish();
  }

  void handToMainWindow() {
    if (QWidget* main = shownMainWindow())
      if (main != w_) main->activateWindow();
    finish();
  }

  void finish() {
    w_->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
    setObjectName(QString());
    deleteLater();
  }

  QWidget* w_;
};

}  // namespace

int t_execModal(QDialog& dlg) {
  QWidget* parent = dlg.parentWidget() ? dlg.parentWidget()->window() : nullptr;
  const QPointer<QWidget> opener = parent ? parent : QApplication::activeWindow();
  const int result = dlg.exec();
  QWidget* next = QApplication::activeModalWidget();
  if (!next && opener && opener != &dlg && opener->isVisible() && !opener->isMinimized()) next = opener;
  QWidget* main = shownMainWindow();
  if (!next) next = main;
  if (!next) return result;
  next->activateWindow();
  if (next != main && !next->findChild<QObject*>(QLatin1String(kPendingName), Qt::FindDirectChildrenOnly))
    new TPendingActivation(next);
  return result;
}
