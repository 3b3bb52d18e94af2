// Progress delivery across threads, the edit/control pairs and the profile.
#include <QApplication>
#include <QElapsedTimer>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Progress.h"
#include "platform/qt/QtProgressSink.h"
#include "platform/qt/app_profile.h"
#include "platform/qt/modal_dialog.h"
#include "ui/edit_sync.h"

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

TEST(QtProgressSink, StepsQueuedBeforeAnEndOnTheInterfaceThreadStayOut) {
  // A load on the interface thread whose parallel loop also steps from other threads: what those
  // threads queued must not fill the bar again after the load ended it.
  QObject frame;
  std::vector<std::string> calls;
  TQtProgressSink sink(
      &frame, [&](int i, int p) { calls.push_back("start " + std::to_string(i) + " " + std::to_string(p)); },
      [&](int p) { calls.push_back("step " + std::to_string(p)); }, [&] { calls.push_back("end"); });
  t_setProgressSink(&sink);
  t_progressStart(1, 0);
  std::thread loop([] { t_progressStep(50); });
  loop.join();
  t_progressEnd();
  // Work started after the end still shows.
  std::thread worker([] {
    t_progressStart(13);
    t_progressStep(10);
  });
  worker.join();
  QElapsedTimer t;
  t.start();
  while (calls.size() < 4 && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QCoreApplication::processEvents();
  t_setProgressSink(nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"start 1 0", "end", "start 13 0", "step 10"}));
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

namespace {
// Ends an edit's editing as Enter or the focus leaving does, with the edit bound to its control.
template <class Control>
void finishEdit(QLineEdit* edit, Control* control, int decimals) {
  TEditPair pair(edit, control, decimals);
  emit edit->editingFinished();
}
void finishSpin1(QLineEdit* e, QSpinBox* s) { finishEdit(e, s, 1); }
void finishSpin2(QLineEdit* e, QSpinBox* s) { finishEdit(e, s, 2); }
void finishSpin3(QLineEdit* e, QSpinBox* s) { finishEdit(e, s, 3); }
void finishSpinInt(QLineEdit* e, QSpinBox* s) { finishEdit(e, s, 0); }
void finishSlider1(QLineEdit* e, QSlider* s) { finishEdit(e, s, 1); }
}  // namespace

TEST(EditSync, Slider1TakesWholeNumbersAndRewritesEverythingElse) {
  QLineEdit edit;
  QSlider slider(Qt::Horizontal);
  slider.setRange(-1000, 1000);
  slider.setValue(50);
  int moved = 0;
  QObject::connect(&slider, &QSlider::valueChanged, [&] { ++moved; });

  edit.setText("12.34");
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 123);
  EXPECT_EQ(edit.text().toStdString(), "12.34");  // left as typed
  EXPECT_EQ(moved, 0);                    // set by the program, not by the user

  edit.setText("12.34x");
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 123);
  EXPECT_EQ(edit.text().toStdString(), "12.3");

  edit.setText("-0.19");  // truncation towards zero
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), -1);
  EXPECT_EQ(edit.text().toStdString(), "-0.19");

  edit.setText("500");  // clamped by the slider, edit rewritten to the clamped value
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 1000);
  EXPECT_EQ(edit.text().toStdString(), "100.0");

  edit.setText("1e300");  // far outside int: clamps, no overflow
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 1000);
  EXPECT_EQ(edit.text().toStdString(), "100.0");

  edit.setText("3.5 ");  // something behind the number: not whole
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 1000);
  EXPECT_EQ(edit.text().toStdString(), "100.0");

  edit.setText("");  // an emptied edit counts as 0 and stays empty
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), 0);
  EXPECT_EQ(edit.text().toStdString(), "");
}

// The position is the typed decimal times the scale, truncated toward zero on the digits typed:
// many short decimals lie just below themselves in binary (1.001 x 1000 = 1000.99999...).
TEST(EditSync, TypedDecimalsAreTruncatedAsWritten) {
  QLineEdit edit;
  QSpinBox spin;
  spin.setRange(-2000000000, 2000000000);
  auto spin3 = [&](const char* text) {
    edit.setText(QString::fromLatin1(text));
    finishSpin3(&edit, &spin);
    return spin.value();
  };
  // Every thousandth from 0.001 to 20.000 typed with three decimals lands on itself.
  int wrong = 0;
  for (int k = 1; k <= 20000; ++k) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%03d", k / 1000, k % 1000);
    if (spin3(text) != k && wrong++ < 5) ADD_FAILURE() << text << " gave " << spin.value();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(spin3("1.001"), 1001);
  EXPECT_EQ(spin3("1.0019"), 1001);  // truncated, not rounded
  EXPECT_EQ(spin3("-1.0019"), -1001);  // toward zero
  EXPECT_EQ(spin3("-0.0009"), 0);
  EXPECT_EQ(spin3("4.35"), 4350);
  EXPECT_EQ(spin3("0.0435e2"), 4350);  // exponents move the point on the digits too
  EXPECT_EQ(spin3("43500e-4"), 4350);
  EXPECT_EQ(spin3(".5"), 500);
  EXPECT_EQ(spin3("7."), 7000);
  EXPECT_EQ(spin3("+2.5"), 2500);
  EXPECT_EQ(spin3("0e999999999999"), 0);
  EXPECT_EQ(spin3("3e999999999999"), 2000000000);  // clamped by the spin
  EXPECT_EQ(spin3("0x10"), 16000);                  // not a plain decimal: the double's route
  EXPECT_EQ(spin3(""), 0);
  EXPECT_EQ(edit.text().toStdString(), "");

  QSpinBox spin1, spin2, spinInt;
  for (QSpinBox* s : {&spin1, &spin2, &spinInt}) s->setRange(-100000, 100000);
  edit.setText("0.29");  // 0.29 x 100 = 28.999999999999996
  finishSpin2(&edit, &spin2);
  EXPECT_EQ(spin2.value(), 29);
  edit.setText("2.99");
  finishSpin1(&edit, &spin1);
  EXPECT_EQ(spin1.value(), 29);
  edit.setText("-57.9");
  finishSpinInt(&edit, &spinInt);
  EXPECT_EQ(spinInt.value(), -57);
  EXPECT_EQ(edit.text().toStdString(), "-57.9");
  QSlider slider(Qt::Horizontal);
  slider.setRange(-1000, 1000);
  edit.setText("-1.13e1");
  finishSlider1(&edit, &slider);
  EXPECT_EQ(slider.value(), -113);
}

TEST(EditSync, Spin3UsesThousandthsAndThreeDecimals) {
  QLineEdit edit;
  QSpinBox spin;
  spin.setRange(1, 100000);
  spin.setValue(1000);

  edit.setText("0.4883");
  finishSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 488);
  EXPECT_EQ(edit.text().toStdString(), "0.4883");

  edit.setText("abc");
  finishSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 488);
  EXPECT_EQ(edit.text().toStdString(), "0.488");

  edit.setText("0");  // below the range: clamped to 1 and shown
  finishSpin3(&edit, &spin);
  EXPECT_EQ(spin.value(), 1);
  EXPECT_EQ(edit.text().toStdString(), "0.001");

  // A long text is read up to 1024 characters: 1024 digits of "1" is still a number.
  edit.setText(QString(2000, '1'));
  finishSpin3(&edit, &spin);
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

// ---- profile ------------------------------------------------------------------------------

TEST(AppProfile, ProfileLivesUnderTheApplicationsOrganisation) {
  t_setupAppProfile();
  EXPECT_EQ(QCoreApplication::organizationName().toStdString(), "Local AppWizard-Generated Applications");
  auto s = t_appSettings();
  EXPECT_EQ(s->organizationName().toStdString(), "Local AppWizard-Generated Applications");
  EXPECT_EQ(s->applicationName().toStdString(), "Kestrin");
}

// ---- modal dialogs ------------------------------------------------------------------------

namespace {

// Runs a box modally, closed from the event loop it runs; `meanwhile` runs while it is open.
void runBox(const std::function<void()>& meanwhile = {}) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("text"), QMessageBox::Ok);
  QTimer::singleShot(50, [&box, meanwhile] {
    if (meanwhile) meanwhile();
    box.accept();
  });
  t_execModal(box);
  QApplication::processEvents();
}

bool becomesActive(QWidget* w) {
  QElapsedTimer t;
  t.start();
  while (QApplication::activeWindow() != w && t.elapsed() < 2000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return QApplication::activeWindow() == w;
}

}  // namespace

TEST(ModalDialogs, TheWindowThatOpenedADialogIsActiveAfterItElseTheMainWindow) {
  QMainWindow main;
  main.show();
  QWidget panel(&main, Qt::Tool);
  panel.show();
  main.activateWindow();
  ASSERT_TRUE(becomesActive(&main));
  // Opened from a panel that stays: the keys go back to the panel, not to the main window.
  panel.activateWindow();
  ASSERT_TRUE(becomesActive(&panel));
  runBox();
  EXPECT_TRUE(becomesActive(&panel));
  // A dialog with a parent gives the activation back to its parent's window.
  main.activateWindow();
  ASSERT_TRUE(becomesActive(&main));
  QDialog child(&panel);
  QTimer::singleShot(50, &child, [&child] { child.accept(); });
  t_execModal(child);
  EXPECT_TRUE(becomesActive(&panel));
  // The panel hidden meanwhile (its command ended the mode): the main window.
  runBox([&panel] { panel.hide(); });
  EXPECT_TRUE(becomesActive(&main));
}
