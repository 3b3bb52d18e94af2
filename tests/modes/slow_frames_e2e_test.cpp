// Strokes drawn at a user's pace while every frame is slow (a slow graphics card, here a paint
// that sleeps 100 ms), with the mouse and keys sent through the X server as a user's devices send
// them: a Ctrl cut stroke in mode 6 keeps a point for each move and builds the cut surface, a
// stroke too short for one says so in the status bar, and a Shift brush line in the XY pane of
// mode 5 paints the voxel under each move.  Screenshots in the build folder's
// artefacts/slow_frames_e2e.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>
#include <X11/keysym.h>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/region/StateSegFulManu.h"
#include "modes/region/StateSegRGrow.h"
#include "modes/region/TDlgSegFulManu.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TOGL.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"
#include "x_input.h"

namespace {

const int kW = 40, kH = 32, kD = 24;

// A bright ball in a box that darkens along x.
int sample(int x, int y, int z) {
  return (x - 20) * (x - 20) + (y - 16) * (y - 16) + (z - 8) * (z - 8) <= 64 ? 2500 : 1200 - 25 * x;
}

using namespace e2e;

Shots shot("slow_frames_e2e/");

int at(int x, int y, int z) { return x + kW * (y + kH * z); }

QMainWindow* smallFrame() {
  QMainWindow* frame = shownFrame();
  if (!frame) return nullptr;
  // A small window keeps the software renderer's own frames short.
  frame->resize(720, 540);
  QApplication::processEvents();
  TCore::getInst().setMode(3);
  CKestrinView::s_theView->grabFramebuffer();
  return frame;
}

}  // namespace

std::string g_tiff;

TEST(SlowFrames, CtrlStrokeKeepsEveryPointAndAShortOneSaysSo) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = smallFrame();
  ASSERT_NE(frame, nullptr);
  XInput x;
  if (!x.ok()) GTEST_SKIP() << "the display has no XTest extension";
  core.setMode(0);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  core.setMode(6);
  ASSERT_EQ(core.modeId, 6);
  StateSegRGrow* mode = StateSegRGrow::getInst();
  VolRendManager& vr = VolRendManager::getInst();
  vr.cutSurface.clear();
  v->grabFramebuffer();  // matrices of a frame for the stroke's points

  // Twenty moves 25 ms apart (half a second, a quick stroke) across the left half of the view,
  // where no panel lies over it, while each frame takes over 100 ms.
  std::vector<QPoint> pts;
  for (int i = 0; i <= 20; ++i)
    pts.push_back(v->mapToGlobal(QPoint(v->width() / 8 + i * v->width() / 60, v->height() / 2 + i)));
  shot(frame, nullptr, "01_before_stroke");
  {
    SlowFrames slow(v, 100);
    XDrag stroke(x, 1, XK_Control_L, pts, 25);
    ASSERT_TRUE(waitUntil([&] { return stroke.finished() && slow.releases > 0; }, 60000));
    QTest::qWait(200);
    EXPECT_GT(slow.paints, 0);
  }
  // The press and every move gave a point, and the cut surface was built from them.
  EXPECT_EQ(mode->cutStroke().size(), pts.size());
  EXPECT_FALSE(mode->isDrawingStroke());
  EXPECT_GT(vr.cutSurface.polyCount, 0);
  shot(frame, nullptr, "02_cut_surface");

  // A stroke too short for a cut surface clears it and says so in the status bar.
  const QPoint p0(v->width() / 4, v->height() / 2);
  drag(v, Qt::LeftButton, Qt::ControlModifier, {p0, p0 + QPoint(5, 0), p0 + QPoint(10, 2)});
  EXPECT_EQ(vr.cutSurface.polyCount, 0);
  EXPECT_TRUE(frame->statusBar()->currentMessage().contains(QStringLiteral("at least 6")))
      << frame->statusBar()->currentMessage().toStdString();
  core.setMode(3);
}

TEST(SlowFrames, BrushLineInAPanePaintsUnderEveryMove) {
  XInput x;
  if (!x.ok()) GTEST_SKIP() << "the display has no XTest extension";
  TCore& core = TCore::getInst();
  QMainWindow* frame = smallFrame();
  ASSERT_NE(frame, nullptr);
  core.setMode(0);
  core.setMode(5);
  ASSERT_EQ(core.modeId, 5);
  StateSegFulManu* mode = StateSegFulManu::getInst();
  auto* panel = dynamic_cast<TDlgSegFulManu*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->paintCheck()->isChecked());
  TSubPane* paneXY = SubPaneManager::getInst().getPaneXY();
  ASSERT_NE(paneXY, nullptr);
  ASSERT_TRUE(paneXY->isVisible());
  TSubPaneView* pv = paneXY->view();
  pv->grabFramebuffer();  // matrices of a frame for the projections below

  // Shift + left along the voxel centres x = 8 .. 28 of row y = 16 of the XY pane's slice, a move
  // every 25 ms, while each frame of the pane takes over 100 ms: each voxel is painted.
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double zPlane = e[2] * vr.slicePos[2];
  const int k = int(kD * vr.slicePos[2]);
  std::vector<QPoint> pts;
  std::set<int> expect;
  for (int vx = 8; vx <= 28; ++vx) {
    pts.push_back(pv->mapToGlobal(project(paneXY->togl, (vx + 0.5) * e[0] / kW, 16.5 * e[1] / kH, zPlane)));
    expect.insert(at(vx, 16, k));
  }
  {
    SlowFrames slow(pv, 100);
    XDrag stroke(x, 1, XK_Shift_L, pts, 25);
    ASSERT_TRUE(waitUntil([&] { return stroke.finished() && slow.releases > 0; }, 60000));
    QTest::qWait(200);
    EXPECT_GT(slow.paints, 0);
  }
  EXPECT_EQ(flaggedVoxels(255), expect);
  shot(frame, panel, "03_brush_line");
  core.setMode(3);
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "slow_frames_e2e", kW, kH, kD, sample, g_tiff);
}
