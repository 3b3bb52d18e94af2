// The region-growing mode (6) driven headless: seeds placed, moved and erased through the mouse
// slots with the modifier keys, thresholds and floods over a small volume, the seed limit, the
// computation on a worker handed back on the interface thread, the cut stroke, the control-point
// file and "Finish" storing the region.  The panel, the view and the volume are fakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

#include "core/TCore.h"
#include "modes/region/StateSegRGrow.h"
#include "platform/LargeMemory.h"
#include "platform/Progress.h"
#include "tests/modes/mode_logic_fixture.h"

namespace {

constexpr int N = 10;  // a 10^3 volume in a box of 10: one unit per voxel

int at(int x, int y, int z) { return x + N * (y + N * z); }

class FakeRGrowPanel : public TDlgSegRGrowIf {
 public:
  bool visible = false, busy = false, rgb = true;
  int updates = 0, channels = 0;
  int pos[kSpinCount] = {};
  std::string readout;
  std::vector<bool> busyLog;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateControls(int ch, const double*, const double*) override {
    ++updates;
    channels = ch;
    visible = true;
  }
  int spinPosition(Spin s) const override { return pos[s]; }
  bool isRgbChecked() const override { return rgb; }
  void setReadout(const std::string& t) override { readout = t; }
  void setBusy(bool b) override {
    busy = b;
    busyLog.push_back(b);
  }
};

// Two bright slabs (100) at x < 4 and x >= 6 with a dark gap (0) between them; region 2 holds
// x < 5, region 3 the plane x = 9.
class VolumeData : public FakeRegionData {
 public:
  std::vector<float> values, gradient;
  std::vector<int> rebuilt, released;
  int shownSize = 0;  // the size volumeValues reports, when not 0
  VolumeData() {
    values.assign(N * N * N, 0.f);
    gradient.assign(N * N * N, 0.5f);
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 9);
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          values[at(x, y, z)] = (x < 4 || x >= 6) ? 100.f : 0.f;
          if (x < 5) mask[at(x, y, z)] = 2;
          if (x == 9) mask[at(x, y, z)] = 3;
        }
    used[2] = used[3] = true;
  }
  void rebuildRegionSurface(int id) override { rebuilt.push_back(id); }
  void releaseRegion(int id) override {
    released.push_back(id);
    used[id] = false;
  }
  void commitRegion(int id) override {
    FakeRegionData::commitRegion(id);
    used[id] = true;
  }
  bool volumeValues(VolumeValues& v) override {
    v.W = v.H = v.D = shownSize ? shownSize : N;
    v.channels = 1;
    v.ch[0] = values.data();
    v.gradient = gradient.data();
    v.rangeLo[0] = 0;
    v.rangeHi[0] = 100;
    return true;
  }
};

class RGrowLogic : public ModeLogicTest<StateSegRGrow, FakeRGrowPanel, VolumeData> {
 protected:
  RGrowLogic() : ModeLogicTest("StateSegRGrow", 6) {}
  void SetUp() override {
    host.volW = host.volH = host.volD = N;
    ModeLogicTest::SetUp();
    // Every voxel is a target.
    chooser.many.push_back({true, {0, 2, 3}});
    enterMode();
  }
  // A Shift + left click that picks the box point (x, y, z); by default the cursor ray passes
  // through that point.
  void shiftClick(double x, double y, double z, TPoint2i p = TPoint2i(-1, -1)) {
    host.keys = TModeState::MK_SHIFT;
    host.pick[0] = x, host.pick[1] = y, host.pick[2] = z;
    if (p.x < 0) p = TPoint2i(int(x * 10), int(y * 10));
    mode->OnLBtnDown(p);
    mode->OnLBtnUp(p);
    host.keys = 0;
  }
  int count(std::uint8_t v) const {
    int n = 0;
    for (std::uint8_t f : data.flag) n += f == v;
    return n;
  }
};

}  // namespace

TEST_F(RGrowLogic, EntryMarksTargetsAndPlacesMovesAndErasesSeedsWithTheModifierKeys) {
  EXPECT_EQ(count(1), N * N * N);
  EXPECT_TRUE(panel.visible);
  EXPECT_EQ(panel.updates, 1);
  EXPECT_EQ(panel.channels, 1);
  EXPECT_NEAR(mode->ctrlPointRadius(), 0.666666 * 3, 1e-12);
  EXPECT_DOUBLE_EQ(host.slices[0], 0.2);
  EXPECT_GE(host.count("hidePanes"), 1);

  // Shift-click on a plane adds a point and shows its value.
  shiftClick(1.5, 5.5, 5.5);
  ASSERT_EQ(mode->controlPoints().size(), 1u);
  EXPECT_EQ(panel.readout, "intensity:100.00");
  // Shift-click on that point (the ray passes through it) drags it instead of adding one.
  host.keys = TModeState::MK_SHIFT;
  host.pick[0] = 2.5;
  mode->OnLBtnDown(TPoint2i(15, 55));
  EXPECT_TRUE(mode->isMovingPoint());
  EXPECT_EQ(mode->movingPointIndex(), 0);
  mode->OnMouseMove(TPoint2i(25, 55));
  EXPECT_DOUBLE_EQ(mode->controlPoints()[0][0], 2.5);
  // A drag off the planes refreshes the read-out with the origin's voxel.
  host.pickHits = false;
  mode->OnMouseMove(TPoint2i(900, 900));
  EXPECT_EQ(panel.readout, "intensity:100.00");
  mode->OnLBtnUp(TPoint2i(900, 900));
  host.pickHits = true;
  EXPECT_EQ(mode->controlPoints().size(), 1u);
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(25, 55)), 8);  // Shift still held, over the point

  // A Shift-click that hits nothing adds nothing.
  host.pickHits = false;
  mode->OnLBtnDown(TPoint2i(500, 500));
  mode->OnLBtnUp(TPoint2i(500, 500));
  host.pickHits = true;
  EXPECT_EQ(mode->controlPoints().size(), 1u);

  // Alt drag erases every point it passes over.
  shiftClick(7.5, 5.5, 5.5);
  shiftClick(8.5, 2.5, 5.5);
  ASSERT_EQ(mode->controlPoints().size(), 3u);
  host.keys = TModeState::MK_ALT;
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(0, 0)), 9);
  mode->OnLBtnDown(TPoint2i(75, 55));
  EXPECT_EQ(mode->controlPoints().size(), 2u);
  mode->OnMouseMove(TPoint2i(85, 25));
  mode->OnLBtnUp(TPoint2i(85, 25));
  host.keys = 0;
  ASSERT_EQ(mode->controlPoints().size(), 1u);
  EXPECT_DOUBLE_EQ(mode->controlPoints()[0][0], 2.5);

  // The wheel steps the slice plane under the cursor and redraws.
  const int redraws = host.count("redrawAll");
  TCore::getInst().state->OnMouseWheel(0, 120, TPoint2i(30, 40));
  ASSERT_EQ(host.wheelSteps.size(), 1u);
  EXPECT_EQ(host.wheelSteps[0].first, TPoint2i(30, 40));
  EXPECT_EQ(host.wheelSteps[0].second, 120);
  EXPECT_GT(host.count("redrawAll"), redraws);

  // Re-entering empties the points.
  chooser.many.push_back({true, {0, 2, 3}});
  TCore::getInst().setMode(6);
  EXPECT_TRUE(mode->controlPoints().empty());

  // A 100^3 volume in a box of 1: the radius is 0.666666 x 3 / 100.
  host.volW = host.volH = host.volD = 100;
  host.extent[0] = host.extent[1] = host.extent[2] = 1;
  chooser.many.push_back({true, {0}});
  TCore::getInst().setMode(6);
  EXPECT_DOUBLE_EQ(mode->ctrlPointRadius(), 0.666666 * (0.01 + 0.01 + 0.01));
  EXPECT_NEAR(mode->ctrlPointRadius(), 0.01999998, 1e-12);
}

TEST_F(RGrowLogic, FloodsAndThresholdsFlagVoxelsAndMoreThan100SeedsAreRefused) {
  // Region Grow 26 from a seed in the left slab: that slab and nothing else.
  shiftClick(1.5, 5.5, 5.5);
  mode->regionGrow(10.f, false);
  EXPECT_EQ(count(255), 4 * N * N);
  EXPECT_EQ(data.flag[at(3, 0, 0)], 255);
  EXPECT_EQ(data.flag[at(6, 0, 0)], 1);
  EXPECT_GE(data.flagDrops, 1);

  // Run Threshold on [50, 150] takes both slabs; a narrower gradient range takes nothing.
  mode->runThreshold(50, 150, 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(count(255), 8 * N * N);
  mode->runThreshold(50, 150, 0, 0, 0, 0, 0.6, 1);
  EXPECT_EQ(count(255), 0);

  // Region Grow 6 with a range that excludes the seed's own value still takes the seed.
  mode->regionGrow6(200, 300, 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(count(255), 1);
  EXPECT_EQ(data.flag[at(1, 5, 5)], 255);

  // 101 seeds: the Part's message and no change; 100 are accepted.
  mode->regionGrow(10.f, false);
  const std::vector<std::uint8_t> before = data.flag;
  // (The cursor rays pass far from the points already placed, so each click adds one.)
  for (int i = 0; i < 100; ++i) shiftClick(7.5, 0.5 + (i % 10), 0.5 + (i / 10) % 10, TPoint2i(5000 + 50 * i, 5000));
  ASSERT_EQ(mode->controlPoints().size(), 101u);
  const size_t shown = prompts.texts().size();
  mode->regionGrow(10.f, false);
  ASSERT_EQ(prompts.texts().size(), shown + 1);
  EXPECT_EQ(prompts.texts().back(), StateSegRGrow::kTooManySeedsMessage);
  EXPECT_EQ(data.flag, before);
  mode->controlPointsForEdit().pop_back();
  mode->regionGrow(10.f, false);
  EXPECT_EQ(prompts.texts().size(), shown + 1);
  EXPECT_EQ(count(255), 8 * N * N);

  // Clear All CPs: no points, every extracted voxel back to 1.
  mode->clearAllCtrlPoints();
  EXPECT_TRUE(mode->controlPoints().empty());
  EXPECT_EQ(count(1), N * N * N);
}

TEST_F(RGrowLogic, FinishStoresTheRegionAndRebuildsOrReleasesTheRegionsThatLostVoxels) {
  // Nothing extracted yet: refused with the message.
  mode->finish();
  EXPECT_EQ(TCore::getInst().modeId, 6);
  EXPECT_TRUE(prompts.sawText("No foreground voxels exist \n Press this button AFTER finishing segmentation"));

  shiftClick(1.5, 5.5, 5.5);
  shiftClick(7.5, 5.5, 5.5);
  mode->regionGrow(10.f, false);
  EXPECT_EQ(count(255), 8 * N * N);

  // An id in use is refused without a message; then id 5 is taken.
  chooser.one.push_back({true, 2});
  mode->finish();
  EXPECT_EQ(TCore::getInst().modeId, 6);
  chooser.one.push_back({true, 5});
  mode->finish();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(data.committed, std::vector<int>{5});
  EXPECT_EQ(data.mask[at(0, 0, 0)], 5);
  EXPECT_EQ(data.mask[at(4, 0, 0)], 2);  // region 2 keeps its column at x = 4
  EXPECT_EQ(data.mask[at(9, 3, 3)], 5);
  // Region 2 lost voxels but has some left: its surface is rebuilt.  Region 3 lost all: released.
  EXPECT_EQ(data.rebuilt, std::vector<int>{2});
  EXPECT_EQ(data.released, std::vector<int>{3});
}

TEST_F(RGrowLogic, AWorkerRunHandsItsResultBackAndRefusesOtherCommandsMeanwhile) {
  host.async = true;
  shiftClick(1.5, 5.5, 5.5);
  mode->regionGrow(10.f, false);
  EXPECT_TRUE(mode->isBusy());
  EXPECT_TRUE(panel.busy);
  EXPECT_STREQ(mode->busyMessage(), StateSegRGrow::kBusyMessage);
  EXPECT_STREQ(TCore::getInst().busyMessage(), StateSegRGrow::kBusyMessage);
  // The flags stay as they were until the result is taken back on this thread.
  EXPECT_EQ(count(255), 0);
  // Other commands are refused with the busy text meanwhile.
  mode->erosion();
  mode->finish();
  EXPECT_EQ(prompts.texts().size(), 2u);
  EXPECT_EQ(prompts.texts()[0], StateSegRGrow::kBusyMessage);
  EXPECT_EQ(TCore::getInst().modeId, 6);

  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isBusy(); }));
  EXPECT_EQ(count(255), 4 * N * N);
  EXPECT_FALSE(panel.busy);
  EXPECT_EQ(panel.busyLog, (std::vector<bool>{true, false}));
  EXPECT_EQ(mode->busyMessage(), nullptr);

  // The next command runs again.
  mode->dilation();
  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isBusy(); }));
  EXPECT_EQ(count(255), 5 * N * N);
}

namespace {

// Holds the worker at its first progress report until the test lets it go on.
class HoldingProgress : public TProgressSink {
 public:
  HoldingProgress() { t_setProgressSink(this); }
  // Lets a held worker go and waits until no report uses this sink any more.
  ~HoldingProgress() override {
    release();
    t_setProgressSink(nullptr);
  }
  void progressStart(int, int) override {}
  void progressEnd() override {}
  void progressStep(int) override {
    std::unique_lock<std::mutex> g(m_lock);
    if (m_held) return;
    m_held = true;
    m_changed.notify_all();
    m_changed.wait(g, [this] { return m_released; });
  }
  bool waitHeld() {
    std::unique_lock<std::mutex> g(m_lock);
    return m_changed.wait_for(g, std::chrono::seconds(60), [this] { return m_held; });
  }
  void release() {
    std::lock_guard<std::mutex> g(m_lock);
    m_released = true;
    m_changed.notify_all();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_held = false, m_released = false;
};

}  // namespace

// The busy rule across the program: while a flood runs, a load, a mode switch and the rewrites of
// the voxels (Flip Stack, smoothing) are refused through the core's gate, and the flood reads its
// own copy of the volume, so that even a rewrite of the live values does not reach it.
TEST_F(RGrowLogic, AFloodComputesFromItsOwnCopyWhileTheGateRefusesChanges) {
  host.async = true;
  HoldingProgress progress;
  // Two seeds, one in each slab: the worker stops between them.
  shiftClick(1.5, 5.5, 5.5);
  shiftClick(7.5, 5.5, 5.5);
  mode->regionGrow(10.f, false);
  ASSERT_TRUE(progress.waitHeld());

  TCore& core = TCore::getInst();
  EXPECT_FALSE(core.loadVolume("/nowhere/a.tif"));
  EXPECT_FALSE(core.switchMode(3));
  EXPECT_TRUE(core.refuseWhileBusy());  // what Flip Stack and the smoothing key ask first
  EXPECT_EQ(core.modeId, 6);
  EXPECT_EQ(prompts.texts(), std::vector<std::string>(3, StateSegRGrow::kBusyMessage));
  // The live values change under the running flood (the dark gap becomes bright): the second
  // seed's flood must still see the gap.
  std::fill(data.values.begin(), data.values.end(), 100.f);
  progress.release();
  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isBusy(); }));
  EXPECT_EQ(count(255), 8 * N * N);
  EXPECT_EQ(data.flag[at(5, 5, 5)], 1);
  EXPECT_TRUE(core.switchMode(3));
}

TEST_F(RGrowLogic, AVolumeAboveTheVoxelLimitIsRefusedWithTheLimit) {
  data.shownSize = 1300;  // 2,197,000,000 voxels
  const std::vector<std::uint8_t> before = data.flag;
  mode->runThreshold(0, 200, 0, 0, 0, 0, 0, 1);
  EXPECT_FALSE(mode->isBusy());
  ASSERT_FALSE(prompts.texts().empty());
  EXPECT_NE(prompts.texts().back().find("at most 2147483647 voxels"), std::string::npos) << prompts.texts().back();
  EXPECT_NE(prompts.texts().back().find("1300 x 1300 x 1300"), std::string::npos);
  EXPECT_EQ(data.flag, before);
}

namespace {

// The memory the system reports available, as a test sets it for its scope.
struct MemoryLimit {
  explicit MemoryLimit(std::int64_t bytes) { t_setAvailableMemoryForTests(bytes); }
  ~MemoryLimit() { t_setAvailableMemoryForTests(0); }
};

}  // namespace

// A job whose copies (flags, and the channels and gradient it reads) need more memory than there
// is starts nothing: the user is told and the flags stay; a job that reads less still runs.
TEST_F(RGrowLogic, AJobWhoseCopiesDoNotFitInMemoryIsRefusedAndChangesNothing) {
  const std::int64_t n = N * N * N;
  const std::int64_t threshold = n * (1 + 4 + 4);  // flags, the channel, the gradient
  const std::vector<std::uint8_t> before = data.flag;
  {
    MemoryLimit limit(threshold - 1);
    mode->runThreshold(50, 150, 0, 0, 0, 0, 0, 1);
    EXPECT_FALSE(mode->isBusy());
    ASSERT_EQ(prompts.texts().size(), 1u);
    EXPECT_NE(prompts.texts()[0].find("Not enough memory"), std::string::npos) << prompts.texts()[0];
    EXPECT_EQ(data.flag, before);
    // Region Grow 26 reads no gradient: it fits.
    shiftClick(1.5, 5.5, 5.5);
    mode->regionGrow(10.f, false);
    EXPECT_EQ(prompts.texts().size(), 1u);
    EXPECT_EQ(count(255), 4 * N * N);
  }
  MemoryLimit limit(threshold);
  mode->runThreshold(50, 150, 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(count(255), 8 * N * N);
}

// The kernel's own scratch counts too: Region Grow Shape copies the flags and the channel and
// grows in three byte volumes of its own, so memory that holds the copies but not those is refused.
TEST_F(RGrowLogic, AJobWhoseKernelScratchDoesNotFitInMemoryIsRefusedAndChangesNothing) {
  const std::int64_t n = N * N * N;
  const std::int64_t copies = n * (1 + 4), scratch = 3 * n;
  shiftClick(1.5, 5.5, 5.5);
  const std::vector<std::uint8_t> before = data.flag;
  {
    MemoryLimit limit(copies + scratch - 1);
    mode->regionGrowShape(10.f, 1);
    EXPECT_FALSE(mode->isBusy());
    ASSERT_EQ(prompts.texts().size(), 1u);
    EXPECT_NE(prompts.texts()[0].find("Not enough memory"), std::string::npos) << prompts.texts()[0];
    EXPECT_EQ(data.flag, before);
  }
  MemoryLimit limit(copies + scratch);
  mode->regionGrowShape(10.f, 1);
  EXPECT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(count(255), 4 * N * N);
}

TEST_F(RGrowLogic, CutStrokesShorterThanTheSurfaceMinimumClearTheSurfaceAndSaySo) {
  for (int points : {4, 5, 6}) {
    host.keys = TModeState::MK_CONTROL;
    mode->OnLBtnDown(TPoint2i(0, 0));
    EXPECT_TRUE(mode->isDrawingStroke());
    for (int i = 1; i < points; ++i) mode->OnMouseMove(TPoint2i(i, i));
    EXPECT_EQ(int(mode->cutStroke().size()), points);
    mode->OnLBtnUp(TPoint2i(points, points));
    host.keys = 0;
  }
  EXPECT_EQ(host.cleared, 2);
  EXPECT_EQ(host.generated, 1);
  ASSERT_EQ(host.statusTexts.size(), 2u);
  // The status bar says how many points the stroke had and how many a surface needs.
  EXPECT_NE(host.statusTexts[0].find(" 4 points"), std::string::npos) << host.statusTexts[0];
  EXPECT_NE(host.statusTexts[1].find(" 5 points"), std::string::npos) << host.statusTexts[1];
  EXPECT_NE(host.statusTexts[1].find("at least 6"), std::string::npos);
  // Re-entering keeps the stroke.
  chooser.many.push_back({true, {0}});
  TCore::getInst().setMode(6);
  EXPECT_EQ(mode->cutStroke().size(), 6u);
}

TEST_F(RGrowLogic, ControlPointFilesRoundTripAndFailuresAreReported) {
  shiftClick(1.5, 5.5, 5.5);
  shiftClick(7.25, 2.5, 9.75);
  const std::string path = "/tmp/kestrin_rgrow_cps_" + std::to_string(getpid()) + ".txt";
  ASSERT_TRUE(mode->exportControlPoints(path));
  ASSERT_TRUE(mode->importControlPoints(path));
  std::remove(path.c_str());
  ASSERT_EQ(mode->controlPoints().size(), 4u);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(mode->controlPoints()[i + 2][k], mode->controlPoints()[i][k], 1e-6);
  EXPECT_TRUE(prompts.texts().empty());

  EXPECT_FALSE(mode->exportControlPoints("/nonexistent-folder/cps.txt"));
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_NE(prompts.texts()[0].find("could not be written"), std::string::npos);
  EXPECT_FALSE(mode->importControlPoints("/nonexistent-folder/cps.txt"));
  EXPECT_EQ(prompts.texts().size(), 2u);
  EXPECT_EQ(mode->controlPoints().size(), 4u);
}
