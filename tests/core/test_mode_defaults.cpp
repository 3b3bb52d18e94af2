// The default behaviours of the mode interface: camera drags, cursor zones, pane pan, zoom,
// slice-line drags and wheel steps, and the two region questions.
#include <gtest/gtest.h>

#include <memory>

#include "tests/core/fakes.h"
#include "platform/ScriptedPrompts.h"

namespace {

class ModeDefaults : public ::testing::Test {
 protected:
  FakeViewHost host;
  FakeMode mode{"m"};
  void SetUp() override { t_setModeViewHost(&host); }
  void TearDown() override { t_setModeViewHost(nullptr); }
};

}  // namespace

TEST_F(ModeDefaults, CursorZonesAtTheBorders) {
  // W = 200, H = 100: zones are x < 30, x > 170, y < 30, y > 70; left/right win in corners.
  EXPECT_EQ(mode.OnSetCursor({29, 50}), 2);
  EXPECT_EQ(mode.OnSetCursor({30, 50}), 0);
  EXPECT_EQ(mode.OnSetCursor({170, 50}), 0);
  EXPECT_EQ(mode.OnSetCursor({171, 50}), 2);
  EXPECT_EQ(mode.OnSetCursor({100, 29}), 1);
  EXPECT_EQ(mode.OnSetCursor({100, 30}), 0);
  EXPECT_EQ(mode.OnSetCursor({100, 70}), 0);
  EXPECT_EQ(mode.OnSetCursor({100, 71}), 1);
  EXPECT_EQ(mode.OnSetCursor({5, 5}), 2);
  EXPECT_EQ(mode.OnSetCursor({195, 95}), 2);
}

TEST_F(ModeDefaults, CameraDragsHoldTheButtonAndRedrawOnRelease) {
  mode.OnMouseMove({1, 1});  // nothing held: no camera step
  EXPECT_TRUE(host.calls.empty());

  mode.OnLBtnDown({50, 50});
  EXPECT_TRUE(mode.isLBtnHeld());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"held", "translate"}));
  mode.OnMouseMove({60, 50});
  EXPECT_EQ(host.count("camMove"), 1);
  EXPECT_EQ(host.count("redrawMain"), 1);
  host.calls.clear();
  mode.OnLBtnUp({60, 50});
  EXPECT_FALSE(mode.isLBtnHeld());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"released", "camUp", "redrawMain"}));

  host.calls.clear();
  mode.OnRBtnDown({50, 50});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"held", "rotate"}));
  host.calls.clear();
  mode.OnRBtnUp({50, 50});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"released", "camUp", "redrawAll"}));

  host.calls.clear();
  mode.OnMBtnDown({50, 50});
  EXPECT_TRUE(mode.isMBtnHeld());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"held", "zoom"}));
  mode.OnMBtnUp({50, 50});
  EXPECT_FALSE(mode.isMBtnHeld());
  EXPECT_EQ(host.count("redrawAll"), 1);
}

TEST_F(ModeDefaults, PanDragStaysInThePaneWhereItBegan) {
  host.pickResult = 0;
  mode.OnLBtnDown2D(host.pane(0), {10, 10});
  EXPECT_TRUE(mode.isPanePanning());
  EXPECT_EQ(mode.getPaneId(), 0);
  EXPECT_EQ(host.count("pick 0.1"), 1);

  host.calls.clear();
  mode.OnMouseMove2D(host.pane(1), {20, 20});  // over the YZ pane: nothing
  EXPECT_TRUE(host.calls.empty());

  mode.OnMouseMove2D(host.pane(0), {15, 12});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"pan", "redrawPanes"}));
  EXPECT_EQ(host.lastPanPrev, TPoint2i(10, 10));
  EXPECT_EQ(host.lastPanPoint, TPoint2i(15, 12));
  mode.OnMouseMove2D(host.pane(0), {16, 13});
  EXPECT_EQ(host.lastPanPrev, TPoint2i(15, 12));  // steps are relative to the previous event

  host.calls.clear();
  mode.OnLBtnUp2D(host.pane(0), {16, 13});
  EXPECT_FALSE(mode.isPanePanning());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"redrawAll"}));
  mode.OnMouseMove2D(host.pane(0), {30, 30});
  EXPECT_EQ(host.count("pan"), 0);
}

TEST_F(ModeDefaults, ZoomDragScalesAllPanesByOneFactor) {
  mode.OnRBtnDown2D(host.pane(2), {50, 100});
  EXPECT_TRUE(mode.isPaneZooming());
  EXPECT_EQ(mode.getPaneId(), 2);
  mode.OnMouseMove2D(host.pane(2), {50, 90});  // up by 10 pixels
  EXPECT_NEAR(host.lastZoom, 0.97, 1e-12);
  mode.OnMouseMove2D(host.pane(2), {50, 95});  // down by 5 from the previous event
  EXPECT_NEAR(host.lastZoom, 1.015, 1e-12);
  EXPECT_EQ(host.count("zoomPanes"), 2);
  mode.OnMBtnUp2D(host.pane(2), {50, 95});
  EXPECT_FALSE(mode.isPaneZooming());

  mode.OnMBtnDown2D(host.pane(1), {0, 0});  // the middle button zooms too
  EXPECT_TRUE(mode.isPaneZooming());
  mode.OnRBtnUp2D(host.pane(1), {0, 0});
  EXPECT_FALSE(mode.isPaneZooming());
}

TEST_F(ModeDefaults, SliceLineDragMovesTheLinesOfItsPaneAndIgnoresPointsOutsideTheBox) {
  // Crossing picked in the XY pane: x and y slices follow the cursor.
  host.pickResult = 3;
  mode.OnLBtnDown2D(host.pane(0), {0, 0});
  EXPECT_FALSE(mode.isPanePanning());
  EXPECT_EQ(mode.getPickedLine(), 3);
  host.ray.org[0] = 2.5;
  host.ray.org[1] = 7.5;
  host.ray.org[2] = 1.0;
  mode.OnMouseMove2D(host.pane(0), {1, 1});
  EXPECT_DOUBLE_EQ(host.slices[0], 0.25);
  EXPECT_DOUBLE_EQ(host.slices[1], 0.75);
  EXPECT_DOUBLE_EQ(host.slices[2], 0.5);
  EXPECT_EQ(host.count("updateSlices"), 2);

  // Outside the box along x (fraction 1.2): x stays, y still moves.
  host.ray.org[0] = 12.0;
  host.ray.org[1] = 0.0;
  mode.OnMouseMove2D(host.pane(0), {2, 2});
  EXPECT_DOUBLE_EQ(host.slices[0], 0.25);
  EXPECT_DOUBLE_EQ(host.slices[1], 0.0);
  mode.OnLBtnUp2D(host.pane(0), {2, 2});

  // Line 2 of the ZX pane is the z slice; line 1 of the YZ pane is the y slice.
  host.pickResult = 2;
  mode.OnLBtnDown2D(host.pane(2), {0, 0});
  host.ray.org[0] = 9.0;
  host.ray.org[2] = 4.0;
  mode.OnMouseMove2D(host.pane(2), {1, 1});
  EXPECT_DOUBLE_EQ(host.slices[0], 0.25);
  EXPECT_DOUBLE_EQ(host.slices[2], 0.4);
  mode.OnLBtnUp2D(host.pane(2), {1, 1});

  host.pickResult = 1;
  mode.OnLBtnDown2D(host.pane(1), {0, 0});
  host.ray.org[1] = 10.0;  // exactly the far face: fraction 1 is outside
  mode.OnMouseMove2D(host.pane(1), {1, 1});
  EXPECT_DOUBLE_EQ(host.slices[1], 0.0);
  host.ray.org[1] = 5.0;
  mode.OnMouseMove2D(host.pane(1), {1, 2});
  EXPECT_DOUBLE_EQ(host.slices[1], 0.5);
}

TEST_F(ModeDefaults, WheelStepsOneVoxelAlongThePanesAxis) {
  host.volW = 5;
  host.volH = 1;
  host.volD = 11;
  mode.OnMouseWheel2D(host.pane(0), 0, 120, {0, 0});  // XY pane: z by one voxel, 1/D
  EXPECT_DOUBLE_EQ(host.slices[2], 0.5 + 1.0 / 11);
  mode.OnMouseWheel2D(host.pane(1), 0, -120, {0, 0});  // YZ pane: x by -1/W
  EXPECT_DOUBLE_EQ(host.slices[0], 0.5 - 1.0 / 5);
  host.calls.clear();
  mode.OnMouseWheel2D(host.pane(2), 0, 120, {0, 0});  // ZX pane over a one-voxel axis
  EXPECT_DOUBLE_EQ(host.slices[1], 0.5);
  EXPECT_EQ(host.count("updateSlices"), 0);
  EXPECT_EQ(host.count("redrawAll"), 1);
}

// ---- region questions ---------------------------------------------------------------------------

namespace {

class RegionQuestions : public ::testing::Test {
 protected:
  FakeRegionData data;
  ScriptedChooser chooser;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  FakeMode mode{"m"};
  std::vector<std::string> log;

  void SetUp() override {
    data.mask = {0, 2, 3, 5, 2, 0, 7, 3};
    data.flag = {9, 9, 9, 9, 9, 9, 9, 9};
    data.log = &log;
    chooser.log = &log;
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
  }
  void TearDown() override {
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    scope.reset();
  }
};

}  // namespace

TEST_F(RegionQuestions, TargetRegionsBecomeSelectableAndTheRestLocked) {
  chooser.many.push_back({true, {2, 3}});
  ASSERT_TRUE(mode.selectTargetRegions(0, 1));
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{0, 1, 1, 0, 1, 0, 0, 1}));
  ASSERT_EQ(chooser.titles.size(), 1u);
  EXPECT_EQ(chooser.titles[0], "Select Segm target region(s) 分割対象の領域(複数可)選択");
  // The texture is dropped before the question.
  EXPECT_EQ(log, (std::vector<std::string>{"dropFlag", "pickMany"}));

  chooser.many.push_back({true, {0}});
  ASSERT_TRUE(mode.selectTargetRegions(7, 200));
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{200, 7, 7, 7, 7, 200, 7, 7}));
}

TEST_F(RegionQuestions, CancelledTargetQuestionLeavesTheFlagsButDropsTheTexture) {
  chooser.many.push_back({false, {}});
  EXPECT_FALSE(mode.selectTargetRegions(0, 1));
  EXPECT_EQ(data.flag, std::vector<std::uint8_t>(8, 9));
  EXPECT_EQ(data.flagDrops, 1);
}

TEST_F(RegionQuestions, NothingFlagged255IsRefusedWithItsMessage) {
  data.flag = {1, 254, 6, 0, 1, 1, 1, 1};  // other marks do not count
  EXPECT_FALSE(mode.selectIdForRegion());
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].text, "No foreground voxels exist \n Press this button AFTER finishing segmentation");
  EXPECT_TRUE(chooser.titles.empty());
  EXPECT_EQ(data.maskDrops, 1);

  data.mask.clear();  // a mask without voxels is refused the same way
  data.flag.clear();
  EXPECT_FALSE(mode.selectIdForRegion());
  EXPECT_EQ(prompts.shown.size(), 2u);
}

TEST_F(RegionQuestions, ResultIsStoredOnlyUnderAFreeIdBetween1And255) {
  data.flag = {255, 255, 0, 1, 0, 0, 0, 255};
  data.used[5] = true;
  const std::vector<std::uint8_t> before = data.mask;
  chooser.one = {{true, 0}, {false, 9}, {true, 256}, {true, -1}, {true, 5}};
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(mode.selectIdForRegion()) << i;
  EXPECT_EQ(data.mask, before);
  EXPECT_TRUE(prompts.shown.empty());  // refused without a message
  EXPECT_TRUE(data.committed.empty());
  EXPECT_EQ(chooser.titles[0], "Select ID for this region: この領域につけるIDの選択ｚ");

  chooser.one = {{true, 7}};
  ASSERT_TRUE(mode.selectIdForRegion());
  // Flagged voxels take id 7; voxel 6 already had id 7 and keeps it.
  EXPECT_EQ(data.mask, (std::vector<std::uint8_t>{7, 7, 3, 5, 2, 0, 7, 7}));
  EXPECT_EQ(data.committed, (std::vector<int>{7}));
}
