// The program as a new user meets it: started with a 16-bit TIFF on its command line, the window
// under Xvfb driven by synthetic mouse and key events.  Drags each slice plane by its handle,
// zooms the panes, draws a cut, measures a ruler and goes through modes 0-3, keeping a
// screenshot of each step in the build folder's artefacts/panes_e2e.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/CMainFrame.h"
#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/vis/StateVisStd.h"
#include "modes/vis/TDlgVisStd.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TDlgVisParam.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 48, kH = 40, kD = 32;

// A bright ball (3000) off the centre in a dim box (400), zero outside the box.
int sample(int x, int y, int z) {
  const double r = std::sqrt(std::pow(x - 28.0, 2) + std::pow(y - 18.0, 2) + std::pow(z - 15.0, 2));
  const bool inBox = x >= 6 && x < 42 && y >= 5 && y < 35 && z >= 4 && z < 28;
  return r < 9 ? 3000 : inBox ? 400 : 0;
}

QString artefactDir() {
  const QString dir = QStringLiteral(KESTRIN_ARTEFACTS "/panes_e2e");
  QDir().mkpath(dir);
  return dir;
}

// The window as grabbed, and the main view's own framebuffer beside it.
void shot(QMainWindow* frame, const char* name) {
  QApplication::processEvents();
  frame->grab().toImage().save(artefactDir() + "/" + name + ".png");
  if (CKestrinView* v = CKestrinView::s_theView)
    v->grabFramebuffer().save(artefactDir() + "/" + name + "_view.png");
}

using e2e::project;

// A drag with QTest: press, a few steps, release.
void drag(QWidget* w, Qt::MouseButton b, QPoint from, QPoint to, Qt::KeyboardModifiers mods = {},
          int steps = 8) {
  QTest::mousePress(w, b, mods, from);
  for (int i = 1; i <= steps; ++i) QTest::mouseMove(w, from + (to - from) * i / steps);
  QTest::mouseRelease(w, b, mods, to);
}

}  // namespace

std::string g_tiff;

TEST(PanesEndToEnd, LoadDragZoomCutMeasureAndSwitchModes) {
  // Any message box that shows is answered by its default button (and the test notes it).
  int boxes = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&boxes] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      ++boxes;
      fprintf(stderr, "e2e: closing a modal window \"%s\"\n", m->windowTitle().toUtf8().constData());
      m->close();
    }
  });
  closer.start(200);

  TCore& core = TCore::getInst();
  // Few view-aligned slices, set in the panel as a user would: every frame is software-rendered.
  TDlgVisParam::getInst().sliceNumSlider()->setValue(0);
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = e2e::shownFrame();
  ASSERT_NE(frame, nullptr);
  const TextureManager& tm = TextureManager::getInst();
  ASSERT_EQ(tm.getW(), kW);
  ASSERT_EQ(tm.getH(), kH);
  ASSERT_EQ(tm.getD(), kD);
  if (core.modeId != 0) core.setMode(0);
  // Rulers outlive a volume load (as in the program): those of an earlier run go with "Clear All".
  StateVisStd::getInst().rulerPanel()->clearAllButton()->click();
  ASSERT_TRUE(StateVisStd::getInst().rulers.empty());
  SubPaneManager& panes = SubPaneManager::getInst();
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(panes.getPane(i), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panes.getPane(i)->view()));
  }
  shot(frame, "01_loaded");

  // Each plane dragged by its handle from 0.2 to 0.6 of its axis.
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const int handleAxis[3] = {2, 0, 1};  // XY moves along z, YZ along x, ZX along y
  for (int plane : {1, 2, 0}) {
    v->grabFramebuffer();
    const int a = handleAxis[plane];
    double h[3] = {0, 0, 0}, t[3] = {0, 0, 0};
    h[a] = e[a] * vr.slicePos[a];
    t[a] = e[a] * 0.6;
    drag(v, Qt::LeftButton, project(v->togl, h[0], h[1], h[2]), project(v->togl, t[0], t[1], t[2]));
    EXPECT_NEAR(vr.slicePos[a], 0.6, 0.02) << "plane " << plane;
  }
  shot(frame, "02_planes_dragged");

  // The panes zoomed by a right drag upwards in the XY pane: all three by one factor.
  double z0[3];
  for (int i = 0; i < 3; ++i) z0[i] = panes.getPane(i)->zoom;
  TSubPaneView* xy = panes.getPane(0)->view();
  drag(xy, Qt::RightButton, QPoint(xy->width() / 2, xy->height() / 2 + 40),
       QPoint(xy->width() / 2, xy->height() / 2 - 40));
  const double f = panes.getPane(0)->zoom / z0[0];
  EXPECT_LT(f, 0.9);
  for (int i = 1; i < 3; ++i) EXPECT_NEAR(panes.getPane(i)->zoom / z0[i], f, 1e-9);
  shot(frame, "03_panes_zoomed");

  // A cut: Ctrl drag across the volume, then the camera turned by a right drag to look at it.
  v->grabFramebuffer();
  const QPoint c(v->width() / 2, v->height() / 2);
  drag(v, Qt::LeftButton, c + QPoint(-150, 30), c + QPoint(150, -10), Qt::ControlModifier, 20);
  EXPECT_GT(vr.cutSurface.polyCount, 20);
  const QImage flat = v->grabFramebuffer();
  drag(v, Qt::RightButton, c, c + QPoint(90, 40));
  shot(frame, "04_cut_surface");

  // A ruler: Shift drag on the XY plane, seen from the front again.
  core.setMode(0);  // camera and planes reset
  v->grabFramebuffer();
  const double z = e[2] * vr.slicePos[2];
  drag(v, Qt::LeftButton, project(v->togl, 0.3 * e[0], 0.4 * e[1], z),
       project(v->togl, 0.8 * e[0], 0.4 * e[1], z), Qt::ShiftModifier);
  StateVisStd& mode = StateVisStd::getInst();
  ASSERT_EQ(mode.rulers.size(), 1u);
  QListWidget* list = mode.rulerPanel()->rulerList();
  ASSERT_EQ(list->count(), 1);
  // Half the width of a 48-voxel volume of pitch 1: 24 mm, to a pixel.
  EXPECT_NEAR(list->item(0)->text().mid(11).toDouble(), 24.0, 0.5);
  shot(frame, "05_ruler");
  mode.rulerPanel()->grab().save(artefactDir() + "/05_ruler_panel.png");

  // Modes 0-3.
  const char* names[4] = {"06_mode0", "07_mode1", "08_mode2", "09_mode3"};
  QImage views[4];
  for (int m = 0; m < 4; ++m) {
    core.setMode(m);
    EXPECT_EQ(core.modeId, m);
    views[m] = v->grabFramebuffer();
    shot(frame, names[m]);
  }
  EXPECT_NE(views[0], views[1]);
  EXPECT_NE(views[0], views[3]);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(panes.getPane(i)->isVisible());
  EXPECT_EQ(boxes, 0);
  closer.stop();
  (void)flat;
}

int main(int argc, char** argv) {
  return e2e::runOnVolume(argc, argv, "panes_e2e", kW, kH, kD, sample, g_tiff);
}
