// The organ cross-section mode (4) as a user meets it: the program started with a 16-bit TIFF, a
// mask of an organ with a tumour, a highlighted part and a vessel at voxels of 0.5 x 0.5 x 2 mm,
// the window under Xvfb.  The four questions (cancelling the first, then the fourth; an organ
// without voxels), the surfaces, the display boxes, the Shift-drag brush on the deformable cut,
// "初期化", and the panes hidden in the mode and back in mode 0.  Screenshots in the build
// folder's artefacts/orgcrs_e2e.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/vis/StateVisOrgCrs.h"
#include "modes/vis/TDlgVisOrgCrs.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TDlgVisParam.h"
#include "view/TOGL.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 64, kH = 64, kD = 20;
const double kPitch[3] = {0.5, 0.5, 2.0};

// Mask ids: 1 organ, 2 tumour, 3 highlighted part, 4 vessel; id 5 is used but has no voxel.
int maskId(int x, int y, int z) {
  const double c[3] = {(x + 0.5) * kPitch[0], (y + 0.5) * kPitch[1], (z + 0.5) * kPitch[2]};
  auto d = [&](double a, double b, double e) { return std::sqrt((c[0] - a) * (c[0] - a) + (c[1] - b) * (c[1] - b) + (c[2] - e) * (c[2] - e)); };
  int id = 0;
  if (d(16, 16, 20) < 14) id = 1;
  if (id && d(10, 16, 20) < 3.5) id = 3;
  if (id && std::hypot(c[0] - 16, c[1] - 24) < 1.5) id = 4;
  if (d(20, 16, 20) < 4.5) id = 2;
  return id;
}

int sample(int x, int y, int z) { return 300 + 500 * maskId(x, y, z); }

using namespace e2e;

Shots shot("orgcrs_e2e/");

// Answers the modal windows in turn: ids to pick in a chooser, an empty list to cancel it, or
// {0} to press OK on a message box (whose text is kept).
std::vector<std::string> g_messages;
void answerModals(std::vector<std::vector<int>> answers) {
  if (answers.empty()) return;
  whenModal([answers](QWidget* w) mutable {
    const std::vector<int> ids = answers.front();
    answers.erase(answers.begin());
    answerModals(answers);
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      g_messages.push_back(box->text().toStdString());
      box->button(QMessageBox::Ok)->click();
    } else if (ids.empty()) {
      qobject_cast<QDialog*>(w)->reject();
    } else {
      chooseIds(w, ids);
    }
  });
}

// A click on a box's indicator (its middle may lie beyond a short caption).
void tick(QCheckBox* box) {
  QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
  QApplication::processEvents();
}

bool panesShown() {
  TSubPane* p = SubPaneManager::getInst().getPaneXY();
  return p && p->isVisible();
}

}  // namespace

std::string g_tiff;

TEST(OrgCrsEndToEnd, QuestionsSurfacesBoxesBrushAndReset) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  frame->resize(900, 640);
  QApplication::processEvents();
  ASSERT_EQ(TextureManager::getInst().getW(), kW);

  // The mask and its table, as a loaded mask would leave them.
  TOGL3DImage& mask = TextureManager::getInst().volMask;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) mask.data[x + kW * (y + kH * z)] = uint8_t(maskId(x, y, z));
  TMaskIdTable& table = TMaskIdTable::getInst();
  for (int id = 1; id <= 5; ++id) table.records[id].used = true;
  TDlgVisParam::getInst().setPitch(kPitch);
  core.setMode(3);
  ASSERT_TRUE(panesShown());

  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32790"));
  ASSERT_NE(cmd, nullptr);
  StateVisOrgCrs& mode = StateVisOrgCrs::getInst();
  TDlgVisOrgCrs* panel = mode.panel();
  ASSERT_NE(panel, nullptr);

  // Cancelling the first question, or the fourth, returns to mode 3.
  answerModals({{}});
  cmd->trigger();
  EXPECT_EQ(core.modeId, 3);
  answerModals({{1}, {3}, {4}, {}});
  cmd->trigger();
  EXPECT_EQ(core.modeId, 3);

  // An organ that no voxel carries.
  g_messages.clear();
  answerModals({{5}, {}, {}, {2}, {0}});
  cmd->trigger();
  EXPECT_EQ(core.modeId, 3);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "臓器領域が空です");

  // The whole set: the surfaces are built, the panes go, the panel shows the entry boxes.
  // The build shows its progress in the status bar and the window paints meanwhile.
  std::vector<int> percents;
  QProgressBar* bar = frame->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int p) { percents.push_back(p); });
  answerModals({{1}, {3}, {4}, {2}});
  cmd->trigger();
  ASSERT_EQ(core.modeId, 4);
  QObject::disconnect(bar, nullptr, bar, nullptr);
  EXPECT_GE(percents.size(), 5u);
  EXPECT_GE(*std::max_element(percents.begin(), percents.end()), 80);
  const auto& s = mode.surfaces();
  for (int i : {0, 1, 2, 3, 4, 5, 7, 9, 10, 11}) EXPECT_GT(s[i].polyCount, 100) << "surface " << i;
  EXPECT_EQ(s[6].polyCount + s[8].polyCount, 0);
  EXPECT_FALSE(panesShown());
  ASSERT_TRUE(panel->isVisible());
  using D = TOrgCrsDisplay;
  for (int b = 0; b < D::Count; ++b)
    EXPECT_EQ(panel->box(b)->isChecked(), b == D::Cut1 + 2 || b == D::Interior || b == D::Vessel) << b;
  EXPECT_EQ(panel->slider()->value(), 50);
  EXPECT_EQ(countFlags(3), [] {
    int n = 0;
    for (int z = 0; z < kD; ++z)
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) n += maskId(x, y, z) == 2;
    return n;
  }());
  const QImage entered = v->grabFramebuffer();
  shot(frame, panel, "01_entered");

  // "画像(全体)": the whole organ textured with the volume.  Where its front faces project, the
  // view shows the volume's image there instead of what lay behind it: grey (one channel) but
  // where a vessel, the tumour or the highlighted part is marked in colour.
  tick(panel->box(D::Cut1 + 2));  // the group off
  const QImage bare = v->grabFramebuffer();
  tick(panel->box(D::ImgWhole));
  ASSERT_TRUE(panel->box(D::ImgWhole)->isChecked());
  const QImage whole = v->grabFramebuffer();
  shot(frame, panel, "01b_textured_whole");
  {
    TOGL& ogl = v->togl;
    const ClipSurface& organ = s[kOrgWhole];
    int seen = 0, shown = 0, grey = 0;
    for (int i = 0; i < organ.vertexCount; i += 7) {
      double toEye[3];
      for (int k = 0; k < 3; ++k) toEye[k] = ogl.eye[k] - organ.verts[i][k];
      if (t_dot3(toEye, organ.vertNormals[i]) < 0.5 * t_length3(toEye)) continue;
      const QPoint q = project(ogl, organ.verts[i][0], organ.verts[i][1], organ.verts[i][2]);
      if (!whole.rect().contains(q)) continue;
      ++seen;
      const QColor a = whole.pixelColor(q), b = bare.pixelColor(q);
      const bool changed = std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 12;
      shown += changed;
      grey += changed && std::abs(a.red() - a.green()) <= 8 && std::abs(a.green() - a.blue()) <= 8;
    }
    ASSERT_GT(seen, 50);
    EXPECT_GT(shown, seen * 4 / 5) << shown << " of " << seen;  // the lit vessel lies over some
    EXPECT_GT(grey, seen * 3 / 4) << grey << " of " << seen;
  }
  tick(panel->box(D::Cut1 + 2));  // back to the entry's group box

  // "画像3mm" takes over the group; "エッジ(変形面)" sits beside "変形断面"; the vessel pair and
  // the tumour pair exclude each other.
  tick(panel->box(D::Img1 + 2));
  EXPECT_TRUE(panel->box(D::Img1 + 2)->isChecked());
  EXPECT_FALSE(panel->box(D::Cut1 + 2)->isChecked());
  const QImage textured = v->grabFramebuffer();
  EXPECT_GT(changedPixels(entered, textured), 500);
  shot(frame, panel, "02_textured_3mm");
  tick(panel->box(D::VesselImg));
  EXPECT_FALSE(panel->box(D::Vessel)->isChecked());
  tick(panel->box(D::Tumour));
  tick(panel->box(D::Deform));
  tick(panel->box(D::EdgeDeform));
  EXPECT_TRUE(panel->box(D::Deform)->isChecked() && panel->box(D::EdgeDeform)->isChecked());
  EXPECT_FALSE(panel->box(D::Img1 + 2)->isChecked());
  EXPECT_TRUE(panel->box(D::Interior)->isChecked());
  EXPECT_TRUE(panel->box(D::Tumour)->isChecked());
  v->grabFramebuffer();
  shot(frame, panel, "03_deformable_cut");

  // Shift-drag on the deformable cut: a front-facing vertex near the middle of the view.
  TOGL& ogl = v->togl;
  const ClipSurface& cut = s[kOrgDeform];
  int best = -1;
  double bestD = 1e9;
  const QPoint mid(v->width() / 2, v->height() / 2);
  for (int i = 0; i < cut.vertexCount; ++i) {
    double toEye[3];
    for (int k = 0; k < 3; ++k) toEye[k] = ogl.eye[k] - cut.verts[i][k];
    if (t_dot3(toEye, cut.vertNormals[i]) < 0.5 * t_length3(toEye)) continue;
    const QPoint q = project(ogl, cut.verts[i][0], cut.verts[i][1], cut.verts[i][2]);
    const double d = std::hypot(q.x() - mid.x(), q.y() - mid.y());
    if (d < bestD) bestD = d, best = i;
  }
  ASSERT_GE(best, 0);
  const QPoint at = project(ogl, cut.verts[best][0], cut.verts[best][1], cut.verts[best][2]);
  const std::vector<TVec3> beforeBrush = cut.verts;
  std::vector<QPoint> pts;
  for (int i = 0; i < 12; ++i) pts.push_back(at + QPoint(i % 3, i % 2));
  drag(v, Qt::LeftButton, Qt::ShiftModifier, pts);
  int moved = 0;
  for (int i = 0; i < cut.vertexCount; ++i) moved += cut.verts[i] != beforeBrush[i];
  EXPECT_GT(moved, 0);
  EXPECT_LT(moved, cut.vertexCount / 4);  // a patch, not the surface
  v->grabFramebuffer();
  shot(frame, panel, "04_brushed");

  // "初期化": a copy of the 3 mm cut.
  QTest::mouseClick(panel->resetButton(), Qt::LeftButton);
  EXPECT_EQ(s[kOrgDeform].verts, s[kOrgCut1 + 2].verts);
  v->grabFramebuffer();
  shot(frame, panel, "05_reset");

  // Back in a standard mode the panes return and the panel goes.
  frame->findChild<QAction*>(QStringLiteral("cmd_32786"))->trigger();
  ASSERT_EQ(core.modeId, 0);
  EXPECT_TRUE(panesShown());
  EXPECT_FALSE(panel->isVisible());
  shot(frame, nullptr, "06_mode0");
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "orgcrs_e2e", kW, kH, kD, sample, g_tiff);
}
