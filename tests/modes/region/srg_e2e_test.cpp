// Seeded region growing (mode 7) as a user meets it: the program started with a 16-bit TIFF of a
// dim volume holding a bright sphere and a mid-grey slab, the window under Xvfb driven by
// synthetic events.  Enters the mode from the menu, picks each of the three groups in the panel's
// list, ticks the XY plane (the mode shows only YZ) and places its seeds with a Shift + left drag
// on it, runs the growth (the panel's buttons and a volume load are refused while it computes),
// finishes, and sees the three regions in mode 3 with the intensities shown again.  Screenshots in the build folder's artefacts
// (srg_*.png).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "core/WinLvModel.h"
#include "e2e_program.h"
#include "modes/region/StateSegSRG.h"
#include "modes/region/TDlgSegSRG.h"
#include "view/CKestrinView.h"
#include "view/TDlgVisParam.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 64, kH = 64, kD = 40;

// Region of a voxel: 2 the sphere of radius 10 around (32, 32, 10), 3 the slab x >= 50, else 1
// (the dim rest).  The XY plane at its entry position (z = 0.2 x D = 8) cuts all three.
int regionOf(int x, int y, int z) {
  if ((x - 32) * (x - 32) + (y - 32) * (y - 32) + (z - 10) * (z - 10) <= 100) return 2;
  return x >= 50 ? 3 : 1;
}
int sample(int x, int y, int z) {
  unsigned h = unsigned(x) * 73856093u ^ unsigned(y) * 19349663u ^ unsigned(z) * 83492791u;
  h = h * 2654435761u;
  const int noise = int((h >> 16) % 401) - 200;
  const int base[4] = {0, 1000, 3000, 2000};
  return base[regionOf(x, y, z)] + noise;
}
// The other volume, loaded while the growth runs.
int otherSample(int x, int y, int z) { return (x + y + z) % 7 * 100; }

using namespace e2e;

Shots shot("srg_");

}  // namespace

std::string g_tiff, g_other;

TEST(SrgEndToEnd, ThreeGroupsSeededOnTheXYPlaneDivideTheVolumeAndFinishStoresThem) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_EQ(TextureManager::getInst().getD(), kD);
  core.setMode(0);  // front camera
  const std::int64_t n = std::int64_t(kW) * kH * kD;
  const std::vector<std::uint8_t> intensities(TextureManager::getInst().vol1.data,
                                              TextureManager::getInst().vol1.data + n);
  // The rows may come in the other order: y of the file is found from the loaded values.
  const float* val = TextureManager::getInst().val1;
  // (32, 42, 10) lies on the sphere as written, one voxel outside it with the rows reversed.
  const bool flippedY = val[32 + kW * (42 + kH * 10)] < 2000.f;
  auto regionLoaded = [&](int x, int y, int z) { return regionOf(x, flippedY ? kH - 1 - y : y, z); };

  // Mode 7 from the menu; the target question picks the background (id 0).
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32832"));
  ASSERT_NE(cmd, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 7);
  StateSegSRG* mode = StateSegSRG::getInst();
  auto* panel = dynamic_cast<TDlgSegSRG*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  QTableWidget* list = panel->groupList();
  ASSERT_EQ(list->rowCount(), 3);
  EXPECT_EQ(list->item(0, 0)->text(), "0--Cp:0");
  EXPECT_EQ(mode->selectedGroup(), 2);
  EXPECT_TRUE(list->item(2, 0)->isSelected());
  // The mode shows only the YZ plane; the user ticks the XY plane for the seeds.
  TDlgVisParam& rendering = TDlgVisParam::getInst();
  EXPECT_FALSE(rendering.planeCheck(0)->isChecked());
  EXPECT_TRUE(rendering.planeCheck(1)->isChecked());
  EXPECT_FALSE(rendering.planeCheck(2)->isChecked());
  rendering.planeCheck(0)->click();
  ASSERT_TRUE(rendering.planeCheck(0)->isChecked());

  // Per group: its row picked in the list, then a Shift + left drag on the XY plane.
  v->grabFramebuffer();  // matrices of a frame for the projections below
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double px = e[0] / kW, py = e[1] / kH;
  const double zPlane = e[2] * vr.slicePos[2];
  auto onPlane = [&](double vx, double vy) { return project(v->togl, (vx + 0.5) * px, (vy + 0.5) * py, zPlane); };
  struct Stroke {
    int row;
    double x0, y0, x1, y1;
  };
  const Stroke strokes[3] = {{0, 4, 4, 16, 16}, {1, 25, 32, 39, 32}, {2, 56, 6, 56, 58}};
  for (const Stroke& s : strokes) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(s.row, 0)).center());
    ASSERT_EQ(mode->selectedGroup(), s.row);
    std::vector<QPoint> pts;
    for (int i = 0; i <= 24; ++i)
      pts.push_back(onPlane(s.x0 + (s.x1 - s.x0) * i / 24.0, s.y0 + (s.y1 - s.y0) * i / 24.0));
    drag(v, Qt::LeftButton, Qt::ShiftModifier, pts);
    ASSERT_GE(mode->groups()[s.row].seeds.size(), 1u) << s.row;
  }
  // Each group's seeds lie in its own region.
  for (int g = 0; g < 3; ++g)
    for (const TVec3& p : mode->groups()[g].seeds) {
      const int x = int(p[0] / px), y = int(p[1] / py), z = int(p[2] / (e[2] / kD));
      EXPECT_EQ(regionLoaded(x, y, z), g + 1) << g << ": " << x << " " << y << " " << z;
    }
  EXPECT_EQ(list->item(1, 0)->text(), QString("1--Cp:%1").arg(mode->groups()[1].seeds.size()));
  shot(frame, panel, "01_seeds");

  // Run: while it computes, the panel's buttons are off and a volume load is refused with the
  // busy text (the result comes back through the event loop, which has not run yet).
  QTest::mouseClick(panel->button("Run ! \nSeed Region Grow"), Qt::LeftButton);
  ASSERT_TRUE(mode->isBusy());
  EXPECT_FALSE(panel->button("Finish")->isEnabled());
  EXPECT_FALSE(panel->button("Add New Group")->isEnabled());
  QString refusal;
  whenModal([&refusal](QWidget* box) {
    if (auto* b = qobject_cast<QMessageBox*>(box)) refusal = b->text();
    box->close();
  });
  EXPECT_FALSE(core.loadVolume(g_other));
  EXPECT_EQ(refusal.toStdString(), StateSegSRG::kBusyMessage);
  EXPECT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_TRUE(waitUntil([&] { return !mode->isBusy(); }));
  EXPECT_TRUE(panel->button("Finish")->isEnabled());

  // Every voxel carries a group; each region went to its group.
  const std::vector<std::uint8_t>& result = mode->result();
  ASSERT_EQ(std::int64_t(result.size()), n);
  int total[4] = {}, right[4] = {}, unlabelled = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int r = regionLoaded(x, y, z);
        const std::uint8_t l = result[x + kW * (y + kH * z)];
        unlabelled += l == 0;
        ++total[r];
        right[r] += l == r;
      }
  EXPECT_EQ(unlabelled, 0);
  for (int r = 1; r <= 3; ++r) EXPECT_GE(right[r], total[r] * 95 / 100) << r;
  // The display shows the group means; the second and third groups have surfaces.
  ASSERT_TRUE(mode->isShowingMeans());
  double lo[3], hi[3];
  TWinLvModel::getInst().getMinValues(lo);
  TWinLvModel::getInst().getMaxValues(hi);
  const std::uint8_t* shown = TextureManager::getInst().vol1.data;
  const std::int64_t sphereCentre = 32 + kW * (32 + kH * 10);
  EXPECT_EQ(shown[sphereCentre], t_srgDisplayByte(mode->groups()[1].mean, lo[0], hi[0]));
  EXPECT_GT(mode->groups()[1].surface.polyCount, 50);
  EXPECT_GT(mode->groups()[2].surface.polyCount, 50);
  shot(frame, panel, "02_grown");

  // "Finish", answered OK: the mask is the result, regions 1-3 in the group colours, mode 3.
  whenModal([](QWidget* box) {
    auto* b = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(b, nullptr);
    b->button(QMessageBox::Ok)->click();
  });
  const QImage before = v->grabFramebuffer();
  ASSERT_TRUE(activated(panel));
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_FALSE(panel->isVisible());
  // The question closed and its panel hidden: the keys are the main window's.
  EXPECT_TRUE(mainWindowTakesKeys());
  const TOGL3DImage& mask = TextureManager::getInst().volMask;
  std::vector<int> perId(256, 0);
  for (std::int64_t i = 0; i < n; ++i) ++perId[mask.data[i]];
  for (int r = 1; r <= 3; ++r) EXPECT_GE(perId[r], total[r] * 95 / 100) << r;
  EXPECT_EQ(perId[1] + perId[2] + perId[3], n);
  const TMaskIdTable& table = TMaskIdTable::getInst();
  for (int id = 1; id <= 3; ++id) {
    EXPECT_TRUE(table.records[id].used) << id;
    EXPECT_EQ(table.records[id].alpha, 200) << id;
    EXPECT_EQ(table.records[id].color, StateSegSRG::packColor(mode->groups()[id - 1].color)) << id;
    EXPECT_GT(table.records[id].surface.polyCount, 50) << id;
  }
  EXPECT_FALSE(table.records[4].used);
  // The intensities are shown again.
  EXPECT_TRUE(std::equal(intensities.begin(), intensities.end(), TextureManager::getInst().vol1.data));
  EXPECT_FALSE(mode->isShowingMeans());
  const QImage after = v->grabFramebuffer();
  EXPECT_GT(changedPixels(before, after), 500);
  shot(frame, nullptr, "03_mode3_regions");
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  g_tiff = tempPath("srg_e2e", ".tif");
  g_other = tempPath("srg_e2e", "_other.tif");
  if (!writeTiff16(g_tiff, kW, kH, kD, sample) || !writeTiff16(g_other, 20, 20, 20, otherSample)) return 2;
  const int rc = runProgram(argc, argv, {g_tiff});
  std::remove(g_tiff.c_str());
  std::remove(g_other.c_str());
  return rc;
}
