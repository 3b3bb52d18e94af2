// The graph-cut mode (8) driven headless: the watershed pre-segmentation on a worker whose result
// comes back through the posted queue (the busy text refusing the commands and the loads
// meanwhile), reuse on re-entry and the cache file on a restart, results of a replaced computation
// dropped, foreground and background points placed by Shift drags, the region-level and
// voxel-level cuts cutting a noisy sphere out, "Finish", the cut stroke, and the control-point
// files of the research keys.  The panel, the view and the volume are fakes; this test also runs
// in the ThreadSanitizer build (tests/modes/tsan_gcut.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/kernels/gcut_cache.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

namespace {

constexpr int N = 16;  // a 16^3 volume in a box of 16: one unit per voxel
int at(int x, int y, int z) { return x + N * (y + N * z); }
bool inSphere(int x, int y, int z) {
  const double dx = x + 0.5 - 8, dy = y + 0.5 - 8, dz = z + 0.5 - 8;
  return dx * dx + dy * dy + dz * dz <= 25.0;
}

class FakeGCutPanel : public TDlgSegGCutIf {
 public:
  bool visible = false, showAll = true;
  int updates = 0, slider = 1000, seam = 1;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateControls() override {
    ++updates;
    visible = true;
    slider = 1000;
    seam = 1;
    showAll = true;
  }
  int sliderPosition() const override { return slider; }
  int seamWidth() const override { return seam; }
  bool isShowAllChecked() const override { return showAll; }
};

// A bright noisy sphere (about 200) of radius 5 in a dark noisy volume (about 50); values and
// their central-difference gradient magnitude.  Every voxel is in region 1.
class SphereData : public FakeRegionData {
 public:
  std::vector<float> values, gradient;
  int size = N;
  SphereData() {
    values.assign(N * N * N, 0.f);
    gradient.assign(N * N * N, 0.f);
    mask.assign(N * N * N, 1);
    flag.assign(N * N * N, 9);
    unsigned seed = 12345;
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          seed = seed * 1103515245u + 12345u;
          const float noise = ((seed >> 16) % 1000) / 1000.0f * 30.0f - 15.0f;
          values[at(x, y, z)] = (inSphere(x, y, z) ? 200.0f : 50.0f) + noise;
        }
    auto v = [&](int x, int y, int z) {
      x = std::min(std::max(x, 0), N - 1), y = std::min(std::max(y, 0), N - 1), z = std::min(std::max(z, 0), N - 1);
      return values[at(x, y, z)];
    };
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          const float gx = v(x + 1, y, z) - v(x - 1, y, z), gy = v(x, y + 1, z) - v(x, y - 1, z),
                      gz = v(x, y, z + 1) - v(x, y, z - 1);
          gradient[at(x, y, z)] = 0.5f * std::sqrt(gx * gx + gy * gy + gz * gz);
        }
    // The loaded volume's gradient is normalised to its largest magnitude.
    float gmax = 0;
    for (float g : gradient) gmax = std::max(gmax, g);
    for (float& g : gradient) g /= gmax;
    used[1] = true;
  }
  void commitRegion(int id) override {
    FakeRegionData::commitRegion(id);
    used[id] = true;
  }
  // size != N: another volume was loaded (no values of that size here, only the voxel count).
  std::size_t maskVoxelCount() override { return size == N ? mask.size() : std::size_t(size) * size * size; }
  bool volumeValues(VolumeValues& out) override {
    if (size != N) return false;
    out.W = out.H = out.D = N;
    out.channels = 1;
    out.ch[0] = values.data();
    out.gradient = gradient.data();
    out.rangeLo[0] = 0;
    out.rangeHi[0] = 215;
    return true;
  }
};

using GCutHost = PointingViewHost;

class GCutLogic : public ::testing::Test {
 protected:
  FakeMode vis{"vis"};
  SphereData data;
  ScriptedChooser chooser;
  GCutHost host;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  FakeGCutPanel panel;
  StateSegGCut* mode = t_buildStateSegGCut();
  std::string dir, volumePath;

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
    e.name = "StateSegGCut";
    e.ids = {8};
    e.mode = []() -> TModeState* { return t_buildStateSegGCut(); };
    reg.add(e);
    mode->attachPanel(&panel);
    TCore::setWiring(TCoreWiring());
    host.volW = host.volH = host.volD = N;
    for (double& x : host.extent) x = N;
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
    char tmpl[] = "/tmp/gcut_logic_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    volumePath = dir + "/sphere.tif";
    StateSegGCut::setVolumePathHook([this] { return volumePath; });
    mode->resetForNewVolume();
  }
  void TearDown() override {
    mode->stopWorkers();
    TCore::getInst().setMode(0);
    mode->resetForNewVolume();
    mode->attachPanel(nullptr);
    StateSegGCut::setVolumePathHook({});
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
    std::remove(t_precompFilePath(volumePath).c_str());
    std::remove((dir + "/cps.txt").c_str());
    rmdir(dir.c_str());
  }
  void enter() {
    chooser.many.push_back({true, {1}});
    TCore::getInst().setMode(8);
  }
  // A Shift drag with the left (foreground) or right (background) button over the picked point
  // (x, y, z), far from the cursor ray of any point.
  void shiftDrag(bool left, double x, double y, double z) {
    const TPoint2i p(5000, 5000);
    host.keys = TModeState::MK_SHIFT;
    host.pick[0] = x, host.pick[1] = y, host.pick[2] = z;
    if (left) mode->OnLBtnDown(p); else mode->OnRBtnDown(p);
    mode->OnMouseMove(p);
    host.pick[0] = x + 0.5;  // closer than twice the radius: no second point
    mode->OnMouseMove(p);
    if (left) mode->OnLBtnUp(p); else mode->OnRBtnUp(p);
    host.keys = 0;
  }
  int busyShown() const {
    int n = 0;
    for (const std::string& t : prompts.texts()) n += t == StateSegGCut::kBusyMessage;
    return n;
  }
};

}  // namespace

TEST_F(GCutLogic, TheWorkerComputesTheWatershedWhileCommandsAreRefusedAndTheCutsCutTheSphereOut) {
  host.async = true;
  enter();
  ASSERT_EQ(TCore::getInst().modeId, 8);
  EXPECT_TRUE(panel.visible);
  EXPECT_EQ(panel.updates, 1);
  EXPECT_NEAR(mode->ctrlPointRadius(), 0.66666 * 3, 1e-12);
  EXPECT_DOUBLE_EQ(host.slices[2], 0.2);
  EXPECT_GE(host.count("hidePanes"), 1);
  for (std::uint8_t f : data.flag) ASSERT_EQ(f, 1);

  // While the worker runs (its result is not taken back until the queue is pumped) every command
  // that reads the pre-segmentation, and a load of the main frame, meets the busy text.
  ASSERT_TRUE(mode->isPrecomputing());
  EXPECT_STREQ(TCore::getInst().busyMessage(), StateSegGCut::kBusyMessage);
  mode->runGraphCut(1000);
  mode->runGraphCutVoxelLevel(1000, 1);
  mode->erodeRegion();
  mode->dilateRegion();
  mode->finish();
  mode->cancelSegmentation();
  EXPECT_EQ(busyShown(), 6);
  EXPECT_EQ(TCore::getInst().modeId, 8);
  for (std::uint8_t f : data.flag) ASSERT_EQ(f, 1);

  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isPrecomputing(); }));
  ASSERT_TRUE(mode->isPrecomputeReady());
  EXPECT_EQ(TCore::getInst().busyMessage(), nullptr);
  EXPECT_EQ(mode->precomp().labels.size(), std::size_t(N * N * N));
  for (const TGCutRegion& r : mode->precomp().regions) EXPECT_EQ(r.inTarget, 1);
  // The cache file beside the volume, of the size taken when the worker started.
  EXPECT_TRUE(t_precompFileMatches(t_precompFilePath(volumePath), N, N, N));

  // One foreground stroke inside the sphere, one background stroke outside.
  shiftDrag(true, 8.5, 8.5, 8.5);
  shiftDrag(false, 1.5, 1.5, 1.5);
  ASSERT_EQ(mode->controlPoints().size(), 2u);
  EXPECT_EQ(mode->controlPoints()[0].fore, 1);
  EXPECT_EQ(mode->controlPoints()[1].fore, 0);

  auto score = [&](int& inside, int& outside) {
    inside = outside = 0;
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          const std::uint8_t f = data.flag[at(x, y, z)];
          ASSERT_TRUE(f == 1 || f == 255);
          if (f == 255) (inSphere(x, y, z) ? inside : outside)++;
        }
  };
  int sphere = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) sphere += inSphere(x, y, z);
  int inside = 0, outside = 0;
  mode->runGraphCut(panel.slider);
  score(inside, outside);
  EXPECT_GE(inside, sphere * 9 / 10);
  EXPECT_LE(outside, sphere / 10);
  mode->runGraphCutVoxelLevel(panel.slider, panel.seam);
  score(inside, outside);
  EXPECT_GE(inside, sphere * 9 / 10);
  EXPECT_LE(outside, sphere / 10);

  // Erode then dilate keeps eligible voxels eligible and builds the region's surface.
  mode->erodeRegion();
  int afterErode = 0;
  for (std::uint8_t f : data.flag) afterErode += f == 255;
  EXPECT_LT(afterErode, inside + outside);
  EXPECT_GT(mode->regionSurface().polyCount, 0);
  mode->dilateRegion();

  // "Finish" stores the object under the chosen id and returns to mode 3.
  chooser.one.push_back({true, 5});
  mode->finish();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  ASSERT_EQ(data.committed, std::vector<int>{5});
  int stored = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) stored += data.mask[at(x, y, z)] == 5 && inSphere(x, y, z);
  EXPECT_GE(stored, sphere * 8 / 10);

  // Re-entry reuses the result without a question and without a worker.
  const std::size_t asked = prompts.shown.size();
  enter();
  EXPECT_EQ(TCore::getInst().modeId, 8);
  EXPECT_FALSE(mode->isPrecomputing());
  EXPECT_TRUE(mode->isPrecomputeReady());
  EXPECT_EQ(prompts.shown.size(), asked);
  EXPECT_TRUE(mode->controlPoints().empty());

  // A new volume forgets it; the next entry offers the cache, and Yes reads it at once.
  TCore::getInst().setMode(3);
  mode->resetForNewVolume();
  EXPECT_FALSE(mode->isPrecomputeReady());
  prompts.answers.push_back(PromptAnswer::Yes);
  enter();
  EXPECT_TRUE(prompts.sawText(StateSegGCut::kUseCacheQuestion));
  EXPECT_FALSE(mode->isPrecomputing());
  EXPECT_TRUE(mode->isPrecomputeReady());
  EXPECT_EQ(mode->precomp().labels.size(), std::size_t(N * N * N));

  // No, or a damaged file: the worker computes it again.
  TCore::getInst().setMode(3);
  mode->resetForNewVolume();
  prompts.answers.push_back(PromptAnswer::No);
  enter();
  EXPECT_TRUE(mode->isPrecomputing());
  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isPrecomputing(); }));
  EXPECT_TRUE(mode->isPrecomputeReady());
}

TEST_F(GCutLogic, AReplacedOrStoppedComputationPublishesNothing) {
  host.async = true;
  StateSegGCut::setVolumePathHook({});  // no cache file
  enter();
  ASSERT_TRUE(mode->isPrecomputing());
  // A load that went ahead anyway: the labels of the old volume are not published.
  mode->resetForNewVolume();
  EXPECT_EQ(busyShown(), 1);
  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isPrecomputing(); }));
  EXPECT_FALSE(mode->isPrecomputeReady());
  EXPECT_TRUE(mode->precomp().labels.empty());

  // A volume of another size by the time the result arrives: dropped as well.
  TCore::getInst().setMode(3);
  enter();
  ASSERT_TRUE(mode->isPrecomputing());
  mode->worker().join();
  data.size = N + 1;
  ASSERT_TRUE(host.pumpUntil([&] { return !mode->isPrecomputing(); }));
  EXPECT_FALSE(mode->isPrecomputeReady());
  data.size = N;

  // Stopped (exit): nothing published, nothing pending.
  TCore::getInst().setMode(3);
  enter();
  ASSERT_TRUE(mode->isPrecomputing());
  mode->stopWorkers();
  EXPECT_FALSE(mode->isPrecomputing());
  ASSERT_TRUE(host.pumpUntil([&] {
    std::lock_guard<std::mutex> g(host.lock);
    return host.posted.empty();
  }));
  EXPECT_FALSE(mode->isPrecomputeReady());
  EXPECT_EQ(TCore::getInst().busyMessage(), nullptr);
}

TEST_F(GCutLogic, StrokesBelowTheSurfaceMinimumClearItShiftDragsSpacePointsAndTheWheelStepsASlice) {
  enter();  // synchronous: no interface queue
  ASSERT_TRUE(mode->isPrecomputeReady());
  auto stroke = [&](int points) {
    host.keys = TModeState::MK_CONTROL;
    mode->OnLBtnDown(TPoint2i(0, 0));
    for (int i = 1; i < points; ++i) mode->OnMouseMove(TPoint2i(i, i));
    EXPECT_EQ(static_cast<int>(mode->cutStroke().size()), points);
    mode->OnLBtnUp(TPoint2i(points, points));
    host.keys = 0;
  };
  stroke(3);
  EXPECT_EQ(host.cleared, 1);
  stroke(5);  // the surface generator needs 6: the old surface goes
  EXPECT_EQ(host.cleared, 2);
  EXPECT_EQ(host.generated, 0);
  stroke(6);
  EXPECT_EQ(host.generated, 1);

  // A Shift press without a drag adds nothing; a drag adds points more than 2 r apart.
  host.keys = TModeState::MK_SHIFT;
  const TPoint2i p(5000, 5000);
  mode->OnLBtnDown(p);
  mode->OnLBtnUp(p);
  EXPECT_TRUE(mode->controlPoints().empty());
  mode->OnLBtnDown(p);
  for (double x = 2; x <= 14; x += 1.5) {
    host.pick[0] = x, host.pick[1] = 8, host.pick[2] = 8;
    mode->OnMouseMove(p);
  }
  mode->OnLBtnUp(p);
  const auto& cps = mode->controlPoints();
  ASSERT_EQ(cps.size(), 3u);  // 2, 6.5, 11 with r just below 2
  EXPECT_DOUBLE_EQ(cps[1].x, 6.5);
  // Shift over a point moves it; Alt over it erases it.
  host.pick[0] = 3;
  mode->OnLBtnDown(TPoint2i(65, 80));
  mode->OnMouseMove(TPoint2i(65, 80));
  mode->OnLBtnUp(TPoint2i(65, 80));
  EXPECT_DOUBLE_EQ(mode->controlPoints()[1].x, 3);
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(30, 80)), 8);
  host.keys = TModeState::MK_ALT;
  mode->OnLBtnDown(TPoint2i(30, 80));
  mode->OnLBtnUp(TPoint2i(30, 80));
  EXPECT_EQ(mode->controlPoints().size(), 2u);
  host.keys = 0;

  // The wheel steps the slice plane under the cursor, as in the other seed modes, and redraws.
  const int redraws = host.count("redrawAll");
  TCore::getInst().state->OnMouseWheel(0, -240, TPoint2i(30, 40));
  ASSERT_EQ(host.wheelSteps.size(), 1u);
  EXPECT_EQ(host.wheelSteps[0].first, TPoint2i(30, 40));
  EXPECT_EQ(host.wheelSteps[0].second, -240);
  EXPECT_GT(host.count("redrawAll"), redraws);
}

TEST_F(GCutLogic, ControlPointFilesRoundTripAndBadFilesLeaveThePointsUnchanged) {
  enter();
  auto& cps = mode->controlPointsForEdit();
  cps = {{1.5, 2.5, 3.5, 1}, {4, 5, 6, 0}};
  const std::string path = dir + "/cps.txt";
  ASSERT_TRUE(mode->writeCtrlPointFile(path));
  cps.clear();
  ASSERT_TRUE(mode->readCtrlPointFile(path));
  ASSERT_EQ(mode->controlPoints().size(), 2u);
  EXPECT_DOUBLE_EQ(mode->controlPoints()[0].y, 2.5);
  EXPECT_EQ(mode->controlPoints()[1].fore, 0);

  // Key '2' through the open dialog.
  cps.clear();
  prompts.openResults.push_back({path});
  mode->OnKeyDown('2', 1, 0);
  EXPECT_EQ(mode->controlPoints().size(), 2u);

  const std::size_t shown = prompts.shown.size();
  for (const char* bad : {"numCPs 3\n1 1 2 3\n0 4 5 6\n", "numCPs -4\n", "numCPs x\n",
                          "numCPs 999999999999\n1 1 1 1\n", "numCPs 1\n1 nan 2 3\n"}) {
    std::ofstream(path) << bad;
    EXPECT_FALSE(mode->readCtrlPointFile(path)) << bad;
    EXPECT_EQ(mode->controlPoints().size(), 2u) << bad;
  }
  EXPECT_EQ(prompts.shown.size(), shown + 5);
  // A file that cannot be created is reported.
  EXPECT_FALSE(mode->writeCtrlPointFile(dir + "/missing/cps.txt"));
  EXPECT_EQ(prompts.shown.size(), shown + 6);
}
