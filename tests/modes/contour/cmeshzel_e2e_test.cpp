// The two-step contour-mesh mode (11) as a user meets it: the program started with a 16-bit TIFF
// of an ellipsoid elongated along x, the window under Xvfb driven by synthetic mouse events.
// Enters the mode from the menu picking the background as target, double-clicks the two axis
// points on the XY slice seen from above, "Step2 へ", then on each of the eight planes
// "視点初期化", "輪郭作成開始", Shift-clicks round the shape's section, "反転", "登録" and
// "次の面へ(q)"; "境界面計算" labels the region, compared with the analytic shape, and "Finish"
// stores it as region 1.  Screenshots in the build folder's artefacts/cmeshzel_*.png.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/TDlgSegCMeshZel.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

std::string g_tiff;

namespace {

const int kW = 48, kH = 32, kD = 32;
const double kC[3] = {24, 16, 16}, kA[3] = {18, 9, 9};  // voxel units
const double kPi = 3.14159265358979323846;

bool inShape(double x, double y, double z) {
  const double q[3] = {x, y, z};
  double s = 0;
  for (int k = 0; k < 3; ++k) s += (q[k] - kC[k]) * (q[k] - kC[k]) / (kA[k] * kA[k]);
  return s <= 1.0;
}
int sample(int x, int y, int z) { return inShape(x + 0.5, y + 0.5, z + 0.5) ? 3000 : 400; }

using namespace e2e;

Shots shot("cmeshzel_");

}  // namespace

TEST(CMeshZelEndToEnd, EightPlaneContoursGiveTheEllipsoid) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  TextureManager& tm = TextureManager::getInst();
  ASSERT_EQ(tm.getW(), kW);

  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32795"));
  ASSERT_NE(cmd, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 11);
  StateSegCMeshZel* mode = StateSegCMeshZel::getInst();
  auto* panel = dynamic_cast<TDlgSegCMeshZel*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->weightEdit()->text(), QStringLiteral("2.00"));
  EXPECT_FALSE(panel->button(QString::fromUtf8("境界面計算"))->isEnabled());

  // The XY slice moved to the middle (as with the rendering panel's slider), seen from above.
  {
    const double mid[3] = {0.5, 0.5, 0.5};
    t_modeViewHost()->setSlicePositions(mid);
    t_modeViewHost()->updateSlices();
  }
  const double* e = VolRendManager::getInst().extent;
  const double p = e[0] / kW;  // one pitch for all axes
  TCameraPose pose;
  ASSERT_TRUE(TCore::wiring().getCamera && TCore::wiring().getCamera(pose));
  const double centre[3] = {kC[0] * p, kC[1] * p, kC[2] * p};
  for (int k = 0; k < 3; ++k) pose.center[k] = centre[k], pose.eye[k] = centre[k];
  pose.eye[2] += 3.0 * e[0];
  pose.up[0] = 0, pose.up[1] = 1, pose.up[2] = 0;
  TCore::wiring().setCamera(pose);
  v->grabFramebuffer();
  shot(frame, panel, "01_entered");

  // The axis from just inside one tip over 0.625 of the planes' length.
  const double x0 = kC[0] - kA[0] + 1.2, x1 = x0 + 33.6 / 1.6;
  QTest::mouseDClick(v, Qt::LeftButton, Qt::ShiftModifier, project(v->togl, x0 * p, centre[1], centre[2]));
  QTest::mouseDClick(v, Qt::LeftButton, Qt::ShiftModifier, project(v->togl, x1 * p, centre[1], centre[2]));
  ASSERT_EQ(mode->axisCount(), 2);
  EXPECT_NEAR(mode->axisPoint(1)[0], x1 * p, 2 * p);
  v->grabFramebuffer();
  shot(frame, panel, "02_axis");
  QTest::mouseClick(panel->button(QString::fromUtf8("Step2 へ")), Qt::LeftButton);
  ASSERT_TRUE(mode->isStep2());
  ASSERT_EQ(mode->planes().size(), 8u);
  EXPECT_TRUE(panel->button(QString::fromUtf8("境界面計算"))->isEnabled());

  for (int k = 0; k < 8; ++k) {
    ASSERT_EQ(mode->currentPlane(), k);
    // The plane's viewpoint, then one step back so that the whole section is in view.
    QTest::mouseClick(panel->button(QString::fromUtf8("視点初期化")), Qt::LeftButton);
    TCameraPose at;
    ASSERT_TRUE(TCore::wiring().getCamera(at));
    for (int a = 0; a < 3; ++a) at.eye[a] = at.center[a] + 2.0 * (at.eye[a] - at.center[a]);
    TCore::wiring().setCamera(at);
    QTest::mouseClick(panel->button(QString::fromUtf8("輪郭作成開始")), Qt::LeftButton);
    ASSERT_TRUE(mode->isContourStarted());
    v->grabFramebuffer();
    const TCanvasContour& c = mode->drawnContour();
    const double* n = c.canvas.direction;
    double o[3], e1[3] = {-n[1], n[0], 0}, e2[3];
    for (int a = 0; a < 3; ++a) o[a] = c.canvasFrame[1][a] / p;  // voxel units
    if (!t_normalize3(e1)) e1[0] = 1, e1[1] = e1[2] = 0;
    t_cross3(n, e1, e2);
    double s1 = 0, s2 = 0;
    for (int a = 0; a < 3; ++a) s1 += e1[a] * e1[a] / (kA[a] * kA[a]), s2 += e2[a] * e2[a] / (kA[a] * kA[a]);
    s1 = 1 / std::sqrt(s1), s2 = 1 / std::sqrt(s2);
    // Sixteen points counter-clockwise about the plane's normal.
    for (int i = 0; i < 16; ++i) {
      const double t = 2 * kPi * i / 16;
      double d[3], qa = 0, qb = 0, qc = -1;
      for (int a = 0; a < 3; ++a) d[a] = std::cos(t) * s1 * e1[a] + std::sin(t) * s2 * e2[a];
      t_normalize3(d);
      for (int a = 0; a < 3; ++a) {
        qa += d[a] * d[a] / (kA[a] * kA[a]);
        qb += 2 * (o[a] - kC[a]) * d[a] / (kA[a] * kA[a]);
        qc += (o[a] - kC[a]) * (o[a] - kC[a]) / (kA[a] * kA[a]);
      }
      const double r = (-qb + std::sqrt(qb * qb - 4 * qa * qc)) / (2 * qa);
      double q[3] = {o[0] + r * d[0], o[1] + r * d[1], o[2] + r * d[2]};
      const size_t before = c.controlPoints.size();
      QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, project(v->togl, q[0] * p, q[1] * p, q[2] * p));
      if (c.controlPoints.size() == before) {
        // Beyond the end of a plane along the axis: clicked on its edge.
        q[0] = std::max(x0 + 0.5, std::min(x0 + 1.6 * (x1 - x0) - 0.5, q[0]));
        QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, project(v->togl, q[0] * p, q[1] * p, q[2] * p));
      }
    }
    ASSERT_EQ(c.controlPoints.size(), 16u) << "plane " << k;
    QTest::mouseClick(panel->button(QString::fromUtf8("反転")), Qt::LeftButton);
    v->grabFramebuffer();
    if (k == 0 || k == 2 || k == 6) shot(frame, panel, ("03_plane" + std::to_string(k)).c_str());
    QTest::mouseClick(panel->button(QString::fromUtf8("登録")), Qt::LeftButton);
    ASSERT_FALSE(mode->isContourStarted());
    QTest::mouseClick(panel->button(QString::fromUtf8("次の面へ(q)")), Qt::LeftButton);
  }
  ASSERT_EQ(mode->contours().size(), 8u);

  // An oblique view of the result.
  for (int k = 0; k < 3; ++k) pose.center[k] = centre[k];
  pose.eye[0] = centre[0] + 1.6 * e[0], pose.eye[1] = centre[1] - 1.8 * e[0], pose.eye[2] = centre[2] + 1.6 * e[0];
  pose.up[0] = 0, pose.up[1] = 0, pose.up[2] = 1;
  TCore::wiring().setCamera(pose);
  QTest::mouseClick(panel->button(QString::fromUtf8("境界面計算")), Qt::LeftButton);
  EXPECT_GT(mode->boundarySurface().polyCount, 100);
  const std::uint8_t* flags = tm.volFlag.data;
  long both = 0, region = 0, shape = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const bool r = flags[x + kW * (y + kH * z)] == 255, s = inShape(x + 0.5, y + 0.5, z + 0.5);
        both += r && s, region += r, shape += s;
      }
  const double dice = 2.0 * both / double(region + shape);
  std::printf("shape %ld voxels, region %ld, shared %ld, Dice %.4f\n", shape, region, both, dice);
  EXPECT_GE(dice, 0.95);
  v->grabFramebuffer();
  shot(frame, panel, "04_surface");

  whenModal([](QWidget* w) { chooseIds(w, {1}); });
  QTest::mouseClick(panel->button(QStringLiteral("Finish")), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  int inRegion = 0;
  for (int i = 0; i < kW * kH * kD; ++i) inRegion += tm.volMask.data[i] == 1;
  EXPECT_EQ(inRegion, region);
  EXPECT_EQ(TMaskIdTable::getInst().records[1].used, 1);
  EXPECT_FALSE(panel->isVisible());
  v->grabFramebuffer();
  shot(frame, nullptr, "05_mode3_region");
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "cmeshzel_e2e", kW, kH, kD, sample, g_tiff);
}
