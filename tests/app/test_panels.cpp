// Window parts of the shell, offscreen: the main frame's progress display fed from a worker, the
// window-level panel, the mask-ID chooser, and the mode objects' entry with their hidden panels.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "app/CMainFrame.h"
#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/WinLvModel.h"
#include "core/lifetime.h"
#include "modes/contour/register_modes.h"
#include "modes/curve/register_modes.h"
#include "modes/region/register_modes.h"
#include "ui/TDlgMaskManip.h"
#include "ui/TModePanel.h"
#include "ui/panel_window.h"
#include "volume/TMaskIdTable.h"
#include "app/TDlgWinLv.h"
#include "tests/core/fakes.h"
#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/contour/TDlgSegContMesh.h"
#include "modes/curve/StateRefContours.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "modes/region/StateSegFulManu.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/StateSegRGrow.h"
#include "modes/region/TDlgSegRGrow.h"
#include "modes/region/StateSegSRG.h"
#include "platform/Progress.h"
#include "platform/ScriptedPrompts.h"

namespace {

QDialog* asDialog(TModePanelIf* p) { return dynamic_cast<QDialog*>(p); }

void waitUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void whenModal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer();
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start();
}

void pressKey(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &press);
}

}  // namespace

// ---- main frame ---------------------------------------------------------------------------------

TEST(MainFrame, ProgressFromAWorkerReachesTheStatusBar) {
  CMainFrame frame;
  EXPECT_EQ(g_mainFrame, &frame);
  EXPECT_EQ(frame.captionText(), "Ready---------");
  frame.installProgressSink();

  std::thread worker([] {
    t_progressStart(13);
    t_progressToMainFrame(0.424);
  });
  worker.join();
  waitUntil([&] { return frame.progressValue() == 42; });
  EXPECT_EQ(frame.captionText(), "BHRBF:LU-factorization");
  EXPECT_EQ(frame.progressValue(), 42);

  // An index outside the table leaves the caption; the percent still shows.
  frame.OnMyProgressStart(kProgressCaptionCount, 80);
  EXPECT_EQ(frame.captionText(), "BHRBF:LU-factorization");
  EXPECT_EQ(frame.progressValue(), 80);
  frame.OnMyProgressStart(16, 0);
  EXPECT_EQ(frame.captionText(), "ZEL用 領域計算中");

  std::thread ender([] { t_progressEnd(); });
  ender.join();
  waitUntil([&] { return frame.captionText() == "-----Ready----"; });
  EXPECT_EQ(frame.captionText(), "-----Ready----");
  EXPECT_EQ(frame.progressValue(), 0);
  frame.removeProgressSink();
}

TEST(MainFrame, GoneFrameIsNoLongerTheTarget) {
  { CMainFrame frame; }
  EXPECT_EQ(g_mainFrame, nullptr);
  t_progressStart(1);  // no sink: nothing happens, nothing crashes
}

// Every rectangle of the layout inside avail, and none meeting another or the main frame.
void expectApart(const QRect& avail, const TPanelLayout& l) {
  EXPECT_TRUE(avail.contains(l.mainFrame));
  std::vector<QRect> all = l.panels;
  if (!l.freePanel.isEmpty()) all.push_back(l.freePanel);
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_TRUE(avail.contains(all[i])) << i;
    EXPECT_FALSE(all[i].intersects(l.mainFrame)) << i;
    for (std::size_t j = i + 1; j < all.size(); ++j) EXPECT_FALSE(all[i].intersects(all[j])) << i << " " << j;
  }
}

TPanelLayoutRequest request(const QRect& avail, const QRect& home, std::vector<QSize> panels) {
  TPanelLayoutRequest q;
  q.avail = avail;
  q.home = home;
  q.panels = std::move(panels);
  q.barsHeight = 80;
  q.scrollBarWidth = 15;
  return q;
}

TEST(PanelLayout, TheColumnStandsBesideTheFrameWhichMovesOrNarrowsOnlyAsFarAsItMust) {
  const QRect avail(0, 0, 1600, 1000);
  // Room on the right: 75 px beyond the right edge, level with the top, one below the other.
  {
    const QRect home(100, 50, 400, 300);
    const TPanelLayout l = t_layoutPanels(request(avail, home, {QSize(318, 500), QSize(330, 300)}));
    EXPECT_EQ(l.mainFrame, home);
    EXPECT_EQ(l.panels[0], QRect(575, 50, 318, 500));
    EXPECT_EQ(l.panels[1], QRect(575, 550, 330, 300));
  }
  // No room on the right but on the left: the frame stays and the column stands on its left.
  {
    const QRect home(500, 100, 1024, 800);
    const TPanelLayout l = t_layoutPanels(request(avail, home, {QSize(318, 672)}));
    EXPECT_EQ(l.mainFrame, home);
    EXPECT_EQ(l.panels[0], QRect(500 - 75 - 318, 100, 318, 672));
  }
  // Room on neither side: the frame moves left (its least move) as far as makes room, keeping
  // the gap.
  {
    const TPanelLayout l = t_layoutPanels(request(avail, QRect(250, 105, 1026, 800), {QSize(318, 672)}));
    EXPECT_EQ(l.mainFrame, QRect(1600 - 318 - 75 - 1026, 105, 1026, 800));
    EXPECT_EQ(l.panels[0], QRect(1600 - 318, 105, 318, 672));
  }
  // Two columns leave the frame less than its width: it narrows to what is left, no further, and
  // with fewer panels the same home gives the whole frame back.
  {
    const QRect home(289, 105, 1026, 800);
    const TPanelLayout l = t_layoutPanels(request(avail, home, {QSize(318, 672), QSize(330, 447)}));
    expectApart(avail, l);
    EXPECT_EQ(l.panels[1].top(), l.panels[0].top());
    EXPECT_EQ(l.mainFrame.size(), QSize(1600 - 318 - 330 - kPanelColumnMinGap, 800));
    const TPanelLayout back = t_layoutPanels(request(avail, home, {QSize(318, 400)}));
    EXPECT_EQ(back.mainFrame.size(), home.size());
    // A frame the user holds stays where it is even without room beside it; the panels stay on
    // the screen, below its bars where they cover it.
    TPanelLayoutRequest held = request(avail, QRect(300, 105, 1026, 800), {QSize(318, 672)});
    held.mayMoveMain = false;
    const TPanelLayout u = t_layoutPanels(held);
    EXPECT_EQ(u.mainFrame, held.home);
    EXPECT_TRUE(avail.contains(u.panels[0]));
    EXPECT_EQ(u.panels[0].top(), 105 + held.barsHeight);
  }
}

TEST(PanelLayout, TheFrameMovesTheLeastEitherWayNarrowsInPlaceAndKeepsAPlacePartlyOffTheScreen) {
  const QRect avail(0, 0, 1600, 1000);
  // Two columns (648 px) that fit beside the frame on neither side.
  const std::vector<QSize> two = {QSize(318, 672), QSize(330, 447)};
  // Moved right by 99 px rather than left by 376: the columns on its left.
  {
    const TPanelLayout l = t_layoutPanels(request(QRect(0, 0, 1920, 1080), QRect(624, 100, 1024, 800), two));
    expectApart(QRect(0, 0, 1920, 1080), l);
    EXPECT_EQ(l.mainFrame, QRect(648 + kPanelColumnGap, 100, 1024, 800));
    EXPECT_EQ(l.panels[0].right() + 1 + kPanelColumnGap, l.mainFrame.left());
  }
  // Narrowed in place where that makes room: against the screen's right edge it keeps that edge,
  // away from it its left edge.
  {
    const TPanelLayout l = t_layoutPanels(request(avail, QRect(576, 100, 1024, 800), two));
    expectApart(avail, l);
    EXPECT_EQ(l.mainFrame, QRect(648 + kPanelColumnMinGap, 100, 1600 - 648 - kPanelColumnMinGap, 800));
    const TPanelLayout k = t_layoutPanels(request(avail, QRect(100, 100, 1024, 800), two));
    expectApart(avail, k);
    EXPECT_EQ(k.mainFrame, QRect(100, 100, 1600 - 648 - kPanelColumnMinGap - 100, 800));
  }
  // Put partly off the screen (its left and bottom edges) where the column has room on its right:
  // the frame stays there, the column on the screen.
  {
    const QRect home(-150, 400, 1024, 800);
    const TPanelLayout l = t_layoutPanels(request(avail, home, {QSize(318, 500)}));
    EXPECT_EQ(l.mainFrame, home);
    EXPECT_EQ(l.panels[0], QRect(874 + kPanelColumnGap, 400, 318, 500));
    // Where the column needs room from it, the frame moves sideways only.
    const TPanelLayout m = t_layoutPanels(request(avail, home, {QSize(318, 672), QSize(420, 447)}));
    EXPECT_EQ(m.mainFrame.top(), home.top());
    EXPECT_EQ(m.mainFrame.height(), home.height());
    for (const QRect& r : m.panels) {
      EXPECT_TRUE(avail.contains(r));
      EXPECT_FALSE(r.intersects(m.mainFrame));
    }
  }
}

TEST(PanelLayout, OnASmallScreenPanelsCoverTheFrameBelowItsBarsAndAsLittleOfItsViewAsTheyCan) {
  const QRect avail(0, 0, 1280, 800);
  // The view on the right of the frame, the slice panes (300 px) on its left.
  TPanelLayoutRequest q = request(avail, QRect(100, 0, 1024, 800), {QSize(318, 760), QSize(330, 447)});
  q.viewInset = QMargins(300, 80, 0, 20);
  const TPanelLayout l = t_layoutPanels(q);
  EXPECT_TRUE(avail.contains(l.mainFrame));
  EXPECT_EQ(l.mainFrame.width(), kMainFrameMinWidth);
  const QRect view = l.mainFrame.marginsRemoved(q.viewInset);
  for (std::size_t i = 0; i < l.panels.size(); ++i) {
    const QRect& r = l.panels[i];
    EXPECT_TRUE(avail.contains(r)) << i;
    EXPECT_GE(r.top(), l.mainFrame.top() + q.barsHeight) << i;
    EXPECT_FALSE(r.intersects(view)) << i;
    for (std::size_t j = i + 1; j < l.panels.size(); ++j) EXPECT_FALSE(r.intersects(l.panels[j])) << i << " " << j;
  }
  // Taller than the room below the bars: cut to it, with room for the scroll bar.
  EXPECT_EQ(l.panels[0].height(), 800 - q.barsHeight);
  EXPECT_EQ(l.panels[0].width(), 318 + q.scrollBarWidth);
  // A frame already narrower than the least width on a screen smaller still is never widened.
  const TPanelLayout tiny = t_layoutPanels(request(QRect(0, 0, 640, 512), QRect(0, 0, 632, 480), {QSize(318, 400)}));
  EXPECT_EQ(tiny.mainFrame.width(), 632);
  // A maximised frame: the panels go over it, below its bars, on the screen.
  TPanelLayoutRequest m = request(avail, avail, {QSize(318, 500)});
  m.maximised = true;
  const TPanelLayout ml = t_layoutPanels(m);
  EXPECT_EQ(ml.mainFrame, avail);
  EXPECT_EQ(ml.panels[0], QRect(1280 - 318, 80, 318, 500));
}

TEST(PanelLayout, TheWindowLevelGoesWhereItCoversNothingElseAtTheColumnsEnd) {
  const QRect avail(0, 0, 1920, 1080);
  const QSize level(323, 268);
  // Opening: the free place nearest the frame's middle, clear of the frame and the column.
  TPanelLayoutRequest q = request(avail, QRect(200, 100, 1024, 800), {QSize(318, 672)});
  q.freeSize = level;
  const TPanelLayout open = t_layoutPanels(q);
  expectApart(avail, open);
  EXPECT_EQ(open.mainFrame, q.home);
  EXPECT_EQ(open.freePanel.size(), level);
  // Kept where it stands while nothing covers it; a column panel laid over it moves it.
  q.freeAt = open.freePanel;
  EXPECT_EQ(t_layoutPanels(q).freePanel, open.freePanel);
  q.freeAt = QRect(QPoint(1300, 800), level);
  EXPECT_EQ(t_layoutPanels(q).freePanel, q.freeAt);
  q.panels = {QSize(318, 672), QSize(330, 300)};
  q.freeAt = QRect(QPoint(1299, 772), level);
  expectApart(avail, t_layoutPanels(q));
  // Put over the frame by the user: kept there.
  q.freeAt = QRect(QPoint(400, 300), level);
  q.freeMovedByUser = true;
  EXPECT_EQ(t_layoutPanels(q).freePanel, q.freeAt);
  // No free place left: it joins the column's end and the frame makes room for it.
  const QRect full(0, 0, 1600, 1000);
  TPanelLayoutRequest f = request(full, QRect(0, 0, 1024, 1000), {QSize(318, 672), QSize(330, 447)});
  const int without = t_layoutPanels(f).mainFrame.width();
  f.freeSize = QSize(340, 400);
  const TPanelLayout joined = t_layoutPanels(f);
  expectApart(full, joined);
  EXPECT_EQ(joined.freePanel.size(), f.freeSize);
  EXPECT_EQ(joined.mainFrame.width(), without - 10);
}

TEST(PanelLayout, AFreePlaceMeetsNothingTakenAndIsTheNearestThere) {
  const QRect avail(0, 0, 1000, 800);
  const std::vector<QRect> taken = {QRect(0, 0, 600, 500), QRect(620, 0, 300, 700)};
  const QRect r = t_freePlace(avail, QSize(200, 250), taken, QPoint(300, 300));
  ASSERT_FALSE(r.isEmpty());
  EXPECT_TRUE(avail.contains(r));
  for (const QRect& t : taken) EXPECT_FALSE(r.intersects(t));
  // Below the first rectangle, as near the asked corner as that allows.
  EXPECT_EQ(r, QRect(300, 500, 200, 250));
  EXPECT_TRUE(t_freePlace(avail, QSize(500, 400), taken, QPoint(0, 0)).isEmpty());
}

// ---- window level -------------------------------------------------------------------------------

TEST(WindowLevel, ChannelsSetTheRowsAndTheEditsShowTheSliders) {
  TDlgWinLv& w = TDlgWinLv::getInst();
  const double mn[3] = {-100.25, 0, 0}, mx[3] = {2000.5, 0, 0};
  w.setChannels(1, mn, mx);
  EXPECT_TRUE(w.minSlider(0)->isEnabled());
  EXPECT_FALSE(w.minSlider(1)->isEnabled());
  EXPECT_FALSE(w.maxEdit(2)->isEnabled());
  EXPECT_EQ(w.minSlider(0)->minimum(), -1002);
  EXPECT_EQ(w.maxSlider(0)->maximum(), 20005);
  EXPECT_EQ(w.minEdit(0)->text().toStdString(), "-100.2");
  EXPECT_EQ(w.maxRangeText(0)->text().toStdString(), "2000.5");
  EXPECT_DOUBLE_EQ(w.dataMax(0), 2000.5);

  // A slider step shows in its edit.
  w.minSlider(0)->setValue(-500);
  EXPECT_EQ(w.minEdit(0)->text().toStdString(), "-50.0");

  // Values from a camera file move only the row's controls, not its data range; the edits show
  // what the sliders took (a maximum below the minimum gives way, a value beyond the range is
  // clamped), never a value that was not applied.
  w.setValues(1, 50, 40);
  double a[3], b[3];
  TWinLvModel::getInst().getMinValues(a);
  TWinLvModel::getInst().getMaxValues(b);
  EXPECT_DOUBLE_EQ(a[0], 500 * 0.1);
  EXPECT_DOUBLE_EQ(b[0], 501 * 0.1);
  EXPECT_EQ(w.minEdit(0)->text().toStdString(), "50.0");
  EXPECT_EQ(w.maxEdit(0)->text().toStdString(), "50.1");
  EXPECT_DOUBLE_EQ(w.dataMin(0), -100.25);
  w.setValues(1, -5000, 90000);
  EXPECT_EQ(w.minEdit(0)->text().toStdString(), "-100.2");
  EXPECT_EQ(w.maxEdit(0)->text().toStdString(), "2000.5");

  // A constant channel gets a one-step window, and its edits say so.
  const double seven[3] = {7, 0, 0};
  w.setChannels(1, seven, seven);
  w.getMinValues(a);
  w.getMaxValues(b);
  EXPECT_DOUBLE_EQ(a[0], 70 * 0.1);
  EXPECT_DOUBLE_EQ(b[0], 71 * 0.1);
  EXPECT_EQ(w.minEdit(0)->text().toStdString(), "7.0");
  EXPECT_EQ(w.maxEdit(0)->text().toStdString(), "7.1");
  EXPECT_EQ(w.maxRangeText(0)->text().toStdString(), "7.0");

  // A dragged slider pushes the other one; at the end of the range the dragged one steps back.
  const double mn2[3] = {0, 0, 0}, mx2[3] = {100, 0, 0};
  w.setChannels(1, mn2, mx2);
  w.minSlider(0)->setValue(1000);
  w.getMinValues(a);
  w.getMaxValues(b);
  EXPECT_DOUBLE_EQ(a[0], 999 * 0.1);
  EXPECT_DOUBLE_EQ(b[0], 1000 * 0.1);
  EXPECT_EQ(w.minEdit(0)->text().toStdString(), "99.9");

  // A second channel enables its row.
  w.setRange(2, 1, 2);
  EXPECT_TRUE(w.minSlider(1)->isEnabled());
  EXPECT_EQ(w.maxSlider(1)->value(), 20);

  w.show();
  pressKey(&w, Qt::Key_Escape);
  pressKey(&w, Qt::Key_Return);
  w.close();
  EXPECT_TRUE(w.isVisible());
  TDlgWinLv::destroyInst();
}

TEST(WindowLevel, TypedBoundIsAppliedAsItParsesAndNeverMovesTheOtherBound) {
  TDlgWinLv& w = TDlgWinLv::getInst();
  const double mn[3] = {0, 0, 0}, mx[3] = {1000, 0, 0};
  w.setChannels(1, mn, mx);
  w.setValues(1, 80, 500);
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  // The window the exports and modes read, in tenths.
  auto applied = [] {
    double a[3], b[3];
    TWinLvModel::getInst().getMinValues(a);
    TWinLvModel::getInst().getMaxValues(b);
    return std::make_pair(int(std::lround(a[0] * 10)), int(std::lround(b[0] * 10)));
  };
  auto text = [](QLineEdit* e) { return e->text().toStdString(); };
  QLineEdit* lo = w.minEdit(0);
  QLineEdit* hi = w.maxEdit(0);

  // "300" into the maximum, key by key: the text stays as typed, each step that parses is applied
  // (held above the minimum), and the minimum is never touched.
  hi->setFocus();
  hi->selectAll();
  const std::pair<int, int> steps[3] = {{800, 801}, {800, 801}, {800, 3000}};
  const char* typed[3] = {"3", "30", "300"};
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(hi, typed[i][i]);
    EXPECT_EQ(text(hi), typed[i]);
    EXPECT_EQ(text(lo), "80.0");
    EXPECT_EQ(applied(), steps[i]) << typed[i];
  }
  QTest::keyClick(hi, Qt::Key_Return);
  EXPECT_EQ(text(hi), "300");
  EXPECT_EQ(text(lo), "80.0");
  EXPECT_EQ(applied(), std::make_pair(800, 3000));
  EXPECT_TRUE(w.isVisible());  // Enter in an edit does not close the panel

  // More decimals than the slider holds: truncated, kept as typed.  Letters apply nothing, and
  // when the focus leaves, the edit shows what was applied.
  lo->setFocus();
  lo->selectAll();
  QTest::keyClicks(lo, "12.34");
  EXPECT_EQ(w.minSlider(0)->value(), 123);
  QTest::keyClicks(lo, "x");
  EXPECT_EQ(text(lo), "12.34x");
  EXPECT_EQ(applied(), std::make_pair(123, 3000));
  hi->setFocus();
  EXPECT_EQ(text(lo), "12.3");

  // Beyond the range: clamped while typing, shown clamped at the end; a minimum typed above the
  // maximum stops just below it.
  hi->selectAll();
  QTest::keyClicks(hi, "99999");
  EXPECT_EQ(text(hi), "99999");
  EXPECT_EQ(applied(), std::make_pair(123, 10000));
  QTest::keyClick(hi, Qt::Key_Enter);
  EXPECT_EQ(text(hi), "1000.0");
  lo->setFocus();
  lo->selectAll();
  QTest::keyClicks(lo, "2000");
  EXPECT_EQ(applied(), std::make_pair(9999, 10000));
  QTest::keyClick(lo, Qt::Key_Return);
  EXPECT_EQ(text(lo), "999.9");
  EXPECT_EQ(text(hi), "1000.0");
  w.hide();
  TDlgWinLv::destroyInst();
}

TEST(WindowLevel, LettingGoOfASliderAppliesTheWindowOnce) {
  TDlgWinLv& w = TDlgWinLv::getInst();
  const double mn[3] = {0, 0, 0}, mx[3] = {100, 0, 0};
  w.setChannels(1, mn, mx);
  w.show();
  QSlider* s = w.maxSlider(0);
  {
    const QSignalBlocker b(s);
    s->setValue(0);  // handle at the left end
  }
  const QPointF beside(s->width() - 3, s->height() / 2.0);
  const QPointF global = s->mapToGlobal(beside);
  ::testing::internal::CaptureStderr();
  QMouseEvent press(QEvent::MouseButtonPress, beside, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, beside, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &release);
  QCoreApplication::processEvents();
  const std::string out = ::testing::internal::GetCapturedStderr();
  EXPECT_GT(s->value(), 0);  // the click moved the slider
  EXPECT_EQ(w.maxEdit(0)->text().toStdString(), QString::number(s->value() * 0.1, 'f', 1).toStdString());
  std::size_t applied = 0;
  for (std::size_t at = out.find("update window level\n"); at != std::string::npos;
       at = out.find("update window level\n", at + 1))
    ++applied;
  EXPECT_EQ(applied, 1u) << out;

  // Keyboard steps of a focused slider are applied when the arrow key comes up.
  const int before = s->value();
  ::testing::internal::CaptureStderr();
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &down);
  QKeyEvent up(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &up);
  const std::string keyOut = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(s->value(), before);
  EXPECT_NE(keyOut.find("update window level\n"), std::string::npos) << keyOut;
  TDlgWinLv::destroyInst();
}

// ---- region-growing panel: typed thresholds ---------------------------------------------------

TEST(RegionGrowingPanel, TypedValuesOutsideTheRangeStartAreKeptAndTaken) {
  // A colour volume with values 11..255: the channel spins span 10.9 .. 255.1.
  TDlgSegRGrow panel;
  const double lo[3] = {11, 11, 11}, hi[3] = {255, 255, 255};
  panel.updateControls(3, lo, hi);
  QApplication::setActiveWindow(&panel);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
  using S = TDlgSegRGrowIf;
  auto typeInto = [&](S::Spin s, const char* text) {
    panel.edit(s)->setFocus();
    panel.edit(s)->selectAll();
    QTest::keyClicks(panel.edit(s), text);
  };
  auto text = [&](S::Spin s) { return panel.edit(s)->text().toStdString(); };

  // "150" key by key: "1" lies below the range and is taken clamped, but stays on screen.
  typeInto(S::kCh1Min, "1");
  EXPECT_EQ(text(S::kCh1Min), "1");
  EXPECT_EQ(panel.spinPosition(S::kCh1Min), 109);
  QTest::keyClicks(panel.edit(S::kCh1Min), "50");
  EXPECT_EQ(text(S::kCh1Min), "150");
  EXPECT_EQ(panel.spinPosition(S::kCh1Min), 1500);
  QTest::keyClick(panel.edit(S::kCh1Min), Qt::Key_Return);
  EXPECT_EQ(text(S::kCh1Min), "150");
  EXPECT_EQ(panel.spinPosition(S::kCh1Min), 1500);
  EXPECT_TRUE(panel.isVisible());

  // A radius beyond the range: clamped while typed, shown clamped when the focus leaves.
  typeInto(S::kRadius, "99999999");
  EXPECT_EQ(text(S::kRadius), "99999999");
  EXPECT_EQ(panel.spinPosition(S::kRadius), 2440);
  panel.edit(S::kShapeCoef)->setFocus();
  EXPECT_EQ(text(S::kRadius), "244.0");

  // Letters apply nothing and give way to the spin's value at the end.
  typeInto(S::kGradMin, "0.2x");
  EXPECT_EQ(panel.spinPosition(S::kGradMin), 200);
  QTest::keyClick(panel.edit(S::kGradMin), Qt::Key_Enter);
  EXPECT_EQ(text(S::kGradMin), "0.200");

  // HSV rows hold thousandths: the edit follows the scale of its row.
  panel.hsvRadio()->click();
  typeInto(S::kCh2Max, "0.5");
  EXPECT_EQ(panel.spinPosition(S::kCh2Max), 500);
  QTest::keyClick(panel.edit(S::kCh2Max), Qt::Key_Return);
  EXPECT_EQ(text(S::kCh2Max), "0.5");
  typeInto(S::kCh2Max, "7");
  panel.edit(S::kCh1Max)->setFocus();
  EXPECT_EQ(text(S::kCh2Max), "1.000");
  EXPECT_EQ(panel.spinPosition(S::kCh2Max), 1000);
}

// ---- mask-ID chooser ------------------------------------------------------------------------------

TEST(MaskIdChooser, PickManyTogglesCellsAndRefusesAnEmptyAnswer) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TDlgMaskIdChooser chooser;
  std::vector<unsigned char> sel;
  QString title;
  whenModal([&](QWidget* w) {
    auto* dlg = qobject_cast<TDlgMaskManip*>(w);
    ASSERT_NE(dlg, nullptr);
    title = w->findChild<QLabel*>("title")->text();
    dlg->cell(3)->click();
    dlg->cell(5)->click();
    dlg->cell(5)->click();  // clicked twice: deselected
    dlg->cell(0)->click();  // the background is selectable like any id
    w->findChild<QAbstractButton*>("okButton")->click();
  });
  ASSERT_TRUE(chooser.pickMany("Select Segm target region(s) 分割対象の領域(複数可)選択", sel));
  EXPECT_EQ(title.toStdString(), "Select Segm target region(s) 分割対象の領域(複数可)選択");
  ASSERT_EQ(sel.size(), 256u);
  int count = 0;
  for (unsigned char s : sel) count += s;
  EXPECT_EQ(count, 2);
  EXPECT_EQ(sel[3], 1);
  EXPECT_EQ(sel[0], 1);

  whenModal([](QWidget* w) { w->findChild<QAbstractButton*>("okButton")->click(); });
  EXPECT_FALSE(chooser.pickMany("t", sel));
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].text, "Please select at least single id\n");

  whenModal([](QWidget* w) { w->findChild<QAbstractButton*>("cancelButton")->click(); });
  EXPECT_FALSE(chooser.pickMany("t", sel));
}

TEST(MaskIdChooser, PickOneTakesTheLastClickedCell) {
  TDlgMaskIdChooser chooser;
  int id = -5;
  whenModal([](QWidget* w) {
    auto* dlg = qobject_cast<TDlgMaskManip*>(w);
    dlg->cell(4)->click();
    dlg->cell(9)->click();
    w->findChild<QAbstractButton*>("okButton")->click();
  });
  ASSERT_TRUE(chooser.pickOne("t", id));
  EXPECT_EQ(id, 9);
  whenModal([](QWidget* w) { w->findChild<QAbstractButton*>("okButton")->click(); });
  ASSERT_TRUE(chooser.pickOne("t", id));
  EXPECT_EQ(id, -1);  // confirmed without a choice: the caller refuses it
}

TEST(MaskIdChooser, CellLabelsReadOnEveryCellColour) {
  // The table's own colours (grey i for id i) and a few chosen ones; the table is restored after.
  TMaskIdTable& table = TMaskIdTable::getInst();
  std::vector<uint32_t> kept;
  for (int id = 0; id < 256; ++id) kept.push_back(table.records[id].color);
  for (int id = 0; id < 256; ++id) table.records[id].color = uint32_t(id) * 0x010101u;
  table.records[250].color = 0x00FFFF;  // yellow (red | green << 8)
  table.records[251].color = 0xFFFF00;  // cyan
  table.records[252].color = 0x800000;  // dark blue
  auto luminance = [](const QColor& c) {
    auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
  };
  const QRegularExpression colourOf(QStringLiteral("(?:^|[ ;{])color: *([^;]+);")),
      backOf(QStringLiteral("background-color: *([^;]+);"));
  {
    TDlgMaskManip dlg("t");
    double worst = 21;
    int worstId = -1;
    for (int id = 0; id < 256; ++id) {
      const QString sheet = dlg.cell(id)->styleSheet();
      const QColor text(colourOf.match(sheet).captured(1).trimmed()), back(backOf.match(sheet).captured(1).trimmed());
      ASSERT_TRUE(text.isValid() && back.isValid()) << sheet.toStdString();
      const double a = luminance(text), b = luminance(back);
      const double contrast = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
      if (contrast < worst) worst = contrast, worstId = id;
    }
    // The better of cyan and black never falls below 4:1 (the two meet at about 4.1:1).
    EXPECT_GE(worst, 4.0) << "id " << worstId;
    // Dark cells keep the cyan labels.
    EXPECT_EQ(QColor(colourOf.match(dlg.cell(20)->styleSheet()).captured(1).trimmed()), QColor(0, 255, 255));
  }
  for (int id = 0; id < 256; ++id) table.records[id].color = kept[size_t(id)];
}

// ---- panel placement ------------------------------------------------------------------------------

TEST(PanelPlacement, APanelIsPlacedWhollyOnTheScreenAndScrollsWhenTooTall) {
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  // A panel twice the screen's height, asked for near the bottom-right corner, while hidden.
  TModePanel tall("tall");
  auto* column = new QVBoxLayout(&tall);
  std::vector<QPushButton*> buttons;
  for (int i = 0; i < 2 * avail.height() / 40; ++i) {
    buttons.push_back(new QPushButton(QStringLiteral("b%1").arg(i), &tall));
    buttons.back()->setFixedHeight(36);
    column->addWidget(buttons.back());
  }
  t_placePanel(&tall, avail.right() - 20, avail.bottom() - 20);
  EXPECT_TRUE(avail.contains(tall.frameGeometry()));
  tall.show();
  EXPECT_TRUE(avail.contains(tall.frameGeometry()));
  // Nothing is cut off: the last button scrolls into view.
  QScrollArea* area = tall.findChild<QScrollArea*>();
  ASSERT_NE(area, nullptr);
  area->ensureWidgetVisible(buttons.back());
  QApplication::processEvents();
  const QRect last(buttons.back()->mapTo(&tall, QPoint(0, 0)), buttons.back()->size());
  EXPECT_TRUE(tall.rect().contains(last));
  EXPECT_EQ(buttons.back()->height(), 36);

  // A panel that fits keeps its size and is moved up from below the bottom, no scroll area.
  TModePanel small("small");
  auto* one = new QVBoxLayout(&small);
  one->addWidget(new QPushButton(QStringLiteral("ok"), &small));
  t_placePanel(&small, avail.x() + 10, avail.bottom() - 5);
  EXPECT_TRUE(avail.contains(small.frameGeometry()));
  EXPECT_EQ(small.size(), small.sizeHint().expandedTo(small.minimumSizeHint()));
  EXPECT_EQ(small.findChild<QScrollArea*>(), nullptr);
}

// ---- mode objects ---------------------------------------------------------------------------------

namespace {

class Modes : public ::testing::Test {
 protected:
  FakeMode vis{"vis"};
  FakeRegionData data;
  ScriptedChooser chooser;
  FakeViewHost host;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  std::vector<std::string> flips;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    TCoreWiring w;
    // The fake visualisation mode, then the segmentation mode libraries as the program has them.
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry visEntry;
    visEntry.name = "vis";
    visEntry.ids = {0, 1, 2, 3, 4};
    visEntry.mode = [this]() -> TModeState* { return &vis; };
    reg.add(visEntry);
    t_registerRegionModes(reg);
    t_registerContourModes(reg);
    t_registerCurveModes(reg);
    reg.constructAll();
    w.channelCount = [] { return 3; };
    w.flipZVolume = [this] { flips.push_back("volume"); };
    w.flipZMaskSurfaces = [this] { flips.push_back("surfaces"); };
    TCore::setWiring(w);
    TCore::getInst().zFlipped = false;
    data.mask = {0, 2, 3, 2, 1, 0};
    data.flag = {9, 9, 9, 9, 9, 9};
    data.used[2] = data.used[3] = true;
    host.volW = host.volH = host.volD = 10;
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
  }
  void TearDown() override {
    TCore::getInst().setMode(0);  // hides every mode panel
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
  }
  int modeId() const { return TCore::getInst().modeId; }
};

}  // namespace

TEST(ModeObjects, ConstructionPrintsTheBannerPair) {
  ::testing::internal::CaptureStderr();
  {
    StateSegGCut mode;
    EXPECT_EQ(mode.panel(), nullptr);  // panels come from the registry, not the constructor
  }
  const std::string out = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("\nTState TState TState StateSegGCut↓↓↓↓↓↓↓\n"
                     "TState TState TState StateSegGCut↑↑↑↑↑↑↑\n"),
            std::string::npos)
      << out;
}

TEST_F(Modes, EachModeBuildsItsPanelHiddenAndShowsItOnEntry) {
  StateSegRGrow* m = StateSegRGrow::getInst();
  EXPECT_EQ(m, StateSegRGrow::getInst());  // built once
  ASSERT_NE(m->panel(), nullptr);
  EXPECT_FALSE(asDialog(m->panel())->isVisible());
  EXPECT_EQ(asDialog(m->panel())->objectName().toStdString(), "TDlgSegRGrow");

  chooser.many.push_back({true, {2}});
  TCore::getInst().setMode(6);
  EXPECT_EQ(modeId(), 6);
  EXPECT_TRUE(asDialog(m->panel())->isVisible());
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{0, 1, 0, 1, 0, 0}));
  EXPECT_NEAR(m->ctrlPointRadius(), 0.666666 * 3.0, 1e-12);  // box 10, 10 voxels per axis
  EXPECT_GE(host.count("hidePanes"), 1);

  // The keyboard does not close a mode panel.
  pressKey(asDialog(m->panel()), Qt::Key_Escape);
  pressKey(asDialog(m->panel()), Qt::Key_Enter);
  asDialog(m->panel())->close();
  EXPECT_TRUE(asDialog(m->panel())->isVisible());

  // The next switch hides it.
  TCore::getInst().setMode(1);
  EXPECT_FALSE(asDialog(m->panel())->isVisible());
}

TEST_F(Modes, CancelledTargetQuestionFallsBackToMaskMode) {
  for (int id : {6, 7, 8, 9}) {
    chooser.many.push_back({false, {}});
    TCore::getInst().setMode(id);
    EXPECT_EQ(modeId(), 3) << id;
    EXPECT_EQ(vis.switchedIds.back(), 3) << id;
  }
  EXPECT_FALSE(asDialog(StateSegRGrow::getInst()->panel())->isVisible());
  EXPECT_FALSE(asDialog(StateSegCurveCyl::getInst()->panel())->isVisible());
}

TEST_F(Modes, BothContourModesLeaveForTheMaskModeWhenTheQuestionIsCancelled) {
  chooser.many.push_back({false, {}});
  TCore::getInst().setMode(10);
  EXPECT_EQ(modeId(), 3);
  chooser.many.push_back({true, {0}});
  TCore::getInst().setMode(10);
  EXPECT_EQ(modeId(), 10);
  EXPECT_TRUE(asDialog(StateSegContMesh::getInst()->panel())->isVisible());
  EXPECT_EQ(StateSegContMesh::getInst()->channelCount(), 3);

  // The two-step mode likewise: no stale flags are left to commit.
  chooser.many.push_back({false, {}});
  TCore::getInst().setMode(11);
  EXPECT_EQ(modeId(), 3);
  EXPECT_FALSE(asDialog(StateSegCMeshZel::getInst()->panel())->isVisible());
  chooser.many.push_back({true, {0}});
  const int drops = data.flagDrops;
  TCore::getInst().setMode(11);
  EXPECT_EQ(modeId(), 11);
  EXPECT_TRUE(asDialog(StateSegCMeshZel::getInst()->panel())->isVisible());
  EXPECT_FALSE(asDialog(StateSegContMesh::getInst()->panel())->isVisible());
  EXPECT_GT(data.flagDrops, drops);
}

// A spin paired with an edit is the edit's up-down arrows: its raw position shows nowhere, and
// its arrow buttons, arrow keys and the wheel still step the value the edit shows.
TEST_F(Modes, PairedSpinsShowOnlyTheirArrowsWhichStepTheEdit) {
  chooser.many.push_back({true, {0}});
  TCore::getInst().setMode(10);
  auto* panel = dynamic_cast<TDlgSegContMesh*>(StateSegContMesh::getInst()->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  using S = TDlgSegContMeshIf;
  auto upButton = [](QSpinBox* spin) {
    QStyleOptionSpinBox opt;
    opt.initFrom(spin);
    opt.frame = spin->hasFrame();
    opt.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    return spin->style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxUp, spin);
  };
  for (S::Spin s : {S::kColour, S::kInterval, S::kBlend, S::kNormal}) {
    QSpinBox* spin = panel->spin(s);
    for (QLineEdit* text : spin->findChildren<QLineEdit*>()) EXPECT_FALSE(text->isVisible()) << s;
    const QRect up = upButton(spin);
    EXPECT_TRUE(spin->rect().contains(up)) << s;
    EXPECT_LE(spin->width(), up.width() + 8) << s;  // the buttons and their frame, no text field
  }
  auto text = [&](S::Spin s) { return panel->edit(s)->text().toStdString(); };
  ASSERT_EQ(text(S::kColour), "1.00");
  QTest::keyClick(panel->spin(S::kColour), Qt::Key_Up);
  EXPECT_EQ(text(S::kColour), "1.01");
  QSpinBox* interval = panel->spin(S::kInterval);
  QTest::mouseClick(interval, Qt::LeftButton, Qt::NoModifier, upButton(interval).center());
  EXPECT_EQ(text(S::kInterval), "4.1");
  QSpinBox* blend = panel->spin(S::kBlend);
  const QPointF at = QRectF(blend->rect()).center();
  QWheelEvent wheel(at, blend->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(blend, &wheel);
  EXPECT_EQ(text(S::kBlend), "0.11");
}

TEST_F(Modes, SliceBySliceClearsTheFlagsOrStartsFromTheRefinedRegion) {
  TCore::getInst().setMode(5);
  EXPECT_EQ(data.flag, std::vector<std::uint8_t>(6, 0));
  EXPECT_FALSE(StateSegFulManu::getInst()->isRefinement());

  chooser.one.push_back({true, 2});
  TCore::getInst().setMode(12);
  EXPECT_EQ(modeId(), 12);
  EXPECT_EQ(chooser.titles.back(), "Select refinment target ID 修正する領域IDの選択(一つのみ)");
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 0}));
  EXPECT_EQ(StateSegFulManu::getInst()->targetId(), 2);
  EXPECT_TRUE(asDialog(StateSegFulManu::getInst()->panel())->isVisible());

  for (ScriptedChooser::One answer : {ScriptedChooser::One{true, 0}, ScriptedChooser::One{false, 2}}) {
    chooser.one.push_back(answer);
    TCore::getInst().setMode(12);
    EXPECT_EQ(modeId(), 3);
    EXPECT_EQ(StateSegFulManu::getInst()->targetId(), 0);
  }
}

TEST_F(Modes, ContourRefinementNeedsAnExistingRegion) {
  chooser.one.push_back({true, 4});  // not used
  TCore::getInst().setMode(13);
  EXPECT_EQ(modeId(), 3);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].text,
            " invalid mask id is selected. System swhich to VizMask Mode\n please select a already segmented mask id");
  EXPECT_EQ(chooser.titles.back(), "修正する対象領域のIDを選択してください");
  EXPECT_EQ(StateRefContours::getInst()->targetId(), -1);

  chooser.one.push_back({true, 3});
  TCore::getInst().setMode(13);
  EXPECT_EQ(modeId(), 13);
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{0, 0, 6, 0, 0, 0}));
  EXPECT_EQ(StateRefContours::getInst()->targetId(), 3);
}

TEST_F(Modes, SeededGrowingAndGraphCutWorkOnTheUnflippedStack) {
  TCore::getInst().zFlipped = true;
  chooser.many.push_back({true, {1}});
  TCore::getInst().setMode(7);
  EXPECT_EQ(modeId(), 7);
  EXPECT_FALSE(TCore::getInst().zFlipped);
  EXPECT_EQ(flips, (std::vector<std::string>{"volume", "surfaces"}));
  EXPECT_TRUE(prompts.sawText("一時的にz軸フリップを解除します"));

  TCore::getInst().zFlipped = true;
  chooser.many.push_back({true, {1}});
  TCore::getInst().setMode(8);
  EXPECT_EQ(modeId(), 8);
  EXPECT_FALSE(TCore::getInst().zFlipped);
  EXPECT_EQ(flips.size(), 4u);
}

TEST_F(Modes, GraphCutRefusesWhileItsPrecomputationRuns) {
  StateSegGCut* g = t_buildStateSegGCut();
  EXPECT_EQ(g, t_buildStateSegGCut());
  g->resetForNewVolume();
  EXPECT_TRUE(prompts.shown.empty());

  std::atomic<bool> release{false};
  ASSERT_TRUE(g->worker().start([&] {
    while (!release && !g->worker().stopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }));
  g->resetForNewVolume();
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].text, "The system is computing Watershed segmentation. wait a moment...");

  TCore::getInst().setMode(8);
  EXPECT_EQ(modeId(), 3);
  EXPECT_EQ(prompts.shown.size(), 2u);
  EXPECT_TRUE(chooser.titles.empty());  // refused before any question

  // Exit stops and joins the worker.
  g->stopWorkers();
  EXPECT_FALSE(g->isPrecomputing());
  release = true;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  // The mode objects outlive this function; their panels go while the application exists.
  t_runAtExit();
  return rc;
}
