// Which window holds the keys after a modal dialog, on a window system whose activation is
// asynchronous (X11: the activation arrives later as an event).  Runs on the X display of the
// suite, with no window manager.
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#include "platform/qt/modal_dialog.h"
#include "ui/panel_window.h"

namespace {

// Processes events until w is the active window (false after ms milliseconds).
bool becomesActive(QWidget* w, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (QApplication::activeWindow() != w && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return QApplication::activeWindow() == w;
}

// Still the active window after the events of the next ms milliseconds.
bool staysActive(QWidget* w, int ms = 500) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (QApplication::activeWindow() != w) return false;
  }
  return true;
}

// A message box of no window, run by t_execModal and answered from its own event loop, as the
// modes ask their questions.
void askAndAnswer() {
  QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("text"), QMessageBox::Ok);
  QTimer::singleShot(30, &box, [&box] { box.accept(); });
  t_execModal(box);
}

}  // namespace

TEST(ModalActivation, APanelHiddenRightAfterItsDialogLeavesTheMainWindowActive) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs the X11 platform (asynchronous activation), not " << QGuiApplication::platformName().toStdString();
  std::unique_ptr<QWidget> panel(new QWidget());
  QMainWindow main;
  main.setGeometry(40, 40, 400, 300);
  main.show();
  t_setPanelOwner(&main);
  t_makeToolPanel(panel.get());
  panel->setGeometry(480, 40, 200, 200);

  // (how many events run between the dialog closing and the panel hidden)
  for (int eventsBeforeHide : {0, 1, 5}) {
    SCOPED_TRACE(eventsBeforeHide);
    panel->show();
    panel->activateWindow();
    ASSERT_TRUE(becomesActive(panel.get()));
    // Answered while the panel stays: the keys come back to the panel.
    askAndAnswer();
    EXPECT_TRUE(becomesActive(panel.get()));
    // Answered, then the command hides the panel (its mode ended), before or after the panel's
    // activation arrived: the main window holds the keys, and keeps them.
    askAndAnswer();
    for (int i = 0; i < eventsBeforeHide; ++i) QApplication::processEvents();
    panel->hide();
    EXPECT_TRUE(becomesActive(&main));
    EXPECT_TRUE(staysActive(&main));
  }
  t_setPanelOwner(nullptr);
}
