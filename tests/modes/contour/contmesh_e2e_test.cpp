// The contour-mesh mode (10) as a user meets it: the program started with a 16-bit TIFF of a
// bright sphere on its command line, the window under Xvfb driven by synthetic mouse, wheel and
// key events.  Enters the mode from the menu picking the background as target, turns the camera
// so that all three canvases face it, draws four closed contours around the sphere (XY through
// the middle, XY moved by the wheel, YZ, ZX) with "New Contour", Shift-clicks, "Flip side (s)"
// and "Finish &&Store (f)", each store updating the region in the background (key '1' and a
// volume load refused meanwhile), then "Finish" stores it under region 1 and mode 3 shows its
// surface.  Screenshots in the build folder's artefacts/contmesh_*.png.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/contour/TDlgSegContMesh.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

std::string g_tiff;

namespace {

const int kN = 32;
const double kC = 16.0, kR = 9.0;  // voxel units
const double kPi = 3.14159265358979323846;

bool inSphere(int x, int y, int z) {
  const double dx = x + 0.5 - kC, dy = y + 0.5 - kC, dz = z + 0.5 - kC;
  return dx * dx + dy * dy + dz * dz <= kR * kR;
}
int sample(int x, int y, int z) { return inSphere(x, y, z) ? 3000 : 400; }

using namespace e2e;

Shots shot("contmesh_");

}  // namespace

TEST(ContMeshEndToEnd, FourContoursOnASphereGiveItsRegion) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  TextureManager& tm = TextureManager::getInst();
  ASSERT_EQ(tm.getW(), kN);
  int nSphere = 0;
  for (int z = 0; z < kN; ++z)
    for (int y = 0; y < kN; ++y)
      for (int x = 0; x < kN; ++x) nSphere += inSphere(x, y, z);
  core.setMode(3);
  const QImage emptyMask = v->grabFramebuffer();
  core.setMode(0);
  shot(frame, nullptr, "00_loaded");

  // Mode 10 from the menu; the target question picks the background (id 0).
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32794"));
  ASSERT_NE(cmd, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 10);
  StateSegContMesh* mode = StateSegContMesh::getInst();
  auto* panel = dynamic_cast<TDlgSegContMesh*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->edit(TDlgSegContMeshIf::kInterval)->text(), QStringLiteral("4.00"));
  EXPECT_FALSE(panel->button("Finish &&Store (f)")->isEnabled());

  // An oblique camera: the XY, YZ and ZX canvases all face it.
  const double* e = VolRendManager::getInst().extent;
  const double p = e[0] / kN;  // a cube: one pitch for all axes
  const double c = kC * p, r = kR * p;
  TCameraPose pose;
  ASSERT_TRUE(TCore::wiring().getCamera && TCore::wiring().getCamera(pose));
  const double far = 3.2 * e[0];
  for (int k = 0; k < 3; ++k) pose.center[k] = c;
  pose.eye[0] = c + far * 0.55, pose.eye[1] = c + far * 0.45, pose.eye[2] = c + far * 0.70;
  pose.up[0] = 0, pose.up[1] = 1, pose.up[2] = 0;
  TCore::wiring().setCamera(pose);
  v->grabFramebuffer();  // matrices of a frame for the projections below
  shot(frame, panel, "01_entered");

  auto waitIdle = [&] { return waitUntil([&] { return !mode->isComputing(); }, 600000); };
  // One closed contour: "New Contour", eight Shift-clicks round the circle of radius rr about
  // the axis (counter-clockwise seen from its + side), "Closed (l)", "Flip side (s)" (the region
  // lies inside the loop), "Finish &&Store (f)" once the auto update is through.
  auto contour = [&](int axis, double t, double rr, const char* name, bool tryWhileBusy = false) {
    QTest::mouseClick(panel->button("New Contour"), Qt::LeftButton);
    ASSERT_TRUE(panel->isNewContour()) << name;
    const int e1 = (axis + 1) % 3, e2 = (axis + 2) % 3;
    for (int i = 0; i < 8; ++i) {
      double w[3];
      w[axis] = t;
      w[e1] = c + rr * std::cos(2 * kPi * i / 8);
      w[e2] = c + rr * std::sin(2 * kPi * i / 8);
      QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, project(v->togl, w[0], w[1], w[2]));
      ASSERT_TRUE(waitIdle());
    }
    ASSERT_EQ(mode->drawnContour().controlPoints.size(), 8u) << name;
    QTest::mouseClick(panel->check("Closed (l)"), Qt::LeftButton, Qt::NoModifier, QPoint(6, 8));
    ASSERT_TRUE(mode->drawnContour().bClosed);
    ASSERT_TRUE(waitIdle());
    QTest::mouseClick(panel->button("Flip side (s)"), Qt::LeftButton);
    ASSERT_TRUE(mode->drawnContour().bInsideDir);
    ASSERT_TRUE(waitIdle());
    v->grabFramebuffer();
    shot(frame, panel, (std::string(name) + "_drawn").c_str());
    QTest::mouseClick(panel->button("Finish &&Store (f)"), Qt::LeftButton);
    EXPECT_FALSE(panel->isNewContour());
    // While the region is computed (its result is taken back only by an event of the interface
    // thread): key '1' and another volume load are refused with the busy text, the flags stay.
    if (tryWhileBusy && mode->isComputing()) {
      const std::vector<std::uint8_t> before(tm.volFlag.data, tm.volFlag.data + kN * kN * kN);
      QString refusal;
      auto keep = [&refusal](QWidget* box) {
        if (auto* b = qobject_cast<QMessageBox*>(box)) refusal = b->text();
        box->close();
      };
      whenModal(keep);
      EXPECT_FALSE(core.loadVolume(g_tiff));
      EXPECT_EQ(refusal.toStdString(), StateSegContMesh::kBusyMessage);
      EXPECT_EQ(core.modeId, 10);
      EXPECT_EQ(tm.getW(), kN);
      // The message box ran the event loop: the result may have come back meanwhile.
      if (mode->isComputing()) {
        refusal.clear();
        whenModal(keep);
        QTest::keyClick(v, Qt::Key_1);
        EXPECT_EQ(refusal.toStdString(), StateSegContMesh::kBusyMessage);
        if (mode->isComputing()) {
          EXPECT_TRUE(std::equal(before.begin(), before.end(), tm.volFlag.data));
        }
      }
      shot(frame, panel, "05_refused_while_computing");
    } else if (tryWhileBusy) {
      std::printf("the region was computed before the refusals could be tried\n");
    }
    ASSERT_TRUE(waitIdle());
    v->grabFramebuffer();
  };

  contour(2, c, r, "02_xy");
  ASSERT_EQ(mode->storedContours().size(), 1u);
  const QImage one = v->grabFramebuffer();

  // The wheel moves the XY canvas up by a third of the radius (-delta x 1.2e-4 along +z).
  const double shift = r / 3;
  const int delta = -int(std::lround(shift / 1.2e-4));
  {
    const QPoint at(v->width() / 2, v->height() / 2);
    QWheelEvent we(at, v->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(v, &we);
  }
  EXPECT_NEAR(mode->canvas().verts[0][2], c - delta * 1.2e-4, 1e-9);
  v->grabFramebuffer();
  contour(2, mode->canvas().verts[0][2], std::sqrt(r * r - shift * shift), "03_xy_moved");
  QTest::mouseClick(panel->button("YZ"), Qt::LeftButton);
  v->grabFramebuffer();
  contour(0, c, r, "04_yz");
  QTest::mouseClick(panel->button("ZX"), Qt::LeftButton);
  v->grabFramebuffer();
  contour(1, c, r, "05_zx", true);
  ASSERT_EQ(mode->storedContours().size(), 4u);

  // The region in the flags: the sphere.
  const std::uint8_t* flags = tm.volFlag.data;
  int inside = 0, both = 0;
  for (int z = 0; z < kN; ++z)
    for (int y = 0; y < kN; ++y)
      for (int x = 0; x < kN; ++x) {
        const int i = x + kN * (y + kN * z);
        inside += flags[i] == 255;
        both += flags[i] == 255 && inSphere(x, y, z);
      }
  std::printf("sphere %d voxels, region %d, shared %d\n", nSphere, inside, both);
  EXPECT_GT(both, 0.85 * nSphere);
  EXPECT_GT(both, 0.85 * inside);
  const QImage four = v->grabFramebuffer();
  EXPECT_GT(mode->displayedMesh().polyCount, 100);
  EXPECT_GT(changedPixels(one, four), 200);
  shot(frame, panel, "06_four_contours");

  // "Finish" under region 1: mode 3 shows its surface.
  whenModal([](QWidget* w) { chooseIds(w, {1}); });
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  const TOGL3DImage& mask = tm.volMask;
  int inRegion = 0, shared = 0;
  for (int i = 0; i < kN * kN * kN; ++i) {
    inRegion += mask.data[i] == 1;
    shared += mask.data[i] == 1 && flags[i] == 255;
  }
  EXPECT_EQ(inRegion, inside);
  EXPECT_EQ(shared, inside);
  const TMaskIdInfo& rec = TMaskIdTable::getInst().records[1];
  EXPECT_EQ(rec.used, 1);
  EXPECT_GT(rec.surface.polyCount, 50);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_GT(changedPixels(emptyMask, v->grabFramebuffer()), 200);
  shot(frame, nullptr, "07_mode3_region");
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "contmesh_e2e", kN, kN, kN, sample, g_tiff);
}
