// The seeded-region-growing mode (7) driven headless: groups and their palette, seeds added,
// moved and erased by Shift drags, the run labelling the whole volume and showing the group
// means, "Finish" writing group k as region k (and releasing the regions left without voxels),
// the seed file through keys '1' and '2', the cut stroke, and the run on a worker with progress,
// refusals meanwhile and a switch that drops it.  The panel, the view, the display and the volume
// are fakes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/WinLvModel.h"
#include "modes/region/StateSegSRG.h"
#include "platform/Progress.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

namespace {

class FakeSrgPanel : public TDlgSegSRGIf {
 public:
  bool visible = false, busy = false, visSurf = true, visCPs = true;
  int refills = 0;
  std::vector<bool> busyLog;
  std::vector<int> seedCounts;  // the "N--Cp:n" counts as the list was last filled
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateGroupList() override {
    ++refills;
    seedCounts.clear();
    for (const TSrgGroup& g : StateSegSRG::getInst()->groups()) seedCounts.push_back(int(g.seeds.size()));
  }
  bool isVisSurfChecked() const override { return visSurf; }
  bool isVisCPsChecked() const override { return visCPs; }
  void setBusy(bool b) override {
    busy = b;
    busyLog.push_back(b);
  }
};

class FakeDisplay : public TSrgDisplay {
 public:
  std::size_t voxels = 0;
  std::vector<std::uint8_t> shown;
  int restores = 0;
  std::map<int, std::uint32_t> colors;
  bool showChannel1(const std::vector<std::uint8_t>& bytes) override {
    if (bytes.size() != voxels) return false;
    shown = bytes;
    return true;
  }
  void restoreChannel1() override {
    ++restores;
    shown.clear();
  }
  void setRegionColor(int id, std::uint32_t rgb) override { colors[id] = rgb; }
};

// Records the progress calls, from any thread, in the order they take effect ("S", "P", "E").
// With `holdWorkerStep` the first step called from another thread than the test's waits until
// `releaseWorker`: the status bar applies such a step when the interface thread gets to it.
class ProgressLog : public TProgressSink {
 public:
  std::mutex lock;
  std::condition_variable cv;
  int starts = 0, steps = 0, ends = 0;
  std::vector<std::string> order;
  std::thread::id testThread = std::this_thread::get_id();
  bool holdWorkerStep = false, workerStepHeld = false, released = false;
  void progressStart(int, int) override {
    std::lock_guard<std::mutex> g(lock);
    ++starts;
    order.push_back("S");
  }
  void progressStep(int) override {
    std::unique_lock<std::mutex> g(lock);
    if (holdWorkerStep && std::this_thread::get_id() != testThread) {
      holdWorkerStep = false;
      workerStepHeld = true;
      cv.notify_all();
      cv.wait_for(g, std::chrono::seconds(20), [this] { return released; });
    }
    ++steps;
    order.push_back("P");
  }
  void progressEnd() override {
    std::lock_guard<std::mutex> g(lock);
    ++ends;
    order.push_back("E");
  }
  void releaseWorker() {
    std::lock_guard<std::mutex> g(lock);
    released = true;
    cv.notify_all();
  }
};

// An n^3 volume in a box of n (one unit per voxel): dark (20) for x < n / 2, bright (180) beyond;
// the mask holds region 7 on the plane x = 0 and region 2 on the plane x = n - 1.
class VolumeData : public FakeRegionData {
 public:
  int n = 0;
  std::vector<float> values;
  std::vector<int> released;
  int shownSize = 0;  // the size volumeValues reports, when not 0
  void build(int size) {
    n = size;
    const std::size_t N = static_cast<std::size_t>(n) * n * n;
    values.assign(N, 0.f);
    mask.assign(N, 0);
    flag.assign(N, 0);
    for (int z = 0; z < n; ++z)
      for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
          const std::size_t i = x + static_cast<std::size_t>(n) * (y + static_cast<std::size_t>(n) * z);
          values[i] = x < n / 2 ? 20.f : 180.f;
          if (x == 0) mask[i] = 7;
          if (x == n - 1) mask[i] = 2;
        }
    for (bool& u : used) u = false;
    used[2] = used[7] = true;
  }
  void commitRegion(int id) override {
    FakeRegionData::commitRegion(id);
    used[id] = true;
  }
  void releaseRegion(int id) override {
    released.push_back(id);
    used[id] = false;
  }
  bool volumeValues(VolumeValues& v) override {
    v.W = v.H = v.D = shownSize ? shownSize : n;
    v.channels = 1;
    v.ch[0] = values.data();
    return true;
  }
};

using SrgHost = PointingViewHost;

class SrgLogic : public ::testing::Test {
 protected:
  FakeMode vis{"vis"};
  VolumeData data;
  ScriptedChooser chooser;
  SrgHost host;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  FakeSrgPanel panel;
  FakeDisplay display;
  ProgressLog progress;
  StateSegSRG* mode = StateSegSRG::getInst();

  void SetUp() override { enter(10); }
  void enter(int n) {
    scope.reset();
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry v;
    v.name = "vis";
    v.ids = {0, 1, 2, 3, 4};
    v.mode = [this]() -> TModeState* { return &vis; };
    reg.add(v);
    TModeEntry e;
    e.name = "StateSegSRG";
    e.ids = {7};
    e.mode = []() -> TModeState* { return StateSegSRG::getInst(); };
    reg.add(e);
    mode->attachPanel(&panel);
    StateSegSRG::setDisplay(&display);
    t_setProgressSink(&progress);
    TCore::setWiring(TCoreWiring());
    data.build(n);
    display.voxels = data.mask.size();
    host.volW = host.volH = host.volD = n;
    host.extent[0] = host.extent[1] = host.extent[2] = n;
    const double lo[3] = {0, 0, 0}, hi[3] = {200, 200, 200};
    TWinLvModel::getInst().setValues(lo, hi);
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
    chooser.many.push_back({true, {0, 2, 7}});
    TCore::getInst().setMode(7);
    ASSERT_EQ(TCore::getInst().modeId, 7);
  }
  void TearDown() override {
    mode->stopWorkers();
    TCore::getInst().setMode(0);
    mode->attachPanel(nullptr);
    StateSegSRG::setDisplay(nullptr);
    t_setProgressSink(nullptr);
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
  }
  // A Shift + left drag over the box points pts (the press at the first).
  void shiftDrag(const std::vector<TVec3>& pts) {
    host.keys = TModeState::MK_SHIFT;
    for (std::size_t i = 0; i < pts.size(); ++i) {
      for (int k = 0; k < 3; ++k) host.pick[k] = pts[i][k];
      const TPoint2i p(int(pts[i][0] * 10), int(pts[i][1] * 10));
      if (i == 0)
        mode->OnLBtnDown(p);
      else
        mode->OnMouseMove(p);
    }
    mode->OnLBtnUp(TPoint2i(0, 0));
    host.keys = 0;
  }
  std::size_t index(int x, int y, int z) const { return x + std::size_t(data.n) * (y + std::size_t(data.n) * z); }
};

std::uint32_t paletteRow(int row) {
  double c[3];
  StateSegSRG::paletteColor(row, c);
  return StateSegSRG::packColor(c);
}

}  // namespace

TEST_F(SrgLogic, GroupsTakeThePaletteAndShiftDragsPlaceMoveAndEraseSeeds) {
  // Entry: three empty groups of palette rows 1, 2, 3, the third selected; flags from the targets.
  ASSERT_EQ(mode->groups().size(), 3u);
  for (int g = 0; g < 3; ++g) EXPECT_EQ(StateSegSRG::packColor(mode->groups()[g].color), paletteRow(g + 1));
  EXPECT_EQ(paletteRow(1), 255u | 192u << 8 | 203u << 16);
  EXPECT_EQ(mode->selectedGroup(), 2);
  EXPECT_TRUE(panel.visible);
  EXPECT_DOUBLE_EQ(mode->seedRadius(), 2.0);  // one unit per voxel
  EXPECT_EQ(data.flag[index(0, 0, 0)], 1);
  // The rendering panel: slice controls on, only the YZ plane shown.
  ASSERT_FALSE(host.panelModes.empty());
  EXPECT_EQ(host.panelModes.back(), "3P010-");

  // The press adds nothing; the drag adds points more than 5 seed radii (10) from the last one.
  shiftDrag({TVec3(1, 1, 1)});
  EXPECT_TRUE(mode->groups()[2].seeds.empty());
  mode->selectGroup(0);
  shiftDrag({TVec3(1, 1, 1), TVec3(1, 2, 1), TVec3(8, 9, 1), TVec3(9, 9, 9), TVec3(9, 9, 1)});
  ASSERT_EQ(mode->groups()[0].seeds.size(), 2u);
  EXPECT_EQ(mode->groups()[0].seeds[0], TVec3(1, 2, 1));
  EXPECT_EQ(mode->groups()[0].seeds[1], TVec3(9, 9, 9));
  EXPECT_TRUE(mode->groups()[2].seeds.empty());
  // The list's "N--Cp:n" counts follow the seeds the mouse added.
  EXPECT_EQ(panel.seedCounts, (std::vector<int>{2, 0, 0}));

  // Shift + press on a seed moves it (cursor 8 over it, 5 elsewhere); Shift + right erases.
  host.keys = TModeState::MK_SHIFT;
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(10, 20)), 8);
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(50, 50)), 5);
  host.pick[0] = 3, host.pick[1] = 3, host.pick[2] = 3;
  mode->OnLBtnDown(TPoint2i(10, 20));
  EXPECT_EQ(mode->pickedSeed(), 0);
  mode->OnMouseMove(TPoint2i(30, 30));
  mode->OnLBtnUp(TPoint2i(30, 30));
  EXPECT_EQ(mode->groups()[0].seeds[0], TVec3(3, 3, 3));
  EXPECT_EQ(mode->groups()[0].seeds.size(), 2u);
  mode->OnRBtnDown(TPoint2i(90, 90));
  mode->OnRBtnUp(TPoint2i(90, 90));
  host.keys = 0;
  ASSERT_EQ(mode->groups()[0].seeds.size(), 1u);
  EXPECT_EQ(mode->groups()[0].seeds[0], TVec3(3, 3, 3));
  EXPECT_EQ(panel.seedCounts, (std::vector<int>{1, 0, 0}));

  // Twelve more groups: the fifteenth takes row 0.  The 255th is refused with the message.
  for (int i = 0; i < 12; ++i) mode->addNewGroup();
  EXPECT_EQ(StateSegSRG::packColor(mode->groups()[14].color), paletteRow(0));
  while (mode->groups().size() < 254u) mode->addNewGroup();
  EXPECT_TRUE(prompts.texts().empty());
  mode->addNewGroup();
  EXPECT_EQ(mode->groups().size(), 254u);
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(prompts.texts()[0], StateSegSRG::kGroupLimitMessage);

  // Deleting the selected group selects the last one.
  mode->selectGroup(5);
  mode->deleteSelectedGroup();
  EXPECT_EQ(mode->groups().size(), 253u);
  EXPECT_EQ(mode->selectedGroup(), 252);

  // Cut strokes: below the surface generator's minimum of points the old surface is cleared.
  for (int points : {4, 5, 6}) {
    host.keys = TModeState::MK_CONTROL;
    mode->OnLBtnDown(TPoint2i(0, 0));
    for (int i = 1; i < points; ++i) mode->OnMouseMove(TPoint2i(i, i));
    EXPECT_EQ(int(mode->cutStroke().size()), points);
    mode->OnLBtnUp(TPoint2i(points, points));
  }
  host.keys = 0;
  EXPECT_EQ(host.cleared, 2);
  EXPECT_EQ(host.generated, 1);
}

TEST_F(SrgLogic, ARunLabelsEveryVoxelShowsTheMeansAndFinishWritesGroupKAsRegionK) {
  const std::vector<std::uint8_t> maskBefore = data.mask;
  // Finish before any run: nothing to store, the mask stays, the mode stays.
  mode->finishSegmentation();
  EXPECT_EQ(prompts.texts().back(), StateSegSRG::kNoResultMessage);
  EXPECT_EQ(data.mask, maskBefore);
  EXPECT_EQ(TCore::getInst().modeId, 7);

  // Seeds of two groups, all outside the volume: refused as too few groups, nothing shown.
  mode->groupsForEdit()[0].seeds = {TVec3(-1, 5, 5)};
  mode->groupsForEdit()[1].seeds = {TVec3(5, 5, 11), TVec3(50, 5, 5)};
  mode->runSRG();
  EXPECT_EQ(prompts.texts().back(), "複数の制御点が必要です");
  EXPECT_TRUE(mode->result().empty());
  EXPECT_FALSE(mode->isShowingMeans());

  // Group 0 in the dark half, group 1 in the bright half, group 2 without seeds.
  mode->groupsForEdit()[0].seeds.push_back(TVec3(2.5, 5.5, 5.5));
  mode->groupsForEdit()[1].seeds.push_back(TVec3(7.5, 5.5, 5.5));
  mode->runSRG();
  ASSERT_EQ(mode->result().size(), data.mask.size());
  for (int z = 0; z < 10; ++z)
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) ASSERT_EQ(mode->result()[index(x, y, z)], x < 5 ? 1 : 2) << x << y << z;
  EXPECT_DOUBLE_EQ(mode->groups()[0].mean, 20.0);
  EXPECT_DOUBLE_EQ(mode->groups()[1].mean, 180.0);
  EXPECT_EQ(mode->groups()[0].count, 500);
  // The display shows each group's mean through the window level [0, 200]; a surface for the
  // second group only.
  ASSERT_TRUE(mode->isShowingMeans());
  EXPECT_EQ(display.shown[index(0, 0, 0)], 25);   // 255 x 20 / 200
  EXPECT_EQ(display.shown[index(9, 9, 9)], 229);  // 255 x 180 / 200
  EXPECT_EQ(mode->groups()[0].surface.polyCount, 0);
  EXPECT_GT(mode->groups()[1].surface.polyCount, 0);
  EXPECT_EQ(mode->groups()[2].surface.polyCount, 0);

  // A window of no width shows 0, and the display shown before is not restored in between.
  const double flat[3] = {100, 100, 100};
  TWinLvModel::getInst().setValues(flat, flat);
  mode->runSRG();
  EXPECT_EQ(display.shown, std::vector<std::uint8_t>(data.mask.size(), 0));

  // Finish, cancelled at the question: nothing changes.
  prompts.answers.push_back(PromptAnswer::Cancel);
  mode->finishSegmentation();
  EXPECT_EQ(data.mask, maskBefore);
  EXPECT_EQ(TCore::getInst().modeId, 7);

  // Finish: the whole mask is the result, regions 1 and 2 take the group colours, region 7 (no
  // voxels left) is released, group 3 (no voxels) takes no region, the intensities are shown again.
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(data.mask[index(x, 3, 4)], x < 5 ? 1 : 2);
  EXPECT_EQ(data.committed, (std::vector<int>{1, 2}));
  EXPECT_EQ(display.colors.size(), 2u);
  EXPECT_EQ(display.colors[1], paletteRow(1));
  EXPECT_EQ(display.colors[2], paletteRow(2));
  EXPECT_EQ(data.released, std::vector<int>{7});
  EXPECT_FALSE(data.used[3]);
  EXPECT_FALSE(mode->isShowingMeans());
  EXPECT_EQ(display.restores, 1);
  EXPECT_TRUE(display.shown.empty());
  EXPECT_TRUE(mode->result().empty());
}

TEST_F(SrgLogic, SeedFilesRoundTripThroughTheKeysAndALoadClampsTheSelection) {
  char dir[] = "/tmp/kestrin_srg_logicXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir), 0);

  for (int i = 0; i < 2; ++i) mode->addNewGroup();
  mode->groupsForEdit()[0].seeds = {TVec3(1.25, 2.5, 3.125)};
  mode->groupsForEdit()[3].seeds = {TVec3(9.1234567, 0.5, 0.25), TVec3(4, 4, 4)};
  const std::vector<TSrgGroup> written = mode->groups();
  mode->OnKeyDown('1', 1, 0);
  EXPECT_TRUE(prompts.texts().empty());

  // A file of fewer groups than the selected index: the load keeps the selection to what exists
  // and drops the picked seed.
  mode->selectGroup(4);
  host.keys = TModeState::MK_SHIFT;
  host.pick[0] = 2, host.pick[1] = 2, host.pick[2] = 2;
  mode->OnLBtnDown(TPoint2i(20, 20));
  mode->OnMouseMove(TPoint2i(20, 20));
  mode->OnLBtnUp(TPoint2i(20, 20));
  mode->OnLBtnDown(TPoint2i(20, 20));  // picks that seed
  mode->OnLBtnUp(TPoint2i(20, 20));
  host.keys = 0;
  EXPECT_EQ(mode->pickedSeed(), 0);
  {
    FILE* f = std::fopen("two.txt", "w");
    std::fputs("groupNum 2\ngroup 0 seedNum 0\ncolor 1 0 0\ngroup 1 seedNum 1\ncolor 0 1 0\n2 2 2\n", f);
    std::fclose(f);
  }
  prompts.openResults.push_back({std::string(dir) + "/two.txt"});
  mode->OnKeyDown('2', 1, 0);
  EXPECT_EQ(mode->groups().size(), 2u);
  EXPECT_EQ(mode->selectedGroup(), 1);
  EXPECT_EQ(mode->pickedSeed(), -1);

  // Key '2' reads back what key '1' wrote: colours and seeds within "%f".
  prompts.openResults.push_back({std::string(dir) + "/" + StateSegSRG::kSeedFileName});
  mode->OnKeyDown('2', 1, 0);
  ASSERT_EQ(mode->groups().size(), written.size());
  for (std::size_t g = 0; g < written.size(); ++g) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(mode->groups()[g].color[c], written[g].color[c], 1e-6);
    ASSERT_EQ(mode->groups()[g].seeds.size(), written[g].seeds.size());
    for (std::size_t s = 0; s < written[g].seeds.size(); ++s)
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(mode->groups()[g].seeds[s][k], written[g].seeds[s][k], 1e-6);
  }
  EXPECT_TRUE(prompts.texts().empty());

  // A malformed file is refused with a message and leaves the groups.
  {
    FILE* f = std::fopen("bad.txt", "w");
    std::fputs("groupNum 2\ngroup 0 seedNum 1\ncolor 1 0 0\n1 2\n", f);
    std::fclose(f);
  }
  prompts.openResults.push_back({std::string(dir) + "/bad.txt"});
  mode->OnKeyDown('2', 1, 0);
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(mode->groups().size(), written.size());

  // Key '1' that cannot create the file says so.
  std::remove(StateSegSRG::kSeedFileName);
  ASSERT_EQ(mkdir(StateSegSRG::kSeedFileName, 0700), 0);
  mode->OnKeyDown('1', 1, 0);
  ASSERT_EQ(prompts.texts().size(), 2u);
  EXPECT_NE(prompts.texts()[1].find(StateSegSRG::kSeedFileName), std::string::npos);

  ASSERT_EQ(chdir(cwd), 0);
  std::system((std::string("rm -rf ") + dir).c_str());
}

TEST_F(SrgLogic, AWorkerRunShowsProgressRefusesOtherCommandsAndASwitchDropsIt) {
  enter(48);
  host.async = true;
  mode->groupsForEdit()[0].seeds = {TVec3(5.5, 20.5, 20.5)};
  mode->groupsForEdit()[1].seeds = {TVec3(40.5, 20.5, 20.5)};
  const std::size_t shownBefore = prompts.texts().size();
  mode->runSRG();
  ASSERT_TRUE(mode->isBusy());
  EXPECT_TRUE(panel.busy);
  EXPECT_STREQ(TCore::getInst().busyMessage(), StateSegSRG::kBusyMessage);
  // Meanwhile: no group added, no Finish, no seed file read; the user is told each time.
  mode->addNewGroup();
  mode->finishSegmentation();
  mode->OnKeyDown('2', 1, 0);
  EXPECT_EQ(mode->groups().size(), 3u);
  EXPECT_EQ(TCore::getInst().modeId, 7);
  ASSERT_EQ(prompts.texts().size(), shownBefore + 3);
  for (std::size_t i = shownBefore; i < prompts.texts().size(); ++i)
    EXPECT_EQ(prompts.texts()[i], StateSegSRG::kBusyMessage);
  EXPECT_TRUE(mode->result().empty());

  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isBusy(); }));
  EXPECT_FALSE(panel.busy);
  ASSERT_EQ(mode->result().size(), data.mask.size());
  EXPECT_EQ(mode->result()[index(0, 0, 0)], 1);
  EXPECT_EQ(mode->result()[index(47, 47, 47)], 2);
  EXPECT_TRUE(mode->isShowingMeans());
  {
    std::lock_guard<std::mutex> g(progress.lock);
    EXPECT_EQ(progress.starts, 1);
    EXPECT_GE(progress.steps, 5);
    EXPECT_EQ(progress.ends, 1);
  }

  // A second run, left by a mode switch before it ends: its result is never taken, the means
  // are no longer shown, and the mode is idle again.
  mode->runSRG();
  ASSERT_TRUE(mode->isBusy());
  TCore::getInst().setMode(3);
  EXPECT_FALSE(mode->isBusy());
  EXPECT_FALSE(mode->isShowingMeans());
  EXPECT_GE(display.restores, 1);
  mode->stopWorkers();
  ASSERT_TRUE(host.pumpUntil([&] {
    std::lock_guard<std::mutex> g(host.lock);
    return host.posted.empty();
  }));
  EXPECT_TRUE(mode->result().empty());
  EXPECT_FALSE(mode->isShowingMeans());
  EXPECT_EQ(panel.busyLog, (std::vector<bool>{true, false, true, false}));
}

TEST_F(SrgLogic, AVolumeAboveTheVoxelLimitIsRefusedWithTheLimit) {
  mode->groupsForEdit()[0].seeds = {TVec3(1.5, 1.5, 1.5)};
  mode->groupsForEdit()[1].seeds = {TVec3(8.5, 8.5, 8.5)};
  data.shownSize = 1700;  // 4,913,000,000 voxels
  mode->runSRG();
  EXPECT_FALSE(mode->isBusy());
  EXPECT_TRUE(mode->result().empty());
  ASSERT_FALSE(prompts.texts().empty());
  EXPECT_NE(prompts.texts().back().find("at most 4294967295 voxels"), std::string::npos) << prompts.texts().back();
  EXPECT_NE(prompts.texts().back().find("1700 x 1700 x 1700"), std::string::npos);
}

TEST_F(SrgLogic, ARunStoppedByASwitchMovesTheBarNoMoreAfterItsEnd) {
  enter(48);
  host.async = true;
  mode->groupsForEdit()[0].seeds = {TVec3(5.5, 20.5, 20.5)};
  mode->groupsForEdit()[1].seeds = {TVec3(40.5, 20.5, 20.5)};
  {
    std::lock_guard<std::mutex> g(progress.lock);
    progress.holdWorkerStep = true;
  }
  mode->runSRG();
  ASSERT_TRUE(mode->isBusy());
  // Once the run has reported (the step under way, or posted to the interface thread), a switch
  // stops it and ends the bar.
  const auto reported = [&] {
    {
      std::lock_guard<std::mutex> g(progress.lock);
      if (progress.workerStepHeld) return true;
    }
    std::lock_guard<std::mutex> g(host.lock);
    return host.posted.size() >= 2;  // the first is the mode's check for an interface thread
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!reported() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(reported());
  TCore::getInst().setMode(3);
  EXPECT_FALSE(mode->isBusy());
  progress.releaseWorker();
  mode->stopWorkers();
  while (host.drain() > 0) {
  }
  std::lock_guard<std::mutex> g(progress.lock);
  ASSERT_FALSE(progress.order.empty());
  EXPECT_EQ(progress.order.back(), "E") << "the bar moved after it was ended";
  EXPECT_EQ(progress.ends, 1);
}
