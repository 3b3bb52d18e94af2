// The slice-by-slice mode (5) and its refinement form (12) driven headless: brush strokes in the
// main view and in a pane under the paint and erase rules, lassos filled on a pane's slice and on
// the plane the main view falls back to, and "Finish" writing the mask, rebuilding the regions it
// took voxels from and releasing a region erased entirely.  The panel, the view and the volume
// are fakes.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "modes/region/StateSegFulManu.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

namespace {

constexpr int N = 8;  // an 8^3 volume in a box of 8: voxel (i, j, k) spans [i, i + 1) ...

int at(int x, int y, int z) { return x + N * (y + N * z); }

class FakeFulManuPanel : public TDlgSegFulManuIf {
 public:
  bool visible = false, paint = true, fixOther = true;
  int resets = 0;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void resetControls(bool, int) override {
    ++resets;
    paint = fixOther = visible = true;
  }
  bool isPaintChecked() const override { return paint; }
  bool isFixOtherChecked() const override { return fixOther; }
};

// Region 2: the four voxels (0..1, 0..1) of slice z = 1; region 3: the voxel (6, 6, 1).
class Data : public FakeRegionData {
 public:
  std::vector<int> rebuilt, released;
  Data() {
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 9);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) mask[at(x, y, 1)] = 2;
    mask[at(6, 6, 1)] = 3;
    used[2] = used[3] = true;
  }
  void commitRegion(int id) override {
    FakeRegionData::commitRegion(id);
    used[id] = true;
  }
  void rebuildRegionSurface(int id) override { rebuilt.push_back(id); }
  void releaseRegion(int id) override {
    released.push_back(id);
    used[id] = false;
  }
};

class Host : public FakeViewHost {
 public:
  unsigned keys = 0;
  double pick[3] = {0, 0, 0};
  bool planeShown[3] = {true, false, false};
  int panesShown = 0, cutCleared = 0;
  unsigned keyState() override { return keys; }
  bool pickPointOnSlices(const TPoint2i&, double pos[3]) override {
    for (int i = 0; i < 3; ++i) pos[i] = pick[i];
    return true;
  }
  bool isSlicePlaneShown(int plane) override { return planeShown[plane]; }
  void showSlicePanes() override { ++panesShown; }
  void clearCutSurface() override { ++cutCleared; }
};

class FulManuLogic : public ::testing::Test {
 protected:
  FakeMode vis{"vis"};
  Data data;
  ScriptedChooser chooser;
  Host host;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  FakeFulManuPanel panel;
  StateSegFulManu* mode = StateSegFulManu::getInst();
  TSubPane* xy = nullptr;
  TSubPane* zx = nullptr;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry v;
    v.name = "vis";
    v.ids = {0, 1, 2, 3, 4};
    v.mode = [this]() -> TModeState* { return &vis; };
    reg.add(v);
    TModeEntry e;
    e.name = "StateSegFulManu";
    e.ids = {5, 12};
    e.mode = []() -> TModeState* { return StateSegFulManu::getInst(); };
    reg.add(e);
    mode->attachPanel(&panel);
    TCore::setWiring(TCoreWiring());
    host.volW = host.volH = host.volD = N;
    host.extent[0] = host.extent[1] = host.extent[2] = N;
    xy = host.pane(0);
    zx = host.pane(2);
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
  }
  void TearDown() override {
    TCore::getInst().setMode(0);
    mode->attachPanel(nullptr);
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
  }

  // A main-view event whose point on the slice planes is (x, y, z).
  TPoint2i at3(double x, double y, double z) {
    host.pick[0] = x, host.pick[1] = y, host.pick[2] = z;
    return TPoint2i(0, 0);
  }
  // A pane event whose cursor ray runs along -z through (a, b) of the XY pane, along -y through
  // (x, z) = (a, b) of the ZX pane.
  TPoint2i atPane(int plane, double a, double b) {
    host.ray = TModeRay();
    if (plane == 0) {
      host.ray.org[0] = a, host.ray.org[1] = b, host.ray.org[2] = 20;
      host.ray.dir[0] = 0, host.ray.dir[1] = 0, host.ray.dir[2] = -1;
    } else {
      host.ray.org[0] = a, host.ray.org[1] = 20, host.ray.org[2] = b;
      host.ray.dir[0] = 0, host.ray.dir[1] = -1, host.ray.dir[2] = 0;
    }
    return TPoint2i(0, 0);
  }
  // The voxels whose flag is v.
  std::set<int> flagged(std::uint8_t v) const {
    std::set<int> s;
    for (int i = 0; i < N * N * N; ++i)
      if (data.flag[i] == v) s.insert(i);
    return s;
  }
};

}  // namespace

TEST_F(FulManuLogic, BrushPaintsAndErasesOneVoxelPerEventInTheMainViewAndThePanes) {
  TCore::getInst().setMode(5);
  ASSERT_EQ(TCore::getInst().modeId, 5);
  EXPECT_EQ(flagged(0).size(), std::size_t(N * N * N));
  EXPECT_EQ(host.panesShown, 1);
  EXPECT_EQ(host.slices[2], 0.2);  // XY slice at z = 1.6: voxel slice 1

  // Shift + left drag in the main view: (3, 3, 1), again (3, 3, 1), region 3's voxel (refused
  // while "Fix Other Region" is checked), then (4, 3, 1).
  host.keys = TModeState::MK_SHIFT;
  mode->OnLBtnDown(at3(3.5, 3.5, 1.6));
  mode->OnMouseMove(at3(3.9, 3.1, 1.2));
  EXPECT_EQ(mode->paintedSet().size(), 1u);
  mode->OnMouseMove(at3(6.5, 6.5, 1.5));
  mode->OnMouseMove(at3(4.5, 3.5, 1.5));
  EXPECT_TRUE(mode->isBrush3D());
  EXPECT_EQ(mode->paintedSet().size(), 2u);
  // The painted set holds the centres where the boxes are drawn: those of the changed voxels.
  EXPECT_EQ(mode->paintedSet().begin()->second, (std::array<double, 3>{3.5, 3.5, 1.5}));
  const int drops = data.flagDrops;
  mode->OnLBtnUp(TPoint2i());
  EXPECT_EQ(data.flagDrops, drops + 1);
  EXPECT_TRUE(mode->paintedSet().empty());
  EXPECT_EQ(flagged(255), (std::set<int>{at(3, 3, 1), at(4, 3, 1)}));

  // In the XY pane at its slice (z = 1): Shift + right erases (3, 3, 1) and passes over a voxel
  // that is not extracted; Shift + left with "Fix Other Region" off paints region 3's voxel.
  mode->OnRBtnDown2D(xy, atPane(0, 3.5, 3.5));
  mode->OnMouseMove2D(xy, atPane(0, 5.5, 5.5));
  EXPECT_TRUE(mode->isPaneBrush());
  EXPECT_FALSE(mode->strokePaints());
  mode->OnRBtnUp2D(xy, TPoint2i());
  panel.fixOther = false;
  mode->OnLBtnDown2D(xy, atPane(0, 6.5, 6.5));
  mode->OnLBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(flagged(255), (std::set<int>{at(4, 3, 1), at(6, 6, 1)}));
  // A point off the box paints nothing; without Shift the buttons drag as usual.
  mode->OnLBtnDown2D(xy, atPane(0, -0.5, 3.5));
  mode->OnLBtnUp2D(xy, TPoint2i());
  host.keys = 0;
  mode->OnLBtnDown(at3(1.5, 1.5, 1.5));
  mode->OnMouseMove(at3(2.5, 1.5, 1.5));
  mode->OnLBtnUp(TPoint2i());
  EXPECT_EQ(flagged(255).size(), 2u);
  EXPECT_EQ(host.count("translate"), 1);

  // "Finish" asks first: Cancel leaves everything; OK then id 5 stores the two voxels.  Region 3
  // lost its only voxel: released; region 2 untouched.
  prompts.answers = {PromptAnswer::Cancel};
  mode->finishSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 5);
  EXPECT_EQ(data.mask[at(6, 6, 1)], 3);
  prompts.answers = {PromptAnswer::Ok};
  chooser.one.push_back({true, 5});
  mode->finishSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(prompts.texts().back(), StateSegFulManu::kFinishSegmentationQuestion);
  EXPECT_EQ(data.mask[at(4, 3, 1)], 5);
  EXPECT_EQ(data.mask[at(6, 6, 1)], 5);
  EXPECT_EQ(data.mask[at(3, 3, 1)], 0);
  EXPECT_EQ(data.committed, std::vector<int>{5});
  EXPECT_EQ(data.released, std::vector<int>{3});
  EXPECT_TRUE(data.rebuilt.empty());
}

TEST_F(FulManuLogic, LassoFillsTheSliceOfThePaneOrOfTheFallbackPlane) {
  TCore::getInst().setMode(5);
  host.keys = TModeState::MK_SHIFT;
  panel.paint = false;  // "Lasso"
  // A square lasso (1.2 .. 4.8)^2 in the XY pane fills the cells (1..4)^2 of slice z = 1 and
  // nothing else; region 2's voxels (1, 1, 1) ... stay (Fix Other Region).
  auto square = [&](TSubPane* pane, int plane) {
    mode->OnLBtnDown2D(pane, atPane(plane, 1.2, 1.2));
    for (auto q : {std::pair<double, double>{4.8, 1.2}, {4.8, 4.8}, {1.2, 4.8}})
      mode->OnMouseMove2D(pane, atPane(plane, q.first, q.second));
  };
  square(xy, 0);
  EXPECT_EQ(mode->stroke().size(), 4u);
  mode->OnLBtnUp2D(xy, TPoint2i());
  std::set<int> expect;
  for (int y = 1; y <= 4; ++y)
    for (int x = 1; x <= 4; ++x)
      if (x > 1 || y > 1) expect.insert(at(x, y, 1));
  EXPECT_EQ(flagged(255), expect);

  // Begun in the ZX pane, released in the XY pane: dropped.
  square(zx, 2);
  mode->OnLBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(flagged(255), expect);

  // Main view, no XY or YZ plane shown: filled on ZX at y slice 1; the right button erases the
  // part of the XY fill it covers.
  host.planeShown[0] = false;
  mode->OnRBtnDown(at3(2.2, 1.6, 0.2));
  for (auto q : {std::array<double, 3>{7.8, 1.6, 0.2}, {7.8, 1.6, 3.8}, {2.2, 1.6, 3.8}})
    mode->OnMouseMove(at3(q[0], q[1], q[2]));
  EXPECT_TRUE(mode->isLasso3D());
  mode->OnRBtnUp(TPoint2i());
  for (int x = 2; x <= 4; ++x) expect.erase(at(x, 1, 1));
  EXPECT_EQ(flagged(255), expect);
  // Painting the same lasso fills its cells 2..7 x 0..3 on slice y = 1.
  mode->OnLBtnDown(at3(2.2, 1.6, 0.2));
  for (auto q : {std::array<double, 3>{7.8, 1.6, 0.2}, {7.8, 1.6, 3.8}, {2.2, 1.6, 3.8}})
    mode->OnMouseMove(at3(q[0], q[1], q[2]));
  mode->OnLBtnUp(TPoint2i());
  for (int z = 0; z <= 3; ++z)
    for (int x = 2; x <= 7; ++x) expect.insert(at(x, 1, z));
  EXPECT_EQ(flagged(255), expect);
}

TEST_F(FulManuLogic, RefinementErasesToBackgroundAndTheRegionsFollowOnFinish) {
  chooser.one.push_back({true, 2});
  TCore::getInst().setMode(12);
  ASSERT_EQ(TCore::getInst().modeId, 12);
  EXPECT_EQ(flagged(255).size(), 4u);
  host.keys = TModeState::MK_SHIFT;

  // Brush erase: a voxel of region 2 becomes 1, a painted background voxel 0.  With "Fix Other
  // Region" the brush then refuses to repaint the erased one (it carries an id).
  mode->OnLBtnDown2D(xy, atPane(0, 3.5, 3.5));
  mode->OnLBtnUp2D(xy, TPoint2i());
  mode->OnRBtnDown2D(xy, atPane(0, 0.5, 0.5));
  mode->OnMouseMove2D(xy, atPane(0, 3.5, 3.5));
  mode->OnRBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(data.flag[at(0, 0, 1)], 1);
  EXPECT_EQ(data.flag[at(3, 3, 1)], 0);
  mode->OnLBtnDown2D(xy, atPane(0, 0.5, 0.5));
  mode->OnLBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(data.flag[at(0, 0, 1)], 1);
  // The lasso repaints it (the refined region is not "other"), the brush erases it again.
  panel.paint = false;
  mode->OnLBtnDown2D(xy, atPane(0, 0.1, 0.1));
  for (auto q : {std::pair<double, double>{0.9, 0.1}, {0.9, 0.9}, {0.1, 0.9}})
    mode->OnMouseMove2D(xy, atPane(0, q.first, q.second));
  mode->OnLBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(data.flag[at(0, 0, 1)], 255);
  panel.paint = true;
  mode->OnRBtnDown2D(xy, atPane(0, 0.5, 0.5));
  mode->OnRBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(data.flag[at(0, 0, 1)], 1);
  // Region 3's voxel painted with "Fix Other Region" off.
  panel.fixOther = false;
  mode->OnLBtnDown2D(xy, atPane(0, 6.5, 6.5));
  mode->OnLBtnUp2D(xy, TPoint2i());

  prompts.answers = {PromptAnswer::Ok};
  mode->finishSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(prompts.texts().back(), StateSegFulManu::kFinishRefinementQuestion);
  EXPECT_EQ(data.mask[at(0, 0, 1)], 0);
  EXPECT_EQ(data.mask[at(1, 1, 1)], 2);
  EXPECT_EQ(data.mask[at(6, 6, 1)], 2);
  EXPECT_EQ(data.committed, std::vector<int>{2});
  EXPECT_EQ(data.released, std::vector<int>{3});

  // Refining region 2 again and erasing all of it with a lasso: region 2 is released, not
  // committed again, and the mask holds none of it.
  chooser.one.push_back({true, 2});
  TCore::getInst().setMode(12);
  panel.paint = false;
  mode->OnRBtnDown2D(xy, atPane(0, 0.1, 0.1));
  for (auto q : {std::pair<double, double>{7.9, 0.1}, {7.9, 7.9}, {0.1, 7.9}})
    mode->OnMouseMove2D(xy, atPane(0, q.first, q.second));
  mode->OnRBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(flagged(1).size(), 4u);
  prompts.answers = {PromptAnswer::Ok};
  mode->finishSegmentation();
  EXPECT_EQ(data.committed, std::vector<int>{2});
  EXPECT_EQ(data.released, (std::vector<int>{3, 2}));
  for (int i = 0; i < N * N * N; ++i) ASSERT_NE(data.mask[i], 2);
}

TEST_F(FulManuLogic, TheMiddleButtonZoomsThePanesAlsoWithShift) {
  TCore::getInst().setMode(5);
  host.keys = TModeState::MK_SHIFT;
  mode->OnLBtnDown2D(xy, atPane(0, 3.5, 3.5));
  mode->OnLBtnUp2D(xy, TPoint2i());
  ASSERT_EQ(flagged(255), (std::set<int>{at(3, 3, 1)}));

  // Shift + middle drag over the painted voxel: a zoom of the panes, nothing erased.
  mode->OnMBtnDown2D(xy, atPane(0, 3.5, 3.5));
  EXPECT_TRUE(mode->isPaneZooming());
  EXPECT_FALSE(mode->isPaneBrush());
  mode->OnMouseMove2D(xy, TPoint2i(0, -20));
  EXPECT_EQ(host.count("zoomPanes"), 1);
  mode->OnMBtnUp2D(xy, TPoint2i(0, -20));
  EXPECT_FALSE(mode->isPaneZooming());
  EXPECT_EQ(flagged(255), (std::set<int>{at(3, 3, 1)}));

  // A paint stroke of the left button goes on through a middle click.
  mode->OnLBtnDown2D(xy, atPane(0, 4.5, 3.5));
  mode->OnMBtnDown2D(xy, atPane(0, 4.5, 3.5));
  mode->OnMBtnUp2D(xy, TPoint2i());
  EXPECT_TRUE(mode->isPaneBrush());
  mode->OnMouseMove2D(xy, atPane(0, 5.5, 3.5));
  mode->OnLBtnUp2D(xy, TPoint2i());
  EXPECT_EQ(flagged(255), (std::set<int>{at(3, 3, 1), at(4, 3, 1), at(5, 3, 1)}));
}
