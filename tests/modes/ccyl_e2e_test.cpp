// The curved-cylinder mode (9) as a user meets it: the program started with a 16-bit TIFF of a
// curved vessel on its command line, the window under Xvfb driven by synthetic mouse and key
// events.  Enters the mode from the menu picking the background as target, begins a new curve,
// Shift-clicks six control points along the vessel on the XY plane in a scrambled order, looks
// at the order as placed and back at the best one, widens the tube with the slider's keys,
// stores the curve, takes it back by a double click, stores it again and finishes under
// region 1; mode 3 then shows the region.  Screenshots in the build folder's artefacts/ccyl_*.png.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include <unistd.h>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "modes/curve/TDlgSegCurveCyl.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 48, kH = 40, kD = 32;
const double kPi = 3.14159265358979323846;

// The vessel: voxel centres (in voxel units) within 3 of an arc of radius 20 about (24, 34) in
// the plane z = 6.5, from 25 to 135 degrees (y = 34 - 20 sin t).  Flips of the rows or slices
// that the reader may make are applied by the caller.
const double kArcCx = 24, kArcCy = 34, kArcR = 20, kArcZ = 6.5, kVesselR = 3;
const double kT0 = 25 * kPi / 180, kT1 = 135 * kPi / 180;

void arcPoint(double t, double out[3]) {
  out[0] = kArcCx + kArcR * std::cos(t);
  out[1] = kArcCy - kArcR * std::sin(t);
  out[2] = kArcZ;
}

double distToArc(double x, double y, double z) {
  const double dx = x - kArcCx, dy = kArcCy - y;
  const double t = std::atan2(dy, dx);
  if (t >= kT0 && t <= kT1) {
    const double rho = std::hypot(dx, dy) - kArcR;
    return std::hypot(rho, z - kArcZ);
  }
  double a[3], b[3];
  arcPoint(kT0, a);
  arcPoint(kT1, b);
  return std::min(std::sqrt((x - a[0]) * (x - a[0]) + (y - a[1]) * (y - a[1]) + (z - a[2]) * (z - a[2])),
                  std::sqrt((x - b[0]) * (x - b[0]) + (y - b[1]) * (y - b[1]) + (z - b[2]) * (z - b[2])));
}

bool inVessel(int x, int y, int z) { return distToArc(x + 0.5, y + 0.5, z + 0.5) <= kVesselR; }
int sample(int x, int y, int z) { return inVessel(x, y, z) ? 3000 : 400; }

using namespace e2e;

Shots shot("ccyl_");

}  // namespace

std::string g_tiff;

TEST(CCylEndToEnd, CurvedVesselExtractedWithSixControlPoints) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  TextureManager& tm = TextureManager::getInst();
  ASSERT_EQ(tm.getW(), kW);
  ASSERT_EQ(tm.getH(), kH);
  ASSERT_EQ(tm.getD(), kD);
  const float* val = tm.val1;
  ASSERT_NE(val, nullptr);

  // Which rows and slices the reader turned over: the loaded vessel is the written one under
  // exactly one of the four flips.
  int flipY = -1, flipZ = -1;
  for (int fy = 0; fy < 2 && flipY < 0; ++fy)
    for (int fz = 0; fz < 2 && flipY < 0; ++fz) {
      bool same = true;
      for (int z = 0; z < kD && same; ++z)
        for (int y = 0; y < kH && same; ++y)
          for (int x = 0; x < kW && same; ++x)
            same = (val[x + kW * (y + kH * z)] == 3000.f) == inVessel(x, fy ? kH - 1 - y : y, fz ? kD - 1 - z : z);
      if (same) flipY = fy, flipZ = fz;
    }
  ASSERT_GE(flipY, 0) << "the loaded volume is not the written vessel";
  ASSERT_EQ(flipZ, 0) << "the vessel must lie at the XY plane of the mode's entry";
  std::vector<char> vessel(kW * kH * kD, 0);
  int nVessel = 0;
  for (int i = 0; i < kW * kH * kD; ++i) nVessel += vessel[i] = val[i] == 3000.f;
  ASSERT_GT(nVessel, 1000);

  core.setMode(3);
  const QImage emptyMask = v->grabFramebuffer();
  core.setMode(0);  // front camera
  shot(frame, nullptr, "00_loaded");

  // Mode 9 from the menu; the target question picks the background (id 0).
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32793"));
  ASSERT_NE(cmd, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 9);
  StateSegCurveCyl* mode = StateSegCurveCyl::getInst();
  auto* panel = dynamic_cast<TDlgSegCurveCyl*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_FALSE(panel->newCurveCheck()->isChecked());
  EXPECT_FALSE(panel->widthSlider()->isEnabled());
  EXPECT_TRUE(panel->candidateCheck(1)->isChecked());
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double px = e[0] / kW, py = e[1] / kH, pz = e[2] / kD;
  EXPECT_NEAR(panel->minRadius(), 0.4 * (px + py + pz), 1e-9);
  v->grabFramebuffer();  // matrices of a frame for the projections below
  shot(frame, panel, "01_entered");

  // "New Curve 作成開始", then six Shift-clicks on the XY plane along the vessel, scrambled.
  // On the box itself (the widget may be wider than its box and caption).
  auto clickBox = [](QCheckBox* c) { QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(6, c->height() / 2)); };
  clickBox(panel->newCurveCheck());
  ASSERT_TRUE(panel->newCurveCheck()->isChecked());
  ASSERT_TRUE(mode->isEditing());
  EXPECT_TRUE(panel->widthSlider()->isEnabled());
  EXPECT_FALSE(panel->newCurveCheck()->isEnabled());
  const double zPlane = e[2] * vr.slicePos[2];
  ASSERT_EQ(int(zPlane / pz), 6);
  auto world = [&](double t, double out[3]) {
    double a[3];
    arcPoint(t, a);
    out[0] = a[0] * px;
    out[1] = (flipY ? kH - a[1] : a[1]) * py;
    out[2] = zPlane;
  };
  // All in front of the YZ plane (x = 0.2 of the box), which a pick would hit first.
  const int degrees[6] = {30, 130, 70, 110, 50, 90};  // along the arc: 0, 4, 2, 5, 3, 1
  for (int d : degrees) {
    double w[3];
    world(d * kPi / 180, w);
    QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, project(v->togl, w[0], w[1], w[2]));
  }
  const TCCylCurve& curve = mode->newCurve();
  ASSERT_EQ(curve.ctrlPoints.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    double w[3];
    world(degrees[i] * kPi / 180, w);
    EXPECT_NEAR(curve.ctrlPoints[i][0], w[0], 0.6 * px) << i;
    EXPECT_NEAR(curve.ctrlPoints[i][1], w[1], 0.6 * py) << i;
    EXPECT_NEAR(curve.ctrlPoints[i][2], zPlane, 0.1 * pz) << i;
  }
  // The best order runs along the arc (30, 50, 70, 90, 110, 130 degrees), either way round.
  ASSERT_GE(curve.candidates.size(), 2u);
  std::vector<int> along = {0, 4, 2, 5, 3, 1};
  std::vector<int> back(along.rbegin(), along.rend());
  EXPECT_TRUE(curve.candidates[1] == along || curve.candidates[1] == back);
  ASSERT_EQ(curve.tube.points.size(), 13u);
  const QImage best = v->grabFramebuffer();
  shot(frame, panel, "02_six_points_best_order");

  // "placed order": the tube zigzags through the points as clicked; "1" brings the arc back.
  clickBox(panel->candidateCheck(0));
  EXPECT_EQ(curve.selected, 0);
  EXPECT_TRUE(panel->candidateCheck(0)->isChecked());
  EXPECT_FALSE(panel->candidateCheck(1)->isChecked());
  const QImage placed = v->grabFramebuffer();
  EXPECT_GT(changedPixels(best, placed), 100);
  shot(frame, panel, "03_placed_order");
  clickBox(panel->candidateCheck(1));
  EXPECT_EQ(curve.selected, 1);
  EXPECT_LT(changedPixels(best, v->grabFramebuffer()), 20);

  // The width slider moved with the keyboard to the vessel's radius.
  const double target = kVesselR * px;
  const int pos = int(std::lround((target - panel->minRadius()) / (panel->maxRadius() - panel->minRadius()) * 1000));
  QSlider* slider = panel->widthSlider();
  slider->setFocus();
  for (int i = 0; i < pos / slider->pageStep(); ++i) QTest::keyClick(slider, Qt::Key_PageUp);
  while (slider->value() < pos) QTest::keyClick(slider, Qt::Key_Right);
  EXPECT_EQ(slider->value(), pos);
  EXPECT_NEAR(curve.tube.radius, target, 0.01 * px);
  const QImage wide = v->grabFramebuffer();
  EXPECT_GT(changedPixels(best, wide), 100);
  shot(frame, panel, "04_width");

  // "Store Curve": editing ends, the curve is kept.
  QTest::mouseClick(panel->button("Store Curve"), Qt::LeftButton);
  EXPECT_FALSE(panel->newCurveCheck()->isChecked());
  ASSERT_EQ(mode->storedCurves().size(), 1u);
  EXPECT_TRUE(mode->newCurve().ctrlPoints.empty());
  shot(frame, panel, "05_stored");

  // A double click on the stored tube takes it back for editing, at its radius and candidate.
  {
    double w[3];
    world(90 * kPi / 180, w);
    QTest::mouseDClick(v, Qt::LeftButton, Qt::NoModifier, project(v->togl, w[0], w[1], w[2]));
  }
  ASSERT_TRUE(panel->newCurveCheck()->isChecked());
  EXPECT_TRUE(mode->storedCurves().empty());
  EXPECT_EQ(mode->newCurve().ctrlPoints.size(), 6u);
  EXPECT_NEAR(panel->widthSlider()->value(), pos, 1);
  EXPECT_TRUE(panel->candidateCheck(1)->isChecked());
  shot(frame, panel, "06_taken_back");
  QTest::mouseClick(panel->button("Store Curve"), Qt::LeftButton);
  ASSERT_EQ(mode->storedCurves().size(), 1u);

  // "Finish" under region 1: mode 3 shows it.  The region is the vessel up to the chords of the
  // polyline and the ends beyond the first and last control points.
  whenModal([](QWidget* w) { chooseIds(w, {1}); });
  ASSERT_TRUE(activated(panel));
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
  const TOGL3DImage& mask = tm.volMask;
  int inRegion = 0, both = 0, far = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int i = x + kW * (y + kH * z);
        const bool in = mask.data[i] == 1;
        inRegion += in;
        both += in && vessel[i];
        // Every filled voxel lies within the radius plus a chord's sagitta (< 0.5) of the arc.
        if (in && distToArc(x + 0.5, (flipY ? kH - 1 - y : y) + 0.5, z + 0.5) > kVesselR + 0.6) ++far;
      }
  EXPECT_EQ(far, 0);
  EXPECT_GT(both, 0.85 * nVessel);
  EXPECT_GT(both, 0.85 * inRegion);
  const TMaskIdInfo& rec = TMaskIdTable::getInst().records[1];
  EXPECT_EQ(rec.used, 1);
  EXPECT_EQ(rec.alpha, 200);
  EXPECT_GT(rec.surface.polyCount, 50);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_GT(changedPixels(emptyMask, v->grabFramebuffer()), 200);
  shot(frame, nullptr, "07_mode3_region");
  std::printf("vessel %d voxels, region %d, shared %d\n", nVessel, inRegion, both);
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "ccyl_e2e", kW, kH, kD, sample, g_tiff);
}
