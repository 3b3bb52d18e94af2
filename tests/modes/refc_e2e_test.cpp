// Contour refinement (mode 13) as a user meets it: the program started with a 16-bit TIFF of a
// ball on its command line, the window under Xvfb driven by synthetic mouse and key events.  The
// ball is first stored as region 1 by region growing from a seed; the refinement mode is entered
// from the menu (region 1 picked, the surface dialog confirmed), a Ctrl stroke cuts the surface
// into a fiber whose top is dragged out with Shift, the fiber is stored, a second Ctrl stroke
// crosses it and its side is dragged out too; the labels follow on the worker, and "Finish"
// writes the refined region back.  Screenshots in the build folder's artefacts/refc_*.png.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/curve/StateRefContours.h"
#include "modes/curve/TDlgRefContours.h"
#include "modes/region/StateSegRGrow.h"
#include "ui/TDlgMarchingCubesParam.h"
#include "ui/TDlgMaskManip.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kN = 40;
const double kR = 9.0;  // the ball: voxel centres within 9 voxels of the volume's centre

bool inBall(int x, int y, int z) {
  const double c = kN / 2.0;
  return std::pow(x + 0.5 - c, 2) + std::pow(y + 0.5 - c, 2) + std::pow(z + 0.5 - c, 2) <= kR * kR;
}
int sample(int x, int y, int z) { return inBall(x, y, z) ? 3000 : 400; }

using namespace e2e;

Shots shot("refc_");

// Answers every modal window until stopped: the region chooser picks `id`, the surface dialog is
// confirmed, message boxes are answered with `answer` and their texts kept.
struct ModalAnswers {
  int id = 1;
  QMessageBox::StandardButton answer = QMessageBox::Ok;
  std::vector<std::string> texts;
  bool stop = false;
  void arm() {
    whenModal([this](QWidget* w) {
      if (stop) return;
      if (qobject_cast<TDlgMaskManip*>(w)) {
        arm();
        chooseIds(w, {id});
        return;
      }
      arm();
      if (auto* mc = qobject_cast<TDlgMarchingCubesParam*>(w)) {
        mc->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
        texts.push_back(box->text().toStdString());
        QAbstractButton* b = box->button(answer);
        if (!b) b = box->button(QMessageBox::Ok);
        if (b) b->click();
        else box->close();
      } else {
        w->close();
      }
    });
  }
};

int countMask(int id) {
  const TOGL3DImage& m = TextureManager::getInst().volMask;
  int n = 0;
  for (int64_t i = 0; i < m.size(); ++i) n += m.data[i] == id;
  return n;
}

void shiftWheel(QWidget* v, QPoint p, int notches) {
  for (int i = 0; i < notches; ++i) {
    QWheelEvent e(QPointF(p), v->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ShiftModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(v, &e);
  }
  QApplication::processEvents();
}

}  // namespace

std::string g_tiff;

// No leak check at exit in this program: the GL driver keeps blocks allocated from its JIT code
// (lighted, blended surfaces and screen-space circles of this mode) that the sanitizer attributes
// to no library a suppression could name.  The mode's own code is leak-checked by the headless
// test_refc_logic.
extern "C" int __lsan_is_turned_off() { return 1; }

TEST(RefContoursEndToEnd, RegionGrownThenRefinedByTwoStrokesAndFinished) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  frame->resize(720, 540);
  QApplication::processEvents();
  ASSERT_EQ(TextureManager::getInst().getW(), kN);

  // Region 1: the ball grown from a seed at its centre (mode 6, background as target).
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double pitch = e[0] / kN;
  ModalAnswers modal;
  modal.id = 0;
  modal.arm();
  frame->findChild<QAction*>(QStringLiteral("cmd_32792"))->trigger();
  ASSERT_EQ(core.modeId, 6);
  StateSegRGrow* grow = StateSegRGrow::getInst();
  grow->controlPointsForEdit().emplace_back(e[0] / 2, e[1] / 2, e[2] / 2);
  grow->regionGrow(100.0f, false);
  ASSERT_TRUE(waitUntil([&] { return !grow->isBusy(); }));
  const int ball = countFlags(255);
  ASSERT_GT(ball, 2000);
  modal.id = 1;
  grow->finish();
  ASSERT_EQ(core.modeId, 3);
  ASSERT_EQ(countMask(1), ball);

  // Mode 13 from the menu: region 1, the surface dialog confirmed.
  frame->findChild<QAction*>(QStringLiteral("cmd_32796"))->trigger();
  ASSERT_EQ(core.modeId, 13);
  StateRefContours* mode = StateRefContours::getInst();
  auto* panel = dynamic_cast<TDlgRefContours*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(mode->targetId(), 1);
  EXPECT_EQ(countFlags(6), ball);
  EXPECT_EQ(countFlags(0), kN * kN * kN - ball);
  ASSERT_GT(mode->scene().regionMesh.polyCount, 200);
  EXPECT_TRUE(panel->isChecked(TDlgRefContoursIf::Normal));
  EXPECT_TRUE(panel->isChecked(TDlgRefContoursIf::RoiSmall));
  const QImage entered = v->grabFramebuffer();
  shot(frame, panel, "01_entered");

  // The ball's centre and radius in the window.
  const QPoint c = project(v->togl, e[0] / 2, e[1] / 2, e[2] / 2);
  const QPoint top = project(v->togl, e[0] / 2, e[1] / 2 + kR * pitch, e[2] / 2);
  const int rPix = std::abs(c.y() - top.y());
  ASSERT_GT(rPix, 30);

  // Stroke 1: Ctrl-drag down across the ball: one closed fiber around it.
  std::vector<QPoint> stroke;
  for (int i = 0; i <= 40; ++i) stroke.emplace_back(c.x() - 3 + i / 8, c.y() - 3 * rPix / 2 + i * 3 * rPix / 40);
  drag(v, Qt::LeftButton, Qt::ControlModifier, stroke);
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  EXPECT_TRUE(mode->scene().newFibers[0].closed);
  EXPECT_GT(vr.cutSurface.polyCount, 0);
  v->grabFramebuffer();
  shot(frame, panel, "02_stroke1_fiber");

  // A wider cursor circle (Shift + wheel), then Shift-drag the fiber's top out by a third of the
  // radius: the surface follows, and the labels once the worker has handed them over.
  // (The size belongs to the mode object and outlives an entry: the widening is what counts.)
  const double circle0 = mode->cursorCircleSize();
  shiftWheel(v, c, 80);
  EXPECT_NEAR(mode->cursorCircleSize(), circle0 + 80 * 5e-5, 1e-9);
  auto fiberPoint = [&](const TFiberStroke& f, int axis, bool most) {
    int best = 0;
    for (int i = 1; i < int(f.points.size()); ++i)
      if ((f.points[i][axis] > f.points[best][axis]) == most) best = i;
    return project(v->togl, f.points[best][0], f.points[best][1], f.points[best][2]);
  };
  const TTriangleMesh before = mode->scene().regionMesh;
  const QPoint p1 = fiberPoint(mode->scene().newFibers[0], 1, true);
  std::vector<QPoint> pull;
  for (int i = 0; i <= 8; ++i) pull.emplace_back(p1.x(), p1.y() - i * rPix / 24);
  drag(v, Qt::LeftButton, Qt::ShiftModifier, pull);
  double moved = 0;
  for (int i = 0; i < before.vertexCount; ++i) moved = std::max(moved, t_dist3(before.verts[i], mode->scene().regionMesh.verts[i]));
  EXPECT_GT(moved, 1.5 * pitch);
  ASSERT_TRUE(waitUntil([&] { return !mode->worker().busy(); }));
  QApplication::processEvents();
  const int added1 = countFlags(4);
  EXPECT_GT(added1, 10);
  EXPECT_EQ(countFlags(4) + countFlags(0), kN * kN * kN - ball);  // the history bit stays
  v->grabFramebuffer();
  shot(frame, panel, "03_drag1_relabelled");

  // Store the fiber with its button; stroke 2 across it, left to right: a cross point.
  QTest::mouseClick(panel->button("Store this fiber(f)"), Qt::LeftButton);
  ASSERT_EQ(mode->scene().storedFibers.size(), 1u);
  EXPECT_TRUE(mode->scene().newFibers.empty());
  stroke.clear();
  for (int i = 0; i <= 40; ++i) stroke.emplace_back(c.x() - 3 * rPix / 2 + i * 3 * rPix / 40, c.y() + 4 - i / 8);
  drag(v, Qt::LeftButton, Qt::ControlModifier, stroke);
  ASSERT_GE(mode->scene().newFibers.size(), 1u);
  EXPECT_FALSE(mode->scene().crossPoints.empty());
  v->grabFramebuffer();
  shot(frame, panel, "04_stroke2_crossing");

  // Drag its right side out.
  const QPoint p2 = fiberPoint(mode->scene().newFibers[0], 0, true);
  pull.clear();
  for (int i = 0; i <= 8; ++i) pull.emplace_back(p2.x() + i * rPix / 24, p2.y());
  drag(v, Qt::LeftButton, Qt::ShiftModifier, pull);
  ASSERT_TRUE(waitUntil([&] { return !mode->worker().busy(); }));
  QApplication::processEvents();
  const int added2 = countFlags(4);
  EXPECT_GT(added2, added1);
  // The refined labels in the volume rendering ('6': "Vol Ref(6)").
  QTest::keyClick(v, Qt::Key_6);
  EXPECT_TRUE(panel->isChecked(TDlgRefContoursIf::VolRef));
  EXPECT_FALSE(panel->isChecked(TDlgRefContoursIf::Normal));
  const QImage refined = v->grabFramebuffer();
  EXPECT_GT(changedPixels(entered, refined), 200);
  shot(frame, panel, "05_drag2_volref");

  // "Finish", confirmed: region 1 takes the added voxels and drops the removed ones; mode 3, with
  // the keys the main window's once the question and the panel have gone.
  const int keep = countFlags(4) + countFlags(6);
  modal.answer = QMessageBox::Ok;
  ASSERT_TRUE(activated(panel));
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
  EXPECT_TRUE(std::find(modal.texts.begin(), modal.texts.end(), StateRefContours::kFinishQuestion) != modal.texts.end());
  EXPECT_EQ(countMask(1), keep);
  EXPECT_GT(countMask(1), ball);
  const TMaskIdInfo& rec = TMaskIdTable::getInst().records[1];
  EXPECT_EQ(rec.used, 1);
  EXPECT_EQ(rec.alpha, 200);
  EXPECT_GT(rec.surface.polyCount, 50);
  EXPECT_FALSE(panel->isVisible());
  modal.stop = true;
  v->grabFramebuffer();
  shot(frame, nullptr, "06_finished_mode3");
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "refc_e2e", kN, kN, kN, sample, g_tiff);
}
