// Slice-by-slice painting (modes 5 and 12) as a user meets it: the program started with a 16-bit
// TIFF on its command line, the window under Xvfb driven by synthetic mouse events.  Enters the
// mode from the menu, paints rows of voxels with the brush on the XY plane of the main view and
// on two more slices in the XY pane (stepping the slice with the wheel), erases one voxel, fills a
// fourth slice with a lasso, and stores the region with "Finish"; mode 3 shows it.  Then refines
// the region, erasing a row, and "Finish" takes it out of the mask and rebuilds the surface.
// Screenshots in the build folder's artefacts/fulmanu_e2e.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/region/StateSegFulManu.h"
#include "modes/region/TDlgSegFulManu.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TOGL.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 40, kH = 32, kD = 24;

// A bright ellipsoid in a dim box: something to paint over.
int sample(int x, int y, int z) {
  const double dx = (x - 20) / 10.0, dy = (y - 14) / 7.0, dz = (z - 8) / 5.0;
  return dx * dx + dy * dy + dz * dz <= 1 ? 2500 : 300;
}

using namespace e2e;

Shots shot("fulmanu_e2e/");

int at(int x, int y, int z) { return x + kW * (y + kH * z); }

std::set<int> inMask(int id) {
  const TOGL3DImage& m = TextureManager::getInst().volMask;
  std::set<int> s;
  for (int i = 0; i < kW * kH * kD; ++i)
    if (m.data[i] == id) s.insert(i);
  return s;
}

int xySlice() { return int(kD * VolRendManager::getInst().slicePos[2]); }

// The message box's OK, then (when given) the region chooser's answer.
void answerOk(std::vector<int> ids = {}) {
  whenModal([ids](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    if (!ids.empty()) whenModal([ids](QWidget* c) { chooseIds(c, ids); });
    box->button(QMessageBox::Ok)->click();
  });
}

void wheel(QWidget* v, QPoint p, int delta) {
  QWheelEvent e(QPointF(p), v->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, delta), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(v, &e);
  QApplication::processEvents();
}

}  // namespace

std::string g_tiff;

TEST(FulManuEndToEnd, PaintThreeSlicesLassoAFourthFinishAndRefine) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  frame->resize(900, 640);
  QApplication::processEvents();
  ASSERT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_EQ(TextureManager::getInst().getD(), kD);

  core.setMode(3);
  const QImage emptyMask = v->grabFramebuffer();
  core.setMode(0);

  // Mode 5 from the menu: the flags start empty, the panes and the panel are shown.
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32791"));
  ASSERT_NE(cmd, nullptr);
  cmd->trigger();
  ASSERT_EQ(core.modeId, 5);
  StateSegFulManu* mode = StateSegFulManu::getInst();
  auto* panel = dynamic_cast<TDlgSegFulManu*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_TRUE(panel->paintCheck()->isChecked());
  EXPECT_TRUE(panel->fixOtherCheck()->isChecked());
  EXPECT_EQ(countFlags(0), kW * kH * kD);
  TSubPane* paneXY = SubPaneManager::getInst().getPaneXY();
  ASSERT_NE(paneXY, nullptr);
  ASSERT_TRUE(paneXY->isVisible());
  TSubPaneView* pv = paneXY->view();
  v->grabFramebuffer();  // matrices of a frame for the projections below
  pv->grabFramebuffer();
  shot(frame, panel, "01_entered");

  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double px = e[0] / kW, py = e[1] / kH;
  auto zPlane = [&] { return e[2] * vr.slicePos[2]; };
  // Window points of voxel centres (x, y) on the XY slice, in the main view and in the XY pane.
  auto inMain = [&](double x, double y) { return project(v->togl, (x + 0.5) * px, (y + 0.5) * py, zPlane()); };
  auto inPane = [&](double x, double y) { return project(paneXY->togl, (x + 0.5) * px, (y + 0.5) * py, zPlane()); };

  std::set<int> expect;
  // Three rows of eleven voxels painted along their centres on one slice; the brush changes
  // exactly the voxels under the points.
  auto paintRows = [&](QWidget* w, const std::function<QPoint(double, double)>& toWindow) {
    const int k = xySlice();
    for (int y = 12; y <= 14; ++y) {
      std::vector<QPoint> pts;
      for (int x = 14; x <= 24; ++x) {
        pts.push_back(toWindow(x, y));
        expect.insert(at(x, y, k));
      }
      drag(w, Qt::LeftButton, Qt::ShiftModifier, pts);
    }
  };

  // Slice 4 in the main view.
  ASSERT_EQ(xySlice(), 4);
  paintRows(v, inMain);
  EXPECT_EQ(flaggedVoxels(255), expect);
  shot(frame, panel, "02_painted_main_view");

  // Slices 5 and 6 in the XY pane, one wheel notch each; a Shift + right click erases (24, 14, 5).
  const QPoint paneMid(pv->width() / 2, pv->height() / 2);
  wheel(pv, paneMid, 120);
  ASSERT_EQ(xySlice(), 5);
  pv->grabFramebuffer();
  paintRows(pv, inPane);
  drag(pv, Qt::RightButton, Qt::ShiftModifier, {inPane(24, 14)});
  expect.erase(at(24, 14, 5));
  EXPECT_EQ(flaggedVoxels(255), expect);
  wheel(pv, paneMid, 120);
  ASSERT_EQ(xySlice(), 6);
  pv->grabFramebuffer();
  paintRows(pv, inPane);
  EXPECT_EQ(flaggedVoxels(255), expect);
  shot(frame, panel, "03_painted_panes");

  // Slice 7: "Lasso" and a Shift + left drag round the cells 14..24 x 12..14 (corners a quarter
  // voxel outside their centres' rectangle) fills exactly those cells.
  wheel(pv, paneMid, 120);
  ASSERT_EQ(xySlice(), 7);
  pv->grabFramebuffer();
  QTest::mouseClick(panel->lassoCheck(), Qt::LeftButton);
  EXPECT_FALSE(panel->paintCheck()->isChecked());
  drag(pv, Qt::LeftButton, Qt::ShiftModifier,
       {inPane(13.25, 11.25), inPane(19, 11.25), inPane(24.75, 11.25), inPane(24.75, 14.75),
        inPane(19, 14.75), inPane(13.25, 14.75)});
  for (int y = 12; y <= 14; ++y)
    for (int x = 14; x <= 24; ++x) expect.insert(at(x, y, 7));
  EXPECT_EQ(flaggedVoxels(255), expect);
  ASSERT_EQ(expect.size(), 4u * 33 - 1);
  shot(frame, panel, "04_lasso");

  // "Finish": OK, region id 1; mode 3 shows the region with its surface.
  answerOk({1});
  ASSERT_TRUE(activated(panel));
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
  EXPECT_EQ(inMask(1), expect);
  const TMaskIdInfo& rec = TMaskIdTable::getInst().records[1];
  EXPECT_EQ(rec.used, 1);
  EXPECT_GT(rec.surface.polyCount, 20);
  EXPECT_FALSE(panel->isVisible());
  const QImage stored = v->grabFramebuffer();
  EXPECT_GT(changedPixels(emptyMask, stored), 200);
  shot(frame, nullptr, "05_mode3_region");

  // Refinement of region 1: its voxels start extracted; a Shift + right drag in the XY pane
  // erases row y = 12 of slice 4; "Finish" writes it as background and the surface follows.
  const int polysBefore = rec.surface.polyCount;
  QAction* refine = frame->findChild<QAction*>(QStringLiteral("cmd_32797"));
  ASSERT_NE(refine, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {1}); });
  refine->trigger();
  ASSERT_EQ(core.modeId, 12);
  EXPECT_EQ(mode->targetId(), 1);
  EXPECT_EQ(flaggedVoxels(255), expect);
  ASSERT_EQ(xySlice(), 4);
  pv->grabFramebuffer();
  std::vector<QPoint> row;
  std::set<int> erased;
  for (int x = 14; x <= 24; ++x) {
    row.push_back(inPane(x, 12));
    erased.insert(at(x, 12, 4));
  }
  // While the button is held the pane draws the brush box (0.9 grey for erasing) on each erased
  // cell: the pixel at a cell's centre shows it.
  auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent ev(type, QPointF(p), pv->mapToGlobal(QPointF(p)), Qt::RightButton, held, Qt::ShiftModifier);
    QApplication::sendEvent(pv, &ev);
  };
  send(QEvent::MouseButtonPress, row.front(), Qt::RightButton);
  for (const QPoint& p : row) send(QEvent::MouseMove, p, Qt::RightButton);
  const QImage during = pv->grabFramebuffer();
  const QPoint mid = row[row.size() / 2];
  const QRgb c = during.pixel(mid.x(), mid.y());
  EXPECT_GT(qRed(c), 200);
  EXPECT_GT(qGreen(c), 200);
  EXPECT_GT(qBlue(c), 200);
  shot(frame, panel, "06_refine_erasing");
  send(QEvent::MouseButtonRelease, row.back(), Qt::NoButton);
  QApplication::processEvents();
  EXPECT_EQ(flaggedVoxels(1), erased);
  shot(frame, panel, "07_refine_erased");
  answerOk();
  ASSERT_TRUE(activated(panel));
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
  for (int i : erased) expect.erase(i);
  EXPECT_EQ(inMask(1), expect);
  EXPECT_TRUE(inMask(0).count(at(14, 12, 4)));
  EXPECT_EQ(rec.used, 1);
  EXPECT_NE(rec.surface.polyCount, polysBefore);
  v->grabFramebuffer();
  shot(frame, nullptr, "08_mode3_refined");
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "fulmanu_e2e", kW, kH, kD, sample, g_tiff);
}
