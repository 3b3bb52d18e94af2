// Progress delivery across threads, the edit/control pairs, the signal quit path and the profile.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "platform/Progress.h"
#include "platform/qt/QtProgressSink.h"
#include "platform/qt/app_profile.h"
#include "ui/edit_sync.h"
#include "platform/qt/signal_quit.h"

// ---- progress -----------------------------------------------------------------------------------

namespace {
struct Recorded {
  std::vector<std::string> calls;
  std::vector<QThread*> threads;
};
}  // namespace

TEST(QtProgressSink, WorkerCallsArriveOnTheInterfaceThreadInOrder) {
  QObject frame;
  Recorded rec;
  TQtProgressSink sink(
      &frame,
      [&](int i, int p) {
        rec.calls.push_back("start " + std::to_string(i) + " " + std::to_string(p));
        rec.threads.push_back(QThread::currentThread());
      },
      [&](int p) {
        rec.calls.push_back("step " + std::to_string(p));
        rec.threads.push_back(QThread::currentThread());
      },
      [&] {
        rec.calls.push_back("end");
        rec.threads.push_back(QThread::currentThread());
      });
  t_setProgressSink(&sink);

  std::thread worker([] {
    t_progressStart(13);
    for (int i = 1; i <= 3; ++i) t_progressToMainFrame(i / 4.0);
    t_progressEnd();
  });
  worker.join();
  // Nothing ran on the worker: the calls wait in the interface thread's queue.
  EXPECT_TRUE(rec.calls.empty());

  QElapsedTimer t;
  t.start();
  while (rec.calls.size() < 5 && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  t_setProgressSink(nullptr);

  const std::vector<std::string> expected = {"start 13 0", "step 25", "step 50", "step 75", "end"};
  EXPECT_EQ(rec.calls, expected);
  for (QThread* th : rec.threads) EXPECT_EQ(th, QCoreApplication::instance()->thread());
}

TEST(QtProgressSink, CallsOnTheInterfaceThreadRunAtOnceAndDeadFramesAreSkipped) {
  auto* frame = new QObject();
  int steps = 0;
  TQtProgressSink sink(frame, nullptr, [&](int) { ++steps; }, nullptr);
  sink.progressStep(10);
  EXPECT_EQ(steps, 1);  // synchronous callers see the change immediately
  sink.progressStart(1, 0);  // no start handler: nothing happens
  std::thread worker([&] { sink.progressStep(20); });
  worker.join();
  delete frame;  // the queued call belongs to the frame and goes with it
  QCoreApplication::processEvents();
  EXPECT_EQ(steps, 1);
  sink.progressStep(30);
  EXPECT_EQ(steps, 1);
}

// ---- edit / control pairs -----------------------------------------------------------------------

TEST(EditSync, Slider1TakesWholeNumbersAndRewritesEverythingElse) {
  QLineEdit edit;
  QSlider slider(Qt::Horizontal);
  slider.setRange(-1000, 1000);
  slider.setValue(50);
  int moved = 0;
  QObject::connect(&slider, &QSlider::valueChanged, [&] { ++moved; });

  edit.setText("12.34");
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 123);
  EXPECT_EQ(edit.text().toStdString(), "12.34");  // left as typed
  EXPECT_EQ(moved, 0);                    // set by the program, not by the user

  edit.setText("12.34x");
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 123);
  EXPECT_EQ(edit.text().toStdString(), "12.3");

  edit.setText("-0.19");  // truncation towards zero
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), -1);
  EXPECT_EQ(edit.text().toStdString(), "-0.19");

  edit.setText("500");  // clamped by the slider, edit rewritten to the clamped value
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 1000);
  EXPECT_EQ(edit.text().toStdString(), "100.0");

  edit.setText("1e300");  // far outside int: clamps, no overflow
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 1000);
  EXPECT_EQ(edit.text().toStdString(), "100.0");

  edit.setText("");
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(edit.text().toStdString(), "100.0");

  edit.setText("3.5 ");  // something behind the number: not whole
  t_syncEditToSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 1000);
  EXPECT_EQ(edit.text().toStdString(), "100.0");
}

TEST(EditSync, Spin3UsesThousandthsAndThreeDecimals) {
  QLineEdit edit;
  QSpinBox spin;
  spin.setRange(1, 100000);
  spin.setValue(1000);

  edit.setText("0.4883");
  t_syncEditToSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 488);
  EXPECT_EQ(edit.text().toStdString(), "0.4883");

  edit.setText("abc");
  t_syncEditToSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 488);
  EXPECT_EQ(edit.text().toStdString(), "0.488");

  edit.setText("0");  // below the range: clamped to 1 and shown
  t_syncEditToSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 1);
  EXPECT_EQ(edit.text().toStdString(), "0.001");

  // A long text is read up to 1024 characters: 1024 digits of "1" is still a number.
  edit.setText(QString(2000, '1'));
  t_syncEditToSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 100000);
  EXPECT_EQ(edit.text().toStdString(), "100.000");
}

TEST(EditSync, WholeNumberParse) {
  double v = 0;
  EXPECT_TRUE(t_parseWholeNumber("2.5", v));
  EXPECT_DOUBLE_EQ(v, 2.5);
  EXPECT_TRUE(t_parseWholeNumber("-1e3", v));
  EXPECT_DOUBLE_EQ(v, -1000);
  EXPECT_FALSE(t_parseWholeNumber("2,5", v));  // the decimal separator is the dot
  EXPECT_FALSE(t_parseWholeNumber("", v));
  EXPECT_FALSE(t_parseWholeNumber("x1", v));
}

// ---- signals and profile ------------------------------------------------------------------------

TEST(SignalQuit, TermSignalEndsTheMainLoopNormally) {
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

TEST(AppProfile, ProfileLivesUnderTheApplicationsOrganisation) {
  t_setupAppProfile();
  EXPECT_EQ(QCoreApplication::organizationName().toStdString(), "Local AppWizard-Generated Applications");
  auto s = t_appSettings();
  EXPECT_EQ(s->organizationName().toStdString(), "Local AppWizard-Generated Applications");
  EXPECT_EQ(s->applicationName().toStdString(), "Kestrin");
}
