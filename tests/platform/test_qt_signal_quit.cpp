// The program's handling of SIGTERM and SIGINT.  Alone in its binary: once the main loop has been
// ended by the signal, the application object runs no further loops for other cases.
#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

#include "platform/qt/signal_quit.h"

TEST(SignalQuit, TermSignalEndsTheMainLoopNormally) {
  // The handler serves one signal per process (a second one takes the default action): a
  // repeated run has used it up.
  if (t_termSignalReceived()) GTEST_SKIP() << "the signal was taken by an earlier repetition";
  ASSERT_TRUE(t_quitOnTermSignals());
  bool aboutToQuit = false;
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [&] { aboutToQuit = true; });
  QTimer::singleShot(50, [] { std::raise(SIGTERM); });
  // Safety net so that a broken path fails instead of hanging.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(10000);
  const int rc = QCoreApplication::exec();
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(aboutToQuit);
  EXPECT_TRUE(t_termSignalReceived());
}

