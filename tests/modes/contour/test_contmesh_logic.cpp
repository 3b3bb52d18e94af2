// The contour-mesh mode (10) driven headless: four contours drawn on the axis canvases of a
// sphere volume give the sphere, erasing a contour keeps the cached factor usable, contour files
// round-trip and refuse damaged input without touching the contours, and the background worker
// refuses edits, survives re-entry and closing mid-run, and hands results back on the interface
// thread only.  The panel, the view and the volume are fakes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/mode_helpers.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/contour/contmesh_features.h"
#include "modes/contour/rbf_fib_file.h"
#include "tests/modes/contour/contour_logic_fixture.h"
#include "tests/modes/contour/failing_new.h"

namespace {

constexpr int N = 24;  // a 24^3 volume in a box of 24: one unit per voxel
constexpr double kC = 12.0, kR = 7.0;

bool inSphere(int x, int y, int z) {
  const double dx = x + 0.5 - kC, dy = y + 0.5 - kC, dz = z + 0.5 - kC;
  return dx * dx + dy * dy + dz * dz <= kR * kR;
}

class FakePanel : public TModePanelIf, public TDlgSegContMeshIf {
 public:
  bool visible = false, newContour = false, autoUpdate = false, track = true, closed = false;
  int kern = 1, busyCalls = 0;
  int spins[4] = {100, 40, 10, 50};
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateControls() override {
    visible = true;
    newContour = false;
    spins[0] = 100, spins[1] = 40, spins[2] = 10, spins[3] = 50;
  }
  void updateContourButtons() override {}
  bool isNewContour() const override { return newContour; }
  void setNewContour(bool on) override { newContour = on; }
  void setClosedCheck(bool on) override { closed = on; }
  bool isAutoUpdate() const override { return autoUpdate; }
  bool isSurfaceTrack() const override { return track; }
  bool showForeground() const override { return true; }
  bool showSurface() const override { return true; }
  bool showContours() const override { return true; }
  int kernel() const override { return kern; }
  int spinPosition(Spin s) const override { return spins[s]; }
  void setSpinPositions(int c, int i, int b, int n) override {
    spins[0] = c, spins[1] = i, spins[2] = b, spins[3] = n;
  }
  void setBusy(bool) override { ++busyCalls; }
};

// A bright sphere in a dark volume; every voxel is a target (region 0).
class SphereData : public FakeRegionData {
 public:
  std::vector<float> ch;
  SphereData() {
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 0);
    ch.assign(N * N * N, 0.0f);
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) ch[x + N * (y + N * z)] = inSphere(x, y, z) ? 1000.0f : 0.0f;
  }
  bool volumeValues(VolumeValues& v) override {
    v.W = v.H = v.D = N;
    v.channels = 1;
    v.ch[0] = ch.data();
    v.rangeLo[0] = 0;
    v.rangeHi[0] = 1000;
    return true;
  }
};

class ContMeshLogic : public ContourModeTest<StateSegContMesh, FakePanel, SphereData> {
 protected:
  ContMeshLogic() : ContourModeTest("StateSegContMesh", 10) {}
  void SetUp() override {
    host.volW = host.volH = host.volD = N;
    for (double& x : host.extent) x = N;
    ContourModeTest::SetUp();
  }
  // Waits for the worker, running the queued calls as the interface thread would.
  void settle() {
    for (int i = 0; i < 60000 && mode->isComputing(); ++i) {
      host.drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    host.drain();
    ASSERT_FALSE(mode->isComputing());
  }
  // A Shift + left click on the drawn contour's canvas at p (Alt + left with `erase`), the ray
  // along the canvas normal.
  void place(const TVec3& p, int axis, bool erase = false) {
    for (int k = 0; k < 3; ++k) {
      host.next.dir[k] = k == axis ? 1 : 0;
      host.next.org[k] = p[k] - (k == axis ? 30 : 0);
    }
    host.keys = erase ? TModeState::MK_ALT : TModeState::MK_SHIFT;
    mode->OnLBtnDown(TPoint2i(100, 50));
    host.keys = 0;
    mode->OnLBtnUp(TPoint2i(100, 50));
  }
  // Key k on every voxel a target; the flags it leaves.
  std::vector<uint8_t> runKey(int k) {
    std::fill(data.flag.begin(), data.flag.end(), 1);
    mode->OnKeyDown(k, 1, 0);
    return data.flag;
  }
  // The sphere's cross-section on the current canvas (normal axis, at t), drawn, sided and
  // stored with "Finish &&Store (f)".
  void drawContour(int axis, double t) {
    panel.newContour = mode->addNewContour();
    ASSERT_TRUE(panel.newContour);
    const int e1 = (axis + 1) % 3, e2 = (axis + 2) % 3;
    const double r = std::sqrt(kR * kR - (t - kC) * (t - kC));
    for (int i = 0; i < 8; ++i) {
      TVec3 p;
      p[axis] = t;
      p[e1] = kC + r * std::cos(2 * M_PI * i / 8);
      p[e2] = kC + r * std::sin(2 * M_PI * i / 8);
      place(p, axis);
    }
    ASSERT_EQ(mode->drawnContour().controlPoints.size(), 8u);
    mode->setClosed(true);
    mode->flipSide();  // the region lies inside the loop
    mode->storeContour();
    EXPECT_FALSE(panel.newContour);
  }
  void drawFour() {
    mode->setCanvasXY();
    drawContour(2, 12);
    mode->OnMouseWheel(0, -25000, TPoint2i());  // the XY canvas moves up by 3
    drawContour(2, 15);
    mode->setCanvasYZ();
    drawContour(0, 12);
    mode->setCanvasZX();
    drawContour(1, 12);
  }
  int mismatches() const {
    int bad = 0;
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) bad += (data.flag[x + N * (y + N * z)] == 255) != inSphere(x, y, z);
    return bad;
  }
  std::string tmp(const char* name) const { return testing::TempDir() + name; }
  static std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
};

int countSphere() {
  int n = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) n += inSphere(x, y, z);
  return n;
}

}  // namespace

TEST_F(ContMeshLogic, FourContoursGiveTheSphereAndAnEraseKeepsTheFactorUsable) {
  // Entry: every voxel a target, the XY canvas through the middle, features in [0, 1].
  for (uint8_t f : data.flag) ASSERT_EQ(f, 1);
  EXPECT_EQ(mode->canvas().vertexCount, 4);
  EXPECT_DOUBLE_EQ(mode->canvas().verts[0][2], 12.0);
  ASSERT_TRUE(mode->feature(0));
  EXPECT_FALSE(mode->feature(1));

  drawFour();
  ASSERT_EQ(mode->storedContours().size(), 4u);
  for (const std::string& t : prompts.texts()) ADD_FAILURE() << "unexpected message: " << t;
  const int sphere = countSphere();
  EXPECT_LT(mismatches(), sphere / 10) << "of " << sphere << " sphere voxels";
  mode->takeNewResult();
  EXPECT_GT(mode->displayedMesh().vertexCount, 100);
  const int factor = mode->cachedFactorSize();
  EXPECT_GT(factor, 0);
  const std::vector<uint8_t> region = data.flag;

  // A double click on the YZ contour's tube takes it back; the factor of the other three stays.
  host.next.org[0] = 12, host.next.org[1] = 12 + kR, host.next.org[2] = -30;
  host.next.dir[0] = 0, host.next.dir[1] = 0, host.next.dir[2] = 1;
  mode->OnLBtnDclk(TPoint2i(1, 1));
  ASSERT_TRUE(panel.newContour);
  ASSERT_EQ(mode->storedContours().size(), 3u);
  EXPECT_NEAR(mode->drawnContour().controlPoints[0][0], 12.0, 1e-9);
  const int reduced = mode->cachedFactorSize();
  EXPECT_GT(reduced, 0);
  EXPECT_LT(reduced, factor);
  // Stored again (the factor of three reused, the fourth appended): the same region.
  mode->storeContour();
  int differ = 0;
  for (size_t i = 0; i < region.size(); ++i) differ += region[i] != data.flag[i];
  EXPECT_LE(differ, 3);
  EXPECT_EQ(mode->cachedFactorSize(), factor);

  // A weight change drops the factor; the next update rebuilds it and finds the same region.
  panel.spins[TDlgSegContMeshIf::kNormal] = 60;
  mode->updateParamsFromDlg();
  EXPECT_EQ(mode->cachedFactorSize(), 0);

  // No contour at all: every target back to 1, no surface.
  while (!mode->storedContours().empty()) {
    panel.newContour = false;
    const TCanvasContour& c = mode->storedContours().back();
    const TVec3 p = c.stroke.points[0];
    host.next.org[0] = p[0] - 30 * c.canvas.direction[0];
    host.next.org[1] = p[1] - 30 * c.canvas.direction[1];
    host.next.org[2] = p[2] - 30 * c.canvas.direction[2];
    for (int k = 0; k < 3; ++k) host.next.dir[k] = c.canvas.direction[k];
    const size_t before = mode->storedContours().size();
    mode->OnLBtnDclk(TPoint2i(1, 1));
    ASSERT_EQ(mode->storedContours().size(), before - 1);
  }
  mode->drawnContourForEdit().clear();
  mode->startRegionUpdate(false);
  for (uint8_t f : data.flag) ASSERT_EQ(f, 1);
  mode->takeNewResult();
  EXPECT_EQ(mode->displayedMesh().vertexCount, 0);
}

TEST_F(ContMeshLogic, ContourFilesRoundTripAndDamagedFilesChangeNothing) {
  drawFour();
  panel.spins[TDlgSegContMeshIf::kColour] = 29;  // 0.29: read back as 0.290000, not truncated to 28
  panel.spins[TDlgSegContMeshIf::kInterval] = 57;
  const std::string path = tmp("contmesh.kestrnRbfFib");
  ASSERT_TRUE(mode->saveContours(path));
  const std::string text = slurp(path);
  ASSERT_EQ(text.rfind("#RBFMeshData 2 4\n", 0), 0u);
  ASSERT_EQ(text.substr(text.size() - 15), "#RBFMeshDataEnd");

  // Loaded into a fresh entry: the same contours and coefficients; saved again, the same bytes.
  enter();
  ASSERT_TRUE(mode->storedContours().empty());
  ASSERT_TRUE(mode->loadContours(path));
  ASSERT_EQ(mode->storedContours().size(), 4u);
  EXPECT_EQ(panel.spins[TDlgSegContMeshIf::kColour], 29);
  EXPECT_EQ(panel.spins[TDlgSegContMeshIf::kInterval], 57);
  const std::string again = tmp("contmesh2.kestrnRbfFib");
  ASSERT_TRUE(mode->saveContours(again));
  EXPECT_EQ(slurp(again), text);
  mode->startRegionUpdate(false);
  EXPECT_LT(mismatches(), countSphere() / 10);

  // Every truncation and a bit flip in every byte: either refused with the contours as they
  // were, or a file that parses into records that format and parse again to the same records.
  const std::vector<TCanvasContour> before = mode->storedContours();
  const std::string bad = tmp("bad.kestrnRbfFib");
  int refused = 0;
  for (size_t cut = 0; cut < text.size(); cut += 7) {
    { std::ofstream(bad, std::ios::binary) << text.substr(0, cut); }
    prompts.shown.clear();
    ASSERT_FALSE(mode->loadContours(bad)) << "cut at " << cut;
    ASSERT_EQ(prompts.shown.size(), 1u);
    ++refused;
  }
  std::vector<TRbfFibContour> sentinel(1);
  sentinel[0].controlPoints.push_back(TVec3(1, 2, 3));
  for (size_t i = 0; i < text.size(); ++i)
    for (int bit : {0, 5}) {
      std::string flipped = text;
      flipped[i] = char(flipped[i] ^ (1 << bit));
      std::vector<TRbfFibContour> out = sentinel;
      TRbfFibCoefs coefs;
      coefs.colour = -7;
      if (!t_parseRbfFib(flipped, out, coefs)) {
        ASSERT_EQ(out.size(), 1u);
        ASSERT_EQ(out[0].controlPoints.size(), 1u);
        ASSERT_EQ(coefs.colour, -7);
        continue;
      }
      for (const TRbfFibContour& c : out)
        for (const TPolyIdx& t : c.canvasPolys)
          for (int v : t) ASSERT_TRUE(v >= 0 && v < int(c.canvasVerts.size()));
      std::vector<TRbfFibContour> re;
      TRbfFibCoefs reCoefs;
      ASSERT_TRUE(t_parseRbfFib(t_formatRbfFib(out, coefs), re, reCoefs));
      ASSERT_EQ(t_formatRbfFib(re, reCoefs), t_formatRbfFib(out, coefs));
    }
  ASSERT_GT(refused, 0);
  ASSERT_EQ(mode->storedContours().size(), before.size());
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(mode->storedContours()[i].controlPoints.size(), before[i].controlPoints.size());

  // A version-1 file sets the interval and the colour only.
  const std::string v1 = "#RBFMeshData 1 0\nWint 5.0\nx 0\ny 0\nWcol 0.5\n#RBFMeshDataEnd";
  { std::ofstream(bad, std::ios::binary) << v1; }
  panel.spins[TDlgSegContMeshIf::kBlend] = 33;
  ASSERT_TRUE(mode->loadContours(bad));
  EXPECT_TRUE(mode->storedContours().empty());
  EXPECT_EQ(panel.spins[TDlgSegContMeshIf::kInterval], 50);
  EXPECT_EQ(panel.spins[TDlgSegContMeshIf::kColour], 50);
  EXPECT_EQ(panel.spins[TDlgSegContMeshIf::kBlend], 33);

  // A file that cannot be written says so.
  prompts.shown.clear();
  EXPECT_FALSE(mode->saveContours("/nonexistent-dir/x.kestrnRbfFib"));
  EXPECT_EQ(prompts.shown.size(), 1u);
}

TEST_F(ContMeshLogic, FlatChannelsMapToAConstant) {
  std::vector<float> in = {5, 5, 5, 5}, out(4, -1);
  t_normalizeToUnitRange(out.data(), in.data(), 4, 5.0, 5.0);
  for (float v : out) EXPECT_EQ(v, 0.0f);
  // A grey colour volume: L* varies, a* and b* are flat and become 0, nothing is NaN.
  const int n = 4 * 4 * 4;
  std::vector<float> grey(n);
  for (int i = 0; i < n; ++i) grey[i] = float(i);
  const float* ch[3] = {grey.data(), grey.data(), grey.data()};
  const double lo[3] = {0, 0, 0}, hi[3] = {n - 1.0, n - 1.0, n - 1.0};
  TFeatureVolume f[3];
  t_buildFeatureVolumes(4, 4, 4, 3, ch, lo, hi, f);
  ASSERT_TRUE(f[0] && f[1] && f[2]);
  float mn = 1, mx = 0;
  for (float v : *f[0]) mn = std::min(mn, v), mx = std::max(mx, v);
  EXPECT_GT(mx - mn, 0.1f);
  for (int k = 1; k < 3; ++k)
    for (float v : *f[k]) ASSERT_EQ(v, 0.0f);
}

TEST_F(ContMeshLogic, TheWorkerRefusesEditsAndSurvivesReentryAndClosing) {
  host.async = true;
  mode->setCanvasXY();
  drawContour(2, 12);
  settle();
  mode->OnMouseWheel(0, -25000, TPoint2i());
  drawContour(2, 15);
  settle();
  mode->setCanvasYZ();
  drawContour(0, 12);
  settle();
  mode->setCanvasZX();
  panel.track = false;  // region growing this time
  drawContour(1, 12);
  // While it runs: the keys, updates, files, erase, finish and cancel are refused with the texts,
  // the frame's loads and switches see the busy text; nothing touches the flags.
  ASSERT_TRUE(mode->isComputing());
  prompts.shown.clear();
  const std::vector<uint8_t> flagsBefore = data.flag;
  for (int key : {'1', '2', '3', '4'}) mode->OnKeyDown(key, 1, 0);
  mode->startRegionUpdate(false);
  EXPECT_FALSE(mode->saveContours(tmp("busy.kestrnRbfFib")));
  EXPECT_FALSE(mode->loadContours(tmp("busy.kestrnRbfFib")));
  mode->eraseContour(0);
  mode->finish();
  mode->cancel();
  mode->updateParamsFromDlg();
  EXPECT_STREQ(TCore::getInst().busyMessage(), StateSegContMesh::kBusyMessage);
  const std::vector<std::string> texts = prompts.texts();
  ASSERT_EQ(texts.size(), 11u);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(texts[i], i == 4 ? StateSegContMesh::kUpdateBusyMessage : StateSegContMesh::kBusyMessage) << i;
  EXPECT_EQ(mode->storedContours().size(), 4u);
  EXPECT_EQ(data.flag, flagsBefore);
  settle();
  EXPECT_EQ(TCore::getInst().busyMessage(), nullptr);
  EXPECT_LT(mismatches(), countSphere() / 10);

  // Re-entry during a run: the run is waited for and its result dropped; the flags are the
  // fresh targets.
  mode->eraseContour(3);
  settle();
  mode->storeContour();
  ASSERT_TRUE(mode->isComputing());
  enter();
  EXPECT_FALSE(mode->isComputing());
  host.drain();
  for (uint8_t f : data.flag) ASSERT_EQ(f, 1);
  EXPECT_TRUE(mode->storedContours().empty());

  // Closing during a run: stopped and joined, nothing applied afterwards.
  mode->setCanvasXY();
  drawContour(2, 12);
  mode->stopWorkers();
  EXPECT_FALSE(mode->isComputing());
  host.drain();
  for (uint8_t f : data.flag) ASSERT_EQ(f, 1);
  // And the mode works on: the next update computes a region again.
  mode->startRegionUpdate(false);
  settle();
  int inside = 0;
  for (uint8_t f : data.flag) inside += f == 255;
  EXPECT_GT(inside, 0);
}

TEST_F(ContMeshLogic, TheDirectRunsOfTheKeysFindTheSphereToo) {
  panel.autoUpdate = false;
  drawFour();
  for (int key : {'1', '2', '3', '4'}) {
    SCOPED_TRACE(key);
    std::fill(data.flag.begin(), data.flag.end(), 1);
    mode->OnKeyDown(key, 1, 0);
    EXPECT_LT(mismatches(), countSphere() / 10);
    mode->takeNewResult();
    EXPECT_GT(mode->displayedMesh().polyCount, 100);
  }
  for (const std::string& t : prompts.texts()) ADD_FAILURE() << "unexpected message: " << t;
}

// The plain RBF runs take the value points of valid contours only: a drawn square cut down to
// two control points gives what no drawn contour gives, and keeps no samples or points to draw.
TEST_F(ContMeshLogic, ADrawnContourOfTwoPointsAddsNoValuePoints) {
  drawFour();
  const std::vector<uint8_t> without = runKey('2');
  mode->setCanvasXY();
  panel.newContour = mode->addNewContour();
  ASSERT_TRUE(panel.newContour);
  const TVec3 corners[4] = {TVec3(3, 3, 12), TVec3(21, 3, 12), TVec3(21, 21, 12), TVec3(3, 21, 12)};
  for (const TVec3& c : corners) place(c, 2);
  mode->setClosed(true);
  ASSERT_NE(runKey('2'), without);
  place(corners[3], 2, true);
  place(corners[2], 2, true);
  ASSERT_EQ(mode->drawnContour().controlPoints.size(), 2u);
  EXPECT_EQ(runKey('2'), without);
  EXPECT_TRUE(mode->drawnContour().samples.empty());
  EXPECT_TRUE(mode->drawnContour().rbfPoints.empty());
  for (const std::string& t : prompts.texts()) ADD_FAILURE() << "unexpected message: " << t;
}

// Memory running out while the features are built at entry: the mode says so, and every run that
// reads them (keys '1' and '4', region updates, storing a contour) is refused with that text
// instead of reading a volume that is not there; the drawn contour stays; space alone still works.
TEST_F(ContMeshLogic, RunsThatReadMissingFeaturesAreRefused) {
  drawFour();
  const std::string path = tmp("features.kestrnRbfFib");
  ASSERT_TRUE(mode->saveContours(path));
  prompts.shown.clear();
  {
    FailAllocations oom(sizeof(float) * N * N * N);
    enter();
  }
  ASSERT_FALSE(mode->feature(0));
  ASSERT_EQ(prompts.texts().size(), 1u);
  ASSERT_TRUE(mode->loadContours(path));
  panel.newContour = mode->addNewContour();
  for (const TVec3& c : {TVec3(3, 3, 12), TVec3(21, 3, 12), TVec3(21, 21, 12)}) place(c, 2);
  prompts.shown.clear();
  const std::vector<uint8_t> before = data.flag;
  mode->OnKeyDown('1', 1, 0);
  mode->OnKeyDown('4', 1, 0);
  mode->startRegionUpdate(false);
  mode->storeContour();
  EXPECT_EQ(data.flag, before);
  EXPECT_EQ(prompts.texts(), std::vector<std::string>(4, kFeaturesMissingMessage));
  EXPECT_EQ(mode->storedContours().size(), 4u);
  EXPECT_EQ(mode->drawnContour().controlPoints.size(), 3u);

  prompts.shown.clear();
  mode->drawnContourForEdit().clear();
  runKey('2');
  EXPECT_TRUE(prompts.texts().empty());
  EXPECT_LT(mismatches(), countSphere() / 10);
  enter();
  EXPECT_TRUE(mode->feature(0));
  EXPECT_TRUE(prompts.texts().empty());
}

TEST_F(ContMeshLogic, ASweptCanvasComesFromTheRenderersCutSurface) {
  // The renderer's cut surface as the Qt library hands it over: a slanted quad through the box.
  TTriangleMesh slanted;
  slanted.initFromVertsPolys({TVec3(0, 0, 4), TVec3(N, 0, 4), TVec3(N, N, 20), TVec3(0, N, 20)},
                             {TPolyIdx{0, 1, 2}, TPolyIdx{0, 2, 3}});
  int cutSurfaces = 0;
  StateSegContMesh::setCutSurfaceHook([&](TTriangleMesh& out) {
    ++cutSurfaces;
    out.copyFrom(slanted);
    return true;
  });
  // The view unprojects the cursor onto a plane in front of the box.
  class Sweeper : public ContourHost {
   public:
    bool mainUnProject(const TPoint2i& p, double, double out[3]) override {
      out[0] = p.x, out[1] = p.y, out[2] = 1;
      return true;
    }
  } sweeper;
  sweeper.volW = sweeper.volH = sweeper.volD = N;
  for (double& x : sweeper.extent) x = N;
  t_setModeViewHost(&sweeper);
  auto sweepOn = [&](int points) {
    sweeper.keys = TModeState::MK_CONTROL;
    mode->OnLBtnDown(TPoint2i(0, 0));
    for (int i = 1; i < points; ++i) mode->OnMouseMove(TPoint2i(10 * i, 5 * i));
    EXPECT_EQ(int(mode->canvasStroke().size()), points);
    mode->OnLBtnUp(TPoint2i(10 * points, 5 * points));
    sweeper.keys = 0;
  };

  // Fewer points than the renderer's minimum are no surface: the canvas goes, the status bar says
  // why, and "New Contour" is refused.
  for (int points : {3, 5}) {
    sweepOn(points);
    EXPECT_EQ(cutSurfaces, 0);
    EXPECT_EQ(mode->canvas().vertexCount, 0);
    ASSERT_FALSE(sweeper.statusTexts.empty()) << points;
    EXPECT_EQ(sweeper.statusTexts.back(), t_shortCutStrokeText(points));
  }
  EXPECT_EQ(sweeper.statusTexts.size(), 2u);
  EXPECT_FALSE(mode->addNewContour());
  EXPECT_TRUE(prompts.sawText(StateSegContMesh::kNoCanvasMessage));
  // Six points: the canvas is the renderer's cut surface, facing along its normal.
  sweepOn(6);
  EXPECT_EQ(cutSurfaces, 1);
  EXPECT_EQ(sweeper.statusTexts.size(), 2u);
  ASSERT_EQ(mode->canvas().vertexCount, 4);
  EXPECT_DOUBLE_EQ(mode->canvas().verts[2][2], 20.0);
  const double* d = mode->canvas().direction;
  EXPECT_NEAR(d[0], 0.0, 1e-12);
  EXPECT_NEAR(d[1] * N + d[2] * 16, 0.0, 1e-9);  // perpendicular to the slope (0, N, 16)
  EXPECT_NEAR(d[1] * d[1] + d[2] * d[2], 1.0, 1e-9);
  EXPECT_TRUE(mode->canvasStroke().empty());
  ASSERT_TRUE(mode->addNewContour());
  EXPECT_EQ(mode->drawnContour().canvas.vertexCount, 4);
  t_setModeViewHost(&host);
  StateSegContMesh::setCutSurfaceHook(nullptr);
}
