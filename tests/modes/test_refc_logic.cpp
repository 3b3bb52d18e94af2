// The contour-refinement mode (13) driven headless: a ball-shaped region is cut by Ctrl strokes,
// its fibers are dragged, over-drawn and rubbed, the labels follow on the worker and come back
// through queued calls that the test runs as the interface thread would, a burst of edits ends
// with the newest surface's labels, and "Finish" commits them; on a thin lens-shaped region the
// same steps change only what the surface's edit moved, and a drag along its face changes
// nothing, then or at a later edit; on a ball with thin parts and cavities, at several settings
// of the surface dialog, a drag changes only voxels next to what it moved and leaves nothing
// behind where the surface went away; an entry without the memory it needs changes nothing.
// Panel, view and volume are fakes; the camera and the cut surface come through the mode's
// view hooks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "modes/curve/StateRefContours.h"
#include "geom/mesh_rasterise.h"
#include "modes/curve/kernels/roi_relabel.h"
#include "platform/LargeMemory.h"
#include "tests/modes/failing_new.h"
#include "tests/modes/mode_logic_fixture.h"

namespace {

int N = 32;                     // a 32^3 volume in a box of 10 (VolumeSize sets another)
constexpr double kBox = 10.0;
double kPitch = kBox / N;
constexpr double kBall = 8.5;   // region 2: voxel centres within 8.5 voxels of the centre
constexpr double kShell = 13;   // region 3: the voxels around it up to 13 voxels

int at(int x, int y, int z) { return x + N * (y + N * z); }

using Check = TDlgRefContoursIf::Check;

class FakeRefPanel : public TDlgRefContoursIf {
 public:
  bool visible = false;
  bool checks[kCheckCount] = {};
  int rate = 8;
  int updates = 0;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateControls() override {
    ++updates;
    visible = true;
    for (bool& c : checks) c = false;
    for (Check c : {Normal, Fibers, ForeHL, RoiSmall, GrabDrag, RubSmooth}) checks[c] = true;
    rate = 8;
  }
  bool isChecked(Check c) const override { return checks[c]; }
  void setChecked(Check c, bool on) override { checks[c] = on; }
  int smoothingRate() const override { return rate; }
};

class BallData : public FakeRegionData {
 public:
  std::vector<int> rebuilt, released;
  // Region 3 around the ball up to shell voxels from the centre (none for a shell of 0).
  explicit BallData(double shell = kShell) {
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 9);
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          const double r = std::sqrt(std::pow(x + 0.5 - N / 2.0, 2) + std::pow(y + 0.5 - N / 2.0, 2) +
                                     std::pow(z + 0.5 - N / 2.0, 2));
          if (r <= kBall) mask[at(x, y, z)] = 2;
          else if (r <= shell) mask[at(x, y, z)] = 3;
        }
    used[2] = true;
    used[3] = shell > kBall;
  }
  // The image: bright in the ball, dim elsewhere.
  std::vector<float> image;
  bool volumeValues(VolumeValues& out) override {
    if (image.empty()) {
      image.resize(mask.size());
      for (std::size_t i = 0; i < mask.size(); ++i) image[i] = mask[i] == 2 ? 3000.f : 400.f;
    }
    out = VolumeValues();
    out.W = out.H = out.D = N;
    out.channels = 1;
    out.ch[0] = image.data();
    out.rangeLo[0] = 400;
    out.rangeHi[0] = 3000;
    return true;
  }
  void rebuildRegionSurface(int id) override { rebuilt.push_back(id); }
  void releaseRegion(int id) override {
    released.push_back(id);
    used[id] = false;
  }
};

// Posted calls queued for the test to run as the interface thread; the renderer's cut surface
// a fan from the eye through the stroke, reaching past the box.
class RefHost : public PointingViewHost {
 public:
  TFiberView view;
  TTriangleMesh cut;
  // Posts from other threads than the one that made the host fail (an interface thread that
  // takes no more calls).
  bool refuseOtherThreads = false;
  std::thread::id interfaceThread = std::this_thread::get_id();
  RefHost() { async = true; }
  bool postToInterface(std::function<void()> fn) override {
    if (refuseOtherThreads && std::this_thread::get_id() != interfaceThread) return false;
    return PointingViewHost::postToInterface(std::move(fn));
  }
  void genCutSurfaceFromStroke(std::vector<std::array<double, 3>>& s) override {
    TPoints V;
    std::vector<TPolyIdx> T;
    V.emplace_back(view.eye[0], view.eye[1], view.eye[2]);
    for (const auto& q : s) {
      TVec3 p;
      for (int k = 0; k < 3; ++k) p[k] = view.eye[k] + 20.0 * (q[k] - view.eye[k]);
      V.push_back(p);
    }
    for (int i = 1; i + 1 < static_cast<int>(V.size()); ++i) T.push_back({0, i, i + 1});
    cut.initFromVertsPolys(V, T);
  }
  void clearCutSurface() override { cut.clear(); }
};

int count(const std::vector<std::uint8_t>& v, std::uint8_t value) {
  int n = 0;
  for (std::uint8_t x : v) n += x == value;
  return n;
}

double maxMove(const TTriangleMesh& a, const TTriangleMesh& b) {
  double m = 0;
  for (int i = 0; i < a.vertexCount && i < b.vertexCount; ++i) m = std::max(m, t_dist3(a.verts[i], b.verts[i]));
  return m;
}

template <class Data>
class RefLogicOn : public ModeLogicTest<StateRefContours, FakeRefPanel, Data, RefHost> {
 protected:
  using Base = ModeLogicTest<StateRefContours, FakeRefPanel, Data, RefHost>;
  using Base::chooser;
  using Base::data;
  using Base::host;
  using Base::mode;
  RefLogicOn() : Base("StateRefContours", 13) {}
  void SetUp() override {
    host.volW = host.volH = host.volD = N;
    const double eye[3] = {5.07, 5.11, 20.0}, centre[3] = {5, 5, 5}, up[3] = {0, 1, 0};
    host.view = TFiberView::lookAt(eye, centre, up, 40.0, 0.5, 100.0, 400, 400);
    StateRefContours::ViewHooks hooks;
    hooks.camera = [this](TFiberView& out) {
      out = host.view;
      return true;
    };
    hooks.cutSurface = [this]() -> const TTriangleMesh* { return &host.cut; };
    StateRefContours::setViewHooks(hooks);
    Base::SetUp();
    beforeEntry();
    chooser.one.push_back({true, 2});
    this->enterMode();
    entrySurface.copyFrom(mode->scene().regionMesh);
    entryMask = data.mask;
  }
  // Runs after the fakes are installed and before the mode is entered.
  virtual void beforeEntry() {}
  void TearDown() override {
    Base::TearDown();
    StateRefContours::setViewHooks(StateRefContours::ViewHooks());
  }

  // The window point of a world point.
  TPoint2i window(const double p[3]) const {
    double w[3];
    host.view.project(p, w);
    return TPoint2i(static_cast<int>(std::lround(w[0])), static_cast<int>(std::lround(w[1])));
  }
  void press(unsigned keys, const TPoint2i& p) {
    host.keys = keys;
    mode->OnLBtnDown(p);
  }
  void release(const TPoint2i& p) {
    mode->OnLBtnUp(p);
    host.keys = 0;
  }
  // A Ctrl stroke through the window points from a to b in n steps.
  void cut(TPoint2i a, TPoint2i b, int n = 30) {
    press(TModeState::MK_CONTROL, a);
    for (int i = 1; i <= n; ++i)
      mode->OnMouseMove(TPoint2i(a.x + (b.x - a.x) * i / n, a.y + (b.y - a.y) * i / n));
    release(b);
  }
  // The vertical cut through the ball's middle, and the cursor circle that the drags take along.
  void cutAcross() {
    const double c[3] = {5, 5, 5};
    const TPoint2i mid = window(c);
    cut(TPoint2i(mid.x - 7, mid.y - 150), TPoint2i(mid.x + 5, mid.y + 150));
    ASSERT_EQ(mode->scene().newFibers.size(), 1u);
    host.keys = TModeState::MK_SHIFT;
    for (int i = 0; i < 1000; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, -120, mid);
    for (int i = 0; i < 139; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, 120, mid);
    host.keys = 0;
  }
  // Shift-drags the new-fiber point nearest to the top of the ball upwards by dy pixels.
  bool dragTop(int dy) {
    const TFiberStroke& f = mode->scene().newFibers.at(0);
    int top = 0;
    for (int i = 1; i < static_cast<int>(f.points.size()); ++i)
      if (f.points[i][1] > f.points[top][1]) top = i;
    const TPoint2i p = window(f.points[top].data());
    press(TModeState::MK_SHIFT, p);
    const bool dragging = mode->isDragging();
    for (int i = 1; i <= 4; ++i) mode->OnMouseMove(TPoint2i(p.x, p.y - dy * i / 4));
    release(TPoint2i(p.x, p.y - dy));
    return dragging;
  }
  // The labels follow the current surface: every voxel farther than a voxel and a half from it
  // and from the surface of the entry is inside now exactly where the surface says, and keeps
  // whether it was in region 2 at entry.  (Near a surface the entry surface's own rounding
  // decides; away from both no rule may do anything else.)  Returns the voxels checked.
  int expectLabelsFollowTheSurface(const std::vector<std::uint8_t>& labels, const char* where) const {
    const std::vector<std::uint8_t> now = raster(mode->scene().regionMesh);
    std::vector<std::uint8_t> nearSurface(now.size(), 0);
    markNear(mode->scene().regionMesh.verts, 1.5, nearSurface);
    markNear(entrySurface.verts, 1.5, nearSurface);
    int checked = 0, wrong = 0, history = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
      history += (labels[i] == 2 || labels[i] == 6) != (entryMask[i] == 2);
      if (nearSurface[i]) continue;
      ++checked;
      wrong += (labels[i] == 4 || labels[i] == 6) != (now[i] != 0);
    }
    EXPECT_EQ(wrong, 0) << where;
    EXPECT_EQ(history, 0) << where;
    return checked;
  }
  // The voxels inside mesh (1) and outside (0).
  static std::vector<std::uint8_t> raster(const TTriangleMesh& mesh) {
    TTriangleMesh copy;
    copy.copyFrom(mesh);
    std::vector<std::uint8_t> out(N * N * N, 0);
    const double ext[3] = {kBox, kBox, kBox};
    t_rasterizeMeshToVolume(N, N, N, copy, ext, out.data());
    return out;
  }
  // Sets marks of the voxels whose centres lie within r voxels of one of the points.
  static void markNear(const TPoints& points, double r, std::vector<std::uint8_t>& marks) {
    const int reach = static_cast<int>(std::ceil(r));
    for (const TVec3& p : points) {
      const double c[3] = {p[0] / kPitch - 0.5, p[1] / kPitch - 0.5, p[2] / kPitch - 0.5};
      for (int z = static_cast<int>(c[2]) - reach; z <= static_cast<int>(c[2]) + reach + 1; ++z)
        for (int y = static_cast<int>(c[1]) - reach; y <= static_cast<int>(c[1]) + reach + 1; ++y)
          for (int x = static_cast<int>(c[0]) - reach; x <= static_cast<int>(c[0]) + reach + 1; ++x) {
            if (x < 0 || y < 0 || z < 0 || x >= N || y >= N || z >= N) continue;
            if ((x - c[0]) * (x - c[0]) + (y - c[1]) * (y - c[1]) + (z - c[2]) * (z - c[2]) <= r * r)
              marks[at(x, y, z)] = 1;
          }
    }
  }
  // "Finish" (answered OK); the inside of the surface shown when it was pressed.
  std::vector<std::uint8_t> finishAndRasterShown() {
    TTriangleMesh shown;
    shown.copyFrom(mode->scene().regionMesh);
    this->prompts.answers.push_back(PromptAnswer::Ok);
    mode->finishEditing();
    return raster(shown);
  }
  // The labels a mask after "Finish" stands for.
  std::vector<std::uint8_t> labelsOfMask() const {
    std::vector<std::uint8_t> l(data.mask.size());
    for (std::size_t i = 0; i < l.size(); ++i)
      l[i] = entryMask[i] == 2 ? (data.mask[i] == 2 ? 6 : 2) : (data.mask[i] == 2 ? 4 : 0);
    return l;
  }
  TTriangleMesh entrySurface;          // the region surface as the entry built it
  std::vector<std::uint8_t> entryMask;
  void settle() {
    for (int i = 0; i < 1000 && (mode->worker().busy() || host.drain() > 0); ++i) {
      // The worker hands its result over through the queue; keep running it.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      host.drain();
    }
    ASSERT_FALSE(mode->worker().busy());
  }
};


using RefLogic = RefLogicOn<BallData>;

// A thin region: a lens-like disc of radius 14 voxels and 11 voxels thick (about 6,700 voxels,
// what one contour on a canvas through a ball leaves), its flat faces across z.
class LensData : public FakeRegionData {
 public:
  LensData() {
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 9);
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          const double dx = x + 0.5 - N / 2.0, dy = y + 0.5 - N / 2.0, dz = z + 0.5 - N / 2.0;
          if (dx * dx + dy * dy + dz * dz <= 14.0 * 14.0 && std::fabs(dz) <= 5.5) mask[at(x, y, z)] = 2;
        }
    used[2] = true;
  }
  void rebuildRegionSurface(int) override {}
};

using RefLensLogic = RefLogicOn<LensData>;
}  // namespace

TEST_F(RefLogic, CutsGiveFibersAndCrossPointsAndEveryEditDeformsTheSurfaceWithLabelsFollowing) {
  // Entry: the region's voxels 6, all others 0; a closed surface; panel defaults.
  for (std::size_t i = 0; i < data.flag.size(); ++i) ASSERT_EQ(data.flag[i], data.mask[i] == 2 ? 6 : 0);
  const TTriangleMesh& surf = mode->scene().regionMesh;
  ASSERT_GT(surf.polyCount, 100);
  for (const TMeshEdge& e : surf.edges) ASSERT_FALSE(e.isBoundary());
  EXPECT_EQ(panel.updates, 1);
  EXPECT_TRUE(panel.visible);

  // A stroke of three window points is no cut.
  const double c[3] = {5, 5, 5};
  const TPoint2i mid = window(c);
  cut(TPoint2i(mid.x - 10, mid.y - 100), TPoint2i(mid.x - 10, mid.y - 95), 2);
  EXPECT_TRUE(mode->scene().newFibers.empty());

  // A vertical stroke across the ball: one closed fiber around it, an ROI, the cut surface.
  cut(TPoint2i(mid.x - 7, mid.y - 150), TPoint2i(mid.x + 5, mid.y + 150));
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  EXPECT_TRUE(mode->scene().newFibers[0].closed);
  EXPECT_FALSE(mode->scene().roiMesh.empty());
  EXPECT_GT(host.cut.polyCount, 0);

  // Erasing the only fiber is refused with its message; erase mode stays on.
  panel.checks[Check::EraseMode] = true;
  prompts.answers.push_back(PromptAnswer::Yes);
  const TFiberStroke& f0 = mode->scene().newFibers[0];
  mode->OnLBtnDclk(window(f0.points[f0.points.size() / 3].data()));
  EXPECT_TRUE(prompts.sawText("cant erase single fiber\n"));
  EXPECT_TRUE(panel.checks[Check::EraseMode]);
  EXPECT_EQ(mode->scene().newFibers.size(), 1u);
  panel.checks[Check::EraseMode] = false;

  // Drag the top of the fiber up: the surface follows, the labels only once the interface
  // thread runs the worker's hand-over; then voxels of region 3 above the ball are added.
  // Shift + wheel widens the cursor circle, and with it the stretch of fiber a drag takes along.
  // The size belongs to the mode object and outlives an entry: shrunk to its least first.
  host.keys = TModeState::MK_SHIFT;
  for (int i = 0; i < 1000; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, -120, mid);
  EXPECT_NEAR(mode->cursorCircleSize(), 5e-5, 1e-12);
  for (int i = 0; i < 139; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, 120, mid);
  host.keys = 0;
  EXPECT_NEAR(mode->cursorCircleSize(), 0.007, 1e-9);
  TTriangleMesh before;
  before.copyFrom(mode->scene().regionMesh);
  const std::vector<std::uint8_t> entry = data.flag;
  ASSERT_TRUE(dragTop(30));
  EXPECT_GT(maxMove(before, mode->scene().regionMesh), 0.3);
  EXPECT_EQ(data.flag, entry);  // nothing written behind the interface thread's back
  settle();
  EXPECT_GT(expectLabelsFollowTheSurface(data.flag, "drag"), 20000);
  EXPECT_GT(count(data.flag, 4), 5);
  for (std::size_t i = 0; i < data.flag.size(); ++i)
    ASSERT_EQ(data.flag[i] == 2 || data.flag[i] == 6, data.mask[i] == 2) << i;  // history kept

  // Over-draw, seen from the side where the cut surface faces the camera: a stroke on it just
  // outside the fiber's top replaces that stretch of the fiber.
  const double side[3] = {20.0, 5.1, 5.07}, up[3] = {0, 1, 0};
  host.view = TFiberView::lookAt(side, c, up, 40.0, 0.5, 100.0, 400, 400);
  panel.checks[Check::OverDraw] = true;
  panel.checks[Check::GrabDrag] = false;
  const TFiberStroke& f = mode->scene().newFibers[0];
  auto topPoint = [&] {
    int top = 0;
    for (int i = 1; i < static_cast<int>(f.points.size()); ++i)
      if (f.points[i][1] > f.points[top][1]) top = i;
    return top;
  };
  const TPoint2i t = window(f.points[topPoint()].data());
  const TPoints fiberBefore = f.points;
  before.copyFrom(mode->scene().regionMesh);
  press(TModeState::MK_SHIFT, TPoint2i(t.x - 40, t.y - 6));
  ASSERT_TRUE(mode->isOverDrawing());
  for (int i = 1; i <= 16; ++i) mode->OnMouseMove(TPoint2i(t.x - 40 + 5 * i, t.y - 6));
  release(TPoint2i(t.x + 40, t.y - 6));
  auto fiberMove = [&](const TPoints& from) {
    double m = 0;
    for (std::size_t i = 0; i < from.size(); ++i) m = std::max(m, t_dist3(from[i], f.points[i]));
    return m;
  };
  EXPECT_GT(fiberMove(fiberBefore), 0.05);
  EXPECT_GT(maxMove(before, mode->scene().regionMesh), 0.02);
  settle();
  EXPECT_GT(expectLabelsFollowTheSurface(data.flag, "over-draw"), 20000);

  // Rub at the kink where the over-drawn stretch begins: the fiber is smoothed there and the
  // surface follows.
  panel.checks[Check::OverDraw] = false;
  int kink = 0;
  double best = 1e9;
  for (int i = 0; i < static_cast<int>(f.points.size()); ++i) {
    double w[3];
    host.view.project(f.points[i].data(), w);
    const double d = std::hypot(w[0] - (t.x - 40), w[1] - (t.y - 6));
    if (d < best) best = d, kink = i;
  }
  const TPoints fiberBeforeRub = f.points;
  before.copyFrom(mode->scene().regionMesh);
  const TPoint2i k = window(f.points[kink].data());
  press(TModeState::MK_ALT, k);
  ASSERT_TRUE(mode->isRubbing());
  for (int i = 0; i < 3; ++i) mode->OnMouseMove(k);
  release(k);
  EXPECT_GT(fiberMove(fiberBeforeRub), 1e-3);
  EXPECT_GT(maxMove(before, mode->scene().regionMesh), 1e-4);
  settle();
  EXPECT_GT(expectLabelsFollowTheSurface(data.flag, "rub"), 20000);

  // Store it ('F' writes tmp.cntrs here), then a horizontal cut crossing it: a cross point that
  // joins the new fiber to the stored one.
  std::remove("tmp.cntrs");
  mode->OnKeyDown('F', 1, 0);
  EXPECT_TRUE(mode->scene().newFibers.empty());
  ASSERT_EQ(mode->scene().storedFibers.size(), 1u);
  std::ifstream file("tmp.cntrs");
  std::string header;
  std::getline(file, header);
  EXPECT_EQ(header, "contoursAndSurface 2");
  file.close();
  std::remove("tmp.cntrs");
  const double front[3] = {5.07, 5.11, 20.0};
  host.view = TFiberView::lookAt(front, c, up, 40.0, 0.5, 100.0, 400, 400);
  cut(TPoint2i(mid.x - 150, mid.y + 9), TPoint2i(mid.x + 150, mid.y - 6));
  ASSERT_GE(mode->scene().newFibers.size(), 1u);
  ASSERT_FALSE(mode->scene().crossPoints.empty());
  for (const TCrossPoint& cp : mode->scene().crossPoints) {
    EXPECT_EQ(cp.storedPairs.size(), 1u);
    EXPECT_EQ(cp.newPairs.size(), 1u);
  }
}

TEST_F(RefLogic, BurstOfEditsEndsWithTheNewestSurfacesLabels) {
  const double c[3] = {5, 5, 5};
  const TPoint2i mid = window(c);
  cut(TPoint2i(mid.x - 7, mid.y - 150), TPoint2i(mid.x + 5, mid.y + 150));
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  // 200 edits: drags up and down by varying amounts and the two other deformations by key;
  // the interface thread runs its queue only now and then, as a busy event loop would.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) {
    if (i % 10 == 9) {
      mode->OnKeyDown(i % 20 == 9 ? 'M' : 'N', 1, 0);
    } else {
      ASSERT_TRUE(dragTop((i % 2 ? -1 : 1) * (3 + i % 7)));
    }
    if (i % 7 == 3) host.drain();
  }
  settle();
  EXPECT_GT(expectLabelsFollowTheSurface(data.flag, "burst"), 20000);
  std::printf("200 edits and their relabelling: %.2f s, %d relabellings run to the end\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              mode->worker().completedRuns());

  // A result overtaken while its hand-over waits in the queue is not applied.
  ASSERT_TRUE(dragTop(40));
  mode->worker().wait();  // done, hand-over queued
  ASSERT_TRUE(dragTop(-40));
  settle();
  const std::vector<std::uint8_t> newest = data.flag;
  expectLabelsFollowTheSurface(newest, "newest");
  // They are that surface's: taken from it once more, they stay ...
  mode->startMaskUpdateThread();
  settle();
  EXPECT_EQ(data.flag, newest);
  // ... and those of the surface pulled up again differ.
  ASSERT_TRUE(dragTop(40));
  settle();
  EXPECT_NE(data.flag, newest);
}

TEST_F(RefLogic, FinishTakesTheLastEditAndRebuildsEveryRegionItTookVoxelsFrom) {
  // The surface and every relabelling use the extent of the entry: until the mode ends, a pitch
  // change is refused (a load or a mode switch, which end the mode, are not).
  TCore& core = TCore::getInst();
  EXPECT_EQ(core.busyMessage(), nullptr);
  EXPECT_STREQ(core.busyMessage(TCore::Change::Geometry), StateRefContours::kGeometryBusyMessage);
  const double c[3] = {5, 5, 5};
  const TPoint2i mid = window(c);
  cut(TPoint2i(mid.x - 7, mid.y - 150), TPoint2i(mid.x + 5, mid.y + 150));
  ASSERT_TRUE(dragTop(22));
  // "Finish" right away: the relabelling of that drag may still run; the commit waits for it.
  prompts.answers.push_back(PromptAnswer::Cancel);
  mode->finishEditing();
  EXPECT_EQ(TCore::getInst().modeId, 13);
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishEditing();
  // The mask is the committed labels, and they are those of the dragged surface.
  std::vector<std::uint8_t> expectedMask = entryMask;
  for (std::size_t i = 0; i < data.flag.size(); ++i) {
    if (data.flag[i] == 2) expectedMask[i] = 0;
    if (data.flag[i] == 4 || data.flag[i] == 6) expectedMask[i] = 2;
  }
  EXPECT_EQ(data.mask, expectedMask);
  EXPECT_GT(count(labelsOfMask(), 4), 0);
  EXPECT_GT(expectLabelsFollowTheSurface(labelsOfMask(), "finish"), 20000);
  EXPECT_EQ(data.committed, std::vector<int>{2});
  EXPECT_EQ(data.rebuilt, std::vector<int>{3});  // region 3 gave voxels and keeps the rest
  EXPECT_TRUE(data.released.empty());
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_GE(data.maskDrops, 1);
  // Nothing of the refinement arrives after it ended.
  const std::vector<std::uint8_t> flagsAfter = data.flag;
  host.drain();
  EXPECT_EQ(data.flag, flagsAfter);
  EXPECT_FALSE(mode->worker().busy());
  EXPECT_EQ(core.busyMessage(TCore::Change::Geometry), nullptr);
}

TEST_F(RefLogic, PostCutWaitsForTheRelabellingAndPullsTheLabelsBackToTheImageEdge) {
  const double c[3] = {5, 5, 5};
  const TPoint2i mid = window(c);
  cut(TPoint2i(mid.x - 7, mid.y - 150), TPoint2i(mid.x + 5, mid.y + 150));
  for (int i = 0; i < 100; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, 120, mid);
  ASSERT_TRUE(dragTop(30));
  // Right away, while the drag's relabelling may still run: the cut starts from its labels.
  // (What the drag adds: the voxels its surface takes in.)
  const std::vector<std::uint8_t> inside = raster(mode->scene().regionMesh);
  int added = 0;
  for (std::size_t i = 0; i < inside.size(); ++i) added += inside[i] && entryMask[i] != 2;
  ASSERT_GT(added, 5);
  mode->postRunGraphCut();
  EXPECT_FALSE(mode->worker().busy());
  // The image says the ball ends where it did: the added voxels go back to 0, none is lost, and
  // every label keeps whether the voxel was in the region at entry.
  EXPECT_LT(count(data.flag, 4), added / 4);
  EXPECT_EQ(count(data.flag, 2), 0);
  for (std::size_t i = 0; i < data.flag.size(); ++i)
    ASSERT_EQ(data.flag[i] == 2 || data.flag[i] == 6, data.mask[i] == 2) << i;
  EXPECT_GE(data.flagDrops, 1);
  // A hand-over still in the queue does not undo the cut.
  const std::vector<std::uint8_t> cutLabels = data.flag;
  host.drain();
  EXPECT_EQ(data.flag, cutLabels);
}

TEST_F(RefLensLogic, ThinRegionCutsAndTheLabelsChangeOnlyWhereTheSurfaceMoved) {
  const double c[3] = {5, 5, 5}, up[3] = {0, 1, 0};
  // Seen from 20 degrees aside, a stroke beside the middle, the "large" patch: the patch round the
  // fiber grows over the rim from both faces, and where its growth fronts meet it pinches.  The
  // cut makes one fiber round the lens's cross-section.
  panel.checks[Check::RoiSmall] = false;
  panel.checks[Check::RoiLarge] = true;
  const double aside[3] = {5 + 15 * std::sin(M_PI / 9), 5, 5 + 15 * std::cos(M_PI / 9)};
  host.view = TFiberView::lookAt(aside, c, up, 40.0, 0.5, 100.0, 400, 400);
  TPoint2i mid = window(c);
  cut(TPoint2i(mid.x - 18, mid.y - 190), TPoint2i(mid.x - 13, mid.y + 190), 38);
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  EXPECT_TRUE(mode->scene().newFibers[0].closed);
  ASSERT_FALSE(mode->scene().roiMesh.empty());
  // The same cut with the "small" patch, which stays on the near side of the lens.
  panel.checks[Check::RoiLarge] = false;
  panel.checks[Check::RoiSmall] = true;
  cut(TPoint2i(mid.x - 18, mid.y - 190), TPoint2i(mid.x - 13, mid.y + 190), 38);
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);

  // Its top, on the rim, pulled up: voxels are added above the lens, and none changes away from
  // the part of the surface the drag moved, although the smoothed surface rounds the whole rim
  // off the voxels it was built from.  (The cursor circle, which sets how much of the fiber a
  // drag takes along, belongs to the mode object and outlives an entry: set from its least.)
  host.keys = TModeState::MK_SHIFT;
  for (int i = 0; i < 1000; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, -120, mid);
  for (int i = 0; i < 139; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, 120, mid);
  host.keys = 0;
  ASSERT_TRUE(dragTop(60));
  settle();
  EXPECT_GT(expectLabelsFollowTheSurface(data.flag, "lens drag"), 20000);
  // Changed voxels: the added ones above the lens's middle, and every one of them next to the
  // patch the deformation moved (within two voxels of one of its vertices).
  const TPoints& patch = mode->scene().roiMesh.mesh.verts;
  int added = 0, below = 0, apart = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const std::uint8_t l = data.flag[at(x, y, z)];
        if (l != 2 && l != 4) continue;
        added += l == 4;
        below += l == 4 && y < N / 2;
        const double p[3] = {(x + 0.5) * kPitch, (y + 0.5) * kPitch, (z + 0.5) * kPitch};
        double nearest = 1e9;
        for (const TVec3& v : patch) nearest = std::min(nearest, t_dist3(v, p));
        apart += nearest > 2 * kPitch;
      }
  EXPECT_GT(added, 20);
  EXPECT_EQ(below, 0);
  EXPECT_EQ(apart, 0);
  const std::vector<std::uint8_t> dragged = data.flag;

  // Face on, a fiber point in the middle of the front face dragged along the stroke slides on the
  // flat face: the surface stays, no voxel changes, and the status bar says why.
  const double front[3] = {5.07, 5.11, 20.0};
  host.view = TFiberView::lookAt(front, c, up, 40.0, 0.5, 100.0, 400, 400);
  mid = window(c);
  cut(TPoint2i(mid.x - 7, mid.y - 190), TPoint2i(mid.x - 2, mid.y + 190), 38);
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  const TFiberStroke& f = mode->scene().newFibers[0];
  int face = -1;
  for (int i = 0; i < static_cast<int>(f.points.size()); ++i)
    if (std::fabs(f.points[i][1] - c[1]) < 1.0 && (face < 0 || f.points[i][2] > f.points[face][2])) face = i;
  ASSERT_GE(face, 0);
  const TPoint2i p = window(f.points[face].data());
  host.statusTexts.clear();
  press(TModeState::MK_SHIFT, p);
  ASSERT_TRUE(mode->isDragging());
  for (int i = 1; i <= 4; ++i) mode->OnMouseMove(TPoint2i(p.x, p.y - 10 * i));
  release(TPoint2i(p.x, p.y - 40));
  settle();
  EXPECT_EQ(data.flag, dragged);
  ASSERT_FALSE(host.statusTexts.empty());
  EXPECT_EQ(host.statusTexts.back(), StateRefContours::kNoVoxelChangedNote);

  // An edit elsewhere afterwards, the fiber's top on the rim pulled up: it changes no voxel but
  // next to the surface it moves itself; nothing where the fiber slid or anywhere else.
  TTriangleMesh beforeTop;
  beforeTop.copyFrom(mode->scene().regionMesh);
  ASSERT_TRUE(dragTop(30));
  settle();
  TPoints movedByTop;
  for (int v = 0; v < beforeTop.vertexCount; ++v)
    if (t_dist3(beforeTop.verts[v], mode->scene().regionMesh.verts[v]) > 0.1 * kPitch) {
      movedByTop.push_back(beforeTop.verts[v]);
      movedByTop.push_back(mode->scene().regionMesh.verts[v]);
    }
  ASSERT_FALSE(movedByTop.empty());
  std::vector<std::uint8_t> nearTop(data.flag.size(), 0);
  markNear(movedByTop, 2.0, nearTop);
  int changedTop = 0, changedElsewhere = 0;
  for (std::size_t i = 0; i < data.flag.size(); ++i) {
    changedTop += data.flag[i] != dragged[i];
    changedElsewhere += data.flag[i] != dragged[i] && !nearTop[i];
  }
  EXPECT_GT(changedTop, 0);
  EXPECT_EQ(changedElsewhere, 0);

  // "Finish" commits exactly that: the region gains the voxels above it and keeps the rest.
  const std::vector<std::uint8_t> edited = data.flag;
  std::vector<std::uint8_t> expectedMask = data.mask;
  for (std::size_t i = 0; i < edited.size(); ++i) {
    if (edited[i] == 2) expectedMask[i] = 0;
    if (edited[i] == 4 || edited[i] == 6) expectedMask[i] = 2;
  }
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishEditing();
  EXPECT_EQ(data.mask, expectedMask);
}

namespace {

// Region 2 with thin parts and cavities in its lower half (y below the middle), away from the
// stroke's plane (x about the middle): a one-voxel sheet out to -x, a two-voxel sheet out to +x,
// a 1x1 spur out to -z, a one-voxel cavity and a 2x2x2 one just inside the ball.
class FeatureBallData : public BallData {
 public:
  std::vector<int> thin, cavities;
  FeatureBallData() : BallData(0.0) {
    auto part = [&](int x0, int x1, int y0, int y1, int z0, int z1, std::uint8_t id) {
      for (int z = z0; z <= z1; ++z)
        for (int y = y0; y <= y1; ++y)
          for (int x = x0; x <= x1; ++x) {
            if (id == 2 && mask[at(x, y, z)] == 0) thin.push_back(at(x, y, z));
            if (id == 0) cavities.push_back(at(x, y, z));
            mask[at(x, y, z)] = id;
          }
    };
    part(1, 15, 12, 12, 14, 18, 2);   // one-voxel sheet
    part(17, 30, 11, 12, 14, 18, 2);  // two-voxel sheet
    part(11, 11, 11, 11, 1, 12, 2);   // spur
    part(13, 13, 11, 11, 18, 18, 0);  // one-voxel cavity
    part(19, 20, 9, 10, 14, 15, 0);   // 2x2x2 cavity
  }
};

// Sampling step and smoothing passes of the surface dialog, and how far the drag pulls the
// fiber's top up (negative: down, into the ball).
struct RegionCase {
  int step, smoothing, dy;
};
void PrintTo(const RegionCase& c, std::ostream* os) {
  *os << "step " << c.step << ", smoothing " << c.smoothing << ", drag " << c.dy << " px";
}

std::string caseName(const ::testing::TestParamInfo<RegionCase>& info) {
  return "Step" + std::to_string(info.param.step) + "Smoothing" + std::to_string(info.param.smoothing) +
         (info.param.dy > 0 ? "Up" : "Down") + std::to_string(std::abs(info.param.dy));
}

// Entered with the sampling step and smoothing passes of the case (Param has step and smoothing).
template <class Data, class Param = RegionCase>
class RefDialogLogic : public RefLogicOn<Data>, public ::testing::WithParamInterface<Param> {
 protected:
  void beforeEntry() override {
    TCoreWiring w;
    const Param p = this->GetParam();
    w.askSurfaceParams = [p](int& step, int& umbrella, int&) {
      step = p.step;
      umbrella = p.smoothing;
      return true;
    };
    TCore::setWiring(w);
  }
};

using RefRegionLogic = RefDialogLogic<FeatureBallData>;

double nearest(const TPoints& points, const double p[3]) {
  double d = 1e9;
  for (const TVec3& q : points) d = std::min(d, t_dist3(q, p));
  return d;
}

// Sets marks of the voxels inside the volume that the triangles of mesh swept from the corners'
// positions in from, taking every triangle whose corners all moved by half a voxel or more:
// sampled at a fifth of a voxel, a voxel counts when its centre lies within 0.3 voxels of a
// sample.
void markSwept(const TPoints& from, const TTriangleMesh& mesh, std::vector<std::uint8_t>& marks) {
  constexpr double r = 0.3;
  for (int t = 0; t < mesh.polyCount; ++t) {
    const TPolyIdx& tri = mesh.polys[t];
    double a[3][3], b[3][3], span = 0, path = 0;
    bool all = true;
    for (int j = 0; j < 3; ++j) {
      double d2 = 0;
      for (int k = 0; k < 3; ++k) {
        a[j][k] = from[tri[j]][k] / kPitch - 0.5;
        b[j][k] = mesh.verts[tri[j]][k] / kPitch - 0.5;
        d2 += (b[j][k] - a[j][k]) * (b[j][k] - a[j][k]);
      }
      all = all && d2 >= 0.25;
      path = std::max(path, std::sqrt(d2));
      for (int i = 0; i < j; ++i)
        span = std::max({span, std::hypot(a[j][0] - a[i][0], a[j][1] - a[i][1], a[j][2] - a[i][2]),
                         std::hypot(b[j][0] - b[i][0], b[j][1] - b[i][1], b[j][2] - b[i][2])});
    }
    if (!all) continue;
    const int nu = static_cast<int>(std::ceil(span / 0.2)), nt = static_cast<int>(std::ceil(path / 0.2));
    for (int i = 0; i <= nu; ++i)
      for (int j = 0; i + j <= nu; ++j)
        for (int s = 0; s <= nt; ++s) {
          const double w[3] = {1.0 - double(i + j) / nu, double(i) / nu, double(j) / nu}, f = double(s) / nt;
          double c[3] = {0, 0, 0};
          for (int q = 0; q < 3; ++q)
            for (int k = 0; k < 3; ++k) c[k] += w[q] * ((1 - f) * a[q][k] + f * b[q][k]);
          for (int z = static_cast<int>(std::floor(c[2])); z <= static_cast<int>(std::floor(c[2])) + 1; ++z)
            for (int y = static_cast<int>(std::floor(c[1])); y <= static_cast<int>(std::floor(c[1])) + 1; ++y)
              for (int x = static_cast<int>(std::floor(c[0])); x <= static_cast<int>(std::floor(c[0])) + 1; ++x)
                if (x >= 0 && y >= 0 && z >= 0 && x < N && y < N && z < N &&
                    std::hypot(x - c[0], y - c[1], z - c[2]) <= r)
                  marks[at(x, y, z)] = 1;
        }
  }
}

}  // namespace

TEST_P(RefRegionLogic, ADragChangesOnlyWhatItMovedAndKeepsThinPartsAndCavities) {
  ASSERT_GT(mode->scene().regionMesh.polyCount, 0);
  for (int v : data.thin) ASSERT_EQ(data.flag[v], 6);
  const double c[3] = {5, 5, 5};
  const TPoint2i mid = window(c);
  cut(TPoint2i(mid.x - 7, mid.y - 150), TPoint2i(mid.x + 5, mid.y + 150));
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  // The stroke alone changes nothing, even when the labels are taken again from the surface it
  // left (the cut remeshes it).
  mode->startMaskUpdateThread();
  settle();
  EXPECT_EQ(count(data.flag, 2) + count(data.flag, 4), 0);

  host.keys = TModeState::MK_SHIFT;
  for (int i = 0; i < 1000; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, -120, mid);
  for (int i = 0; i < 139; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, 120, mid);
  host.keys = 0;
  TTriangleMesh before;
  before.copyFrom(mode->scene().regionMesh);
  const TPoints fiberBefore = mode->scene().newFibers[0].points;
  ASSERT_TRUE(dragTop(GetParam().dy));
  settle();
  TTriangleMesh after;
  after.copyFrom(mode->scene().regionMesh);
  // The edit: the fiber points the drag moved by a tenth of a voxel or more, where they were and
  // where they went.  The surface it moved: the vertices that went a tenth of a voxel or more.
  // Where the surface left: the places of the vertices that went a voxel or more; there the
  // region must be what the surface now says, with nothing left behind on the side it left.
  TPoints edit, moved, left;
  const TPoints& fiberAfter = mode->scene().newFibers[0].points;
  for (std::size_t i = 0; i < fiberBefore.size() && i < fiberAfter.size(); ++i)
    if (t_dist3(fiberBefore[i], fiberAfter[i]) >= 0.1 * kPitch) {
      edit.push_back(fiberBefore[i]);
      edit.push_back(fiberAfter[i]);
    }
  for (int v = 0; v < before.vertexCount; ++v) {
    const double d = t_dist3(before.verts[v], after.verts[v]);
    if (d >= 0.1 * kPitch) {
      moved.push_back(before.verts[v]);
      moved.push_back(after.verts[v]);
    }
    if (d >= kPitch) left.push_back(before.verts[v]);
  }
  ASSERT_FALSE(edit.empty());
  ASSERT_FALSE(left.empty());
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishEditing();
  ASSERT_EQ(TCore::getInst().modeId, 3);

  // Counted on the mask "Finish" wrote.  Holes: voxels inside the volume a stretch of surface
  // swept by half a voxel or more (between the corners of vertices far apart too) that the
  // surface crossed there, and that kept their label.
  const std::vector<std::uint8_t> now = raster(after), atEntry = raster(entrySurface);
  std::vector<std::uint8_t> nearLeft(now.size(), 0), swept(now.size(), 0);
  markNear(left, 1.0, nearLeft);
  markSwept(mode->scene().initialPositions, after, swept);
  int changed = 0, far = 0, remnants = 0, holes = 0, thinLost = 0, cavitiesFilled = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const int i = at(x, y, z);
        const bool in = data.mask[i] == 2;
        remnants += nearLeft[i] && in != (now[i] != 0);
        holes += swept[i] && atEntry[i] != now[i] && in != (now[i] != 0);
        if (in == (entryMask[i] == 2)) continue;
        ++changed;
        const double p[3] = {(x + 0.5) * kPitch, (y + 0.5) * kPitch, (z + 0.5) * kPitch};
        far += nearest(edit, p) > 4 * kPitch && nearest(moved, p) > 2 * kPitch;
      }
  for (int v : data.thin) thinLost += data.mask[v] != 2;
  for (int v : data.cavities) cavitiesFilled += data.mask[v] == 2;
  std::printf("step %d smoothing %d drag %d: %d changed, %d far changes, %d remnants, %d holes, %d of %zu thin voxels "
              "lost, %d of %zu cavity voxels filled\n",
              GetParam().step, GetParam().smoothing, GetParam().dy, changed, far, remnants, holes, thinLost,
              data.thin.size(), cavitiesFilled, data.cavities.size());
  EXPECT_GT(changed, 0);
  EXPECT_EQ(far, 0);
  EXPECT_EQ(remnants, 0);
  EXPECT_EQ(holes, 0);
  EXPECT_EQ(thinLost, 0);
  EXPECT_EQ(cavitiesFilled, 0);
}

INSTANTIATE_TEST_SUITE_P(SurfaceDialog, RefRegionLogic,
                         ::testing::Values(RegionCase{1, 1, 30}, RegionCase{1, 3, 30}, RegionCase{1, 10, 30},
                                           RegionCase{2, 1, 30}, RegionCase{1, 3, -30}, RegionCase{2, 3, -30},
                                           RegionCase{1, 10, -60}, RegionCase{3, 1, 60}, RegionCase{5, 3, -60}),
                         caseName);

TEST_F(RefLogic, EntryWithoutMemoryForItsCopiesSaysSoAndLeavesTheMaskAsItWas) {
  TCore& core = TCore::getInst();
  core.setMode(3);
  const std::vector<std::uint8_t> mask = data.mask, flags = data.flag;
  const std::size_t told = prompts.texts().size();
  // What the system reports: a byte short of what the refinement holds beside the flag volume
  // (the record of the entry and one relabelling's raster, a byte a voxel each).
  t_setAvailableMemoryForTests(2 * static_cast<std::int64_t>(mask.size()) - 1);
  chooser.one.push_back({true, 2});
  core.setMode(13);
  t_setAvailableMemoryForTests(0);
  EXPECT_EQ(core.modeId, 3);
  const std::vector<std::string> texts = prompts.texts();
  ASSERT_EQ(texts.size(), told + 1);
  EXPECT_NE(texts.back().find("memory"), std::string::npos) << texts.back();
  EXPECT_EQ(data.mask, mask);
  EXPECT_EQ(data.flag, flags);
  EXPECT_EQ(core.busyMessage(TCore::Change::Geometry), nullptr);
  // With the memory there, the same entry works.
  chooser.one.push_back({true, 2});
  core.setMode(13);
  EXPECT_EQ(core.modeId, 13);
}


TEST_F(RefLogic, ARelabellingWithoutMemorySaysSoAndFinishSaysTheRegionLacksThatEdit) {
  ASSERT_NO_FATAL_FAILURE(cutAcross());
  ASSERT_TRUE(dragTop(30));
  settle();
  const std::vector<std::uint8_t> taken = data.flag;
  ASSERT_GT(count(taken, 4), 5);
  // The next drag's relabelling finds a byte less than its raster needs.
  t_setAvailableMemoryForTests(static_cast<std::int64_t>(taken.size()) - 1);
  ASSERT_TRUE(dragTop(30));
  settle();
  t_setAvailableMemoryForTests(0);
  EXPECT_TRUE(prompts.sawText(StateRefContours::kRelabelNoMemoryMessage));
  EXPECT_EQ(data.flag, taken);
  // "Finish" says so in its question, and commits the region as the first drag left it.
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishEditing();
  ASSERT_FALSE(prompts.texts().empty());
  EXPECT_NE(prompts.texts().back().find(StateRefContours::kLastEditMissingNote), std::string::npos);
  EXPECT_NE(prompts.texts().back().find(StateRefContours::kFinishQuestion), std::string::npos);
  EXPECT_EQ(labelsOfMask(), taken);
  EXPECT_EQ(TCore::getInst().modeId, 3);
}

namespace {

// A plain ball, no region around it.
struct PlainBallData : BallData {
  PlainBallData() : BallData(0.0) {}
};

using RefBackLogic = RefDialogLogic<PlainBallData>;

}  // namespace

TEST_P(RefBackLogic, TheRegionIsWhatTheSurfaceShowsWhateverTheOrderOfTheDrags) {
  ASSERT_NO_FATAL_FAILURE(cutAcross());
  const int dy = GetParam().dy;
  // Out and back: the surface stands where it stood at entry, and so does the region.
  ASSERT_TRUE(dragTop(dy));
  settle();
  ASSERT_GT(count(data.flag, 4), 0);
  ASSERT_TRUE(dragTop(-dy));
  settle();
  const TTriangleMesh& surf = mode->scene().regionMesh;
  double back = 0;
  for (int v = 0; v < surf.vertexCount; ++v)
    back = std::max(back, t_dist3(surf.verts[v], mode->scene().initialPositions[v]) / kPitch);
  ASSERT_LT(back, 0.5);
  EXPECT_EQ(count(data.flag, 2) + count(data.flag, 4), 0) << "the surface came back within " << back << " voxel";

  // Twice as far out, then half way back: every voxel "Finish" changes is where the surface shown
  // says.
  ASSERT_TRUE(dragTop(2 * dy));
  settle();
  ASSERT_TRUE(dragTop(-dy));
  settle();
  const std::vector<std::uint8_t> inside = this->finishAndRasterShown();
  ASSERT_EQ(TCore::getInst().modeId, 3);
  int changed = 0, disagree = 0;
  for (std::size_t i = 0; i < inside.size(); ++i) {
    const bool in = data.mask[i] == 2;
    if (in == (entryMask[i] == 2)) continue;
    ++changed;
    disagree += in != (inside[i] != 0);
  }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(disagree, 0) << "of " << changed << " changed";
}

INSTANTIATE_TEST_SUITE_P(SurfaceDialog, RefBackLogic,
                         ::testing::Values(RegionCase{1, 1, 30}, RegionCase{2, 1, 30}), caseName);

namespace {

// The ball with a thin part beside the cut (which passes the ball's top at x = 15): a sheet one
// voxel thick in x, standing 6 voxels out of the top, or a groove one voxel wide and 3 deep cut
// into it; `offset` voxels beside the cut, along z where the drag pulls the top.
struct ThinCase {
  int step;
  int smoothing;
  bool groove;
  int offset;
  int dy;  // the drag of the fiber's top: out for a sheet, in for a groove
};
void PrintTo(const ThinCase& c, std::ostream* os) {
  *os << "step " << c.step << (c.groove ? ", groove " : ", sheet ") << c.offset << " voxels beside, drag " << c.dy;
}

class RefThinLogic : public RefDialogLogic<PlainBallData, ThinCase> {
 protected:
  std::vector<int> part;  // the sheet's voxels (in the region) or the groove's (out of it)
  void beforeEntry() override {
    RefDialogLogic::beforeEntry();
    const int x = 15 + GetParam().offset;
    for (int z = 10; z <= 17; ++z) {
      int top = -1;
      for (int y = 0; y < N; ++y)
        if (data.mask[at(x, y, z)] == 2) top = y;
      ASSERT_GT(top, N / 2);
      for (int y = GetParam().groove ? top - 2 : top + 1; y <= (GetParam().groove ? top : top + 6); ++y) {
        data.mask[at(x, y, z)] = GetParam().groove ? 0 : 2;
        part.push_back(at(x, y, z));
      }
    }
  }
};

}  // namespace

TEST_P(RefThinLogic, ADragKeepsTheThinPartsBesideIt) {
  ASSERT_NO_FATAL_FAILURE(cutAcross());
  ASSERT_TRUE(dragTop(GetParam().dy));
  settle();
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishEditing();
  ASSERT_EQ(TCore::getInst().modeId, 3);
  int changed = 0, lost = 0;
  for (std::size_t i = 0; i < data.mask.size(); ++i) changed += (data.mask[i] == 2) != (entryMask[i] == 2);
  for (int v : part) lost += (data.mask[v] == 2) != (entryMask[v] == 2);
  EXPECT_GT(changed, 0);  // the drag did change the region
  EXPECT_EQ(lost, 0) << "of " << part.size() << (GetParam().groove ? " groove voxels filled" : " sheet voxels removed");
}

INSTANTIATE_TEST_SUITE_P(SurfaceDialog, RefThinLogic,
                         ::testing::Values(ThinCase{1, 1, false, 2, 30}, ThinCase{1, 1, false, 3, 30},
                                           ThinCase{1, 1, false, 4, 30}, ThinCase{1, 1, true, 4, -30},
                                           ThinCase{2, 1, false, 2, 30}, ThinCase{2, 1, false, 3, 30},
                                           ThinCase{2, 1, false, 4, 30}, ThinCase{2, 1, true, 4, -30}),
                         [](const ::testing::TestParamInfo<ThinCase>& info) {
                           return "Step" + std::to_string(info.param.step) + (info.param.groove ? "Groove" : "Sheet") +
                                  std::to_string(info.param.offset);
                         });

TEST_F(RefLogic, OutOfMemoryAtEntryAtFinishOrInThePostCutSaysSoAndLosesNothing) {
  TCore& core = TCore::getInst();
  // Leaving the mode gives the record of the entry back.
  const std::weak_ptr<const std::vector<std::uint8_t>> record = mode->entryInside();
  ASSERT_FALSE(record.expired());
  core.setMode(3);
  EXPECT_TRUE(record.expired());

  // Entry: the k-th allocation of 4 kB or more fails (the mode's own, the surface build's, those
  // of its parallel loops), for k spread over all those of an entry.
  constexpr std::size_t kLarge = 4096;
  chooser.one.push_back({true, 2});
  t_failLargeAllocations(kLarge, LLONG_MAX);
  core.setMode(13);
  const long long large = t_allowAllocations();
  ASSERT_EQ(core.modeId, 13);
  ASSERT_GT(large, 10);
  core.setMode(3);
  const std::vector<std::uint8_t> mask = data.mask;
  std::printf("%lld allocations of 4 kB or more at entry\n", large);
  for (long long k = 0; k < large; ++k) {
    const std::size_t told = prompts.texts().size();
    chooser.one.push_back({true, 2});
    t_failLargeAllocations(kLarge, k);
    core.setMode(13);
    if (t_allowAllocations() <= k) {
      // Fewer allocations this time (the parallel loops' threads take their buffers as they
      // come): none failed, and the entry went through.
      EXPECT_EQ(core.modeId, 13);
      core.setMode(3);
      continue;
    }
    EXPECT_EQ(core.modeId, 3) << "allocation " << k << " of " << large;
    ASSERT_GT(prompts.texts().size(), told) << "allocation " << k;
    EXPECT_NE(prompts.texts().back().find("memory"), std::string::npos) << prompts.texts().back();
    EXPECT_EQ(data.mask, mask);
    EXPECT_EQ(mode->entryInside(), nullptr);
    EXPECT_EQ(core.busyMessage(TCore::Change::Geometry), nullptr);
  }

  // Entered again, cut across and the top dragged out.
  auto enterAndDrag = [&] {
    chooser.one.push_back({true, 2});
    core.setMode(13);
    ASSERT_EQ(core.modeId, 13);
    ASSERT_NO_FATAL_FAILURE(cutAcross());
    ASSERT_TRUE(dragTop(30));
    settle();
  };

  // "Finish" commits straight from the labels: it needs no large allocation.
  ASSERT_NO_FATAL_FAILURE(enterAndDrag());
  const std::vector<std::uint8_t> dragged = data.flag;
  ASSERT_GT(count(dragged, 4), 5);
  prompts.answers.push_back(PromptAnswer::Ok);
  {
    TFailLargeAllocations first(kLarge, 0);
    mode->finishEditing();
  }
  EXPECT_EQ(core.modeId, 3);
  EXPECT_EQ(labelsOfMask(), dragged);

  // The post cut: whichever of its allocations fails, the labels stay and the user is told; with
  // the memory there it runs.
  entryMask = data.mask;
  ASSERT_NO_FATAL_FAILURE(enterAndDrag());
  const std::vector<std::uint8_t> labels = data.flag;
  TModeRegionData::VolumeValues values;
  ASSERT_TRUE(data.volumeValues(values));  // the fake makes its image on first use
  bool ran = false;
  for (long long k = 0; k < 200 && !ran; ++k) {
    const std::size_t told = prompts.texts().size();
    {
      TFailLargeAllocations fail(kLarge, k);
      mode->postRunGraphCut();
      ran = t_allowAllocations() <= k;
    }
    if (ran) break;
    EXPECT_EQ(data.flag, labels) << "allocation " << k;
    EXPECT_GT(prompts.texts().size(), told) << "allocation " << k;
    EXPECT_EQ(core.modeId, 13);
  }
  EXPECT_TRUE(ran);
  EXPECT_NE(data.flag, labels);
}

TEST_F(RefLogic, AHandOverThatCannotBePostedLeavesTheGateOpenAndFinishSaysTheEditIsMissing) {
  ASSERT_NO_FATAL_FAILURE(cutAcross());
  const std::vector<std::uint8_t> entry = data.flag;
  host.refuseOtherThreads = true;
  ASSERT_TRUE(dragTop(30));
  settle();  // no longer busy: loads and mode switches are not refused
  EXPECT_EQ(TCore::getInst().busyMessage(), nullptr);
  EXPECT_EQ(data.flag, entry);
  // "Finish" tells why the edit is missing (OK), then asks, saying so (OK).
  prompts.answers.push_back(PromptAnswer::Ok);
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->finishEditing();
  EXPECT_TRUE(prompts.sawText(StateRefContours::kRelabelNotHandedMessage));
  ASSERT_FALSE(prompts.texts().empty());
  EXPECT_NE(prompts.texts().back().find(StateRefContours::kLastEditMissingNote), std::string::npos);
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(labelsOfMask(), entry);
}

namespace {

// The tests' volume is n^3 while it lives (the fixture's helpers read N and kPitch).
struct VolumeSize {
  explicit VolumeSize(int n) {
    N = n;
    kPitch = kBox / n;
  }
  ~VolumeSize() {
    N = 32;
    kPitch = kBox / 32;
  }
};

// Region 2 of a 48^3 volume: a ball of radius 0.2 N at x = 0.35 N and a rod of radius 0.08 N
// standing out of it along +x to x = 0.9 N.
struct RodData : VolumeSize, FakeRegionData {
  RodData() : VolumeSize(48) {
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 9);
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          const double cx = x + 0.5, dy = y + 0.5 - N / 2.0, dz = z + 0.5 - N / 2.0;
          const bool ball = std::pow(cx - 0.35 * N, 2) + dy * dy + dz * dz <= std::pow(0.2 * N, 2);
          const bool rod = cx >= 0.35 * N && cx <= 0.9 * N && dy * dy + dz * dz <= std::pow(0.08 * N, 2);
          if (ball || rod) mask[at(x, y, z)] = 2;
        }
    used[2] = true;
  }
  void rebuildRegionSurface(int) override {}
};

using RefEraseLogic = RefDialogLogic<RodData>;

}  // namespace

TEST_P(RefEraseLogic, ErasingAFiberTakesThePartItDroppedOutOfTheRegion) {
  // One stroke down across the ball's middle, right beneath ball and rod, and up across the rod:
  // a loop round the ball and one round the rod.
  auto at2 = [&](double x, double y) {
    const double p[3] = {x * kBox, y * kBox, 0.5 * kBox};
    return window(p);
  };
  const std::vector<TPoint2i> corners = {at2(0.35, 0.85), at2(0.35, 0.22), at2(0.72, 0.22), at2(0.72, 0.75)};
  press(TModeState::MK_CONTROL, corners[0]);
  for (std::size_t c = 1; c < corners.size(); ++c)
    for (int i = 1; i <= 20; ++i)
      mode->OnMouseMove(TPoint2i(corners[c - 1].x + (corners[c].x - corners[c - 1].x) * i / 20,
                                 corners[c - 1].y + (corners[c].y - corners[c - 1].y) * i / 20));
  release(corners.back());
  const std::vector<TFiberStroke>& fibers = mode->scene().newFibers;
  ASSERT_EQ(fibers.size(), 2u);
  auto meanX = [](const TFiberStroke& f) {
    double s = 0;
    for (const TVec3& p : f.points) s += p[0];
    return s / f.points.size();
  };
  const int rod = meanX(fibers[0]) > meanX(fibers[1]) ? 0 : 1;
  double loopX = 0;
  for (const TVec3& p : fibers[rod].points) loopX = std::max(loopX, p[0]);
  ASSERT_GT(loopX, 0.65 * kBox);

  // Erased (answered Yes): the surface ends at the loop.
  panel.checks[Check::EraseMode] = true;
  prompts.answers.push_back(PromptAnswer::Yes);
  const TFiberStroke& f = fibers[rod];
  mode->OnLBtnDclk(window(f.points[f.points.size() / 4].data()));
  ASSERT_EQ(mode->scene().newFibers.size(), 1u);
  settle();
  const std::vector<std::uint8_t> inside = this->finishAndRasterShown();
  ASSERT_EQ(TCore::getInst().modeId, 3);

  // Nothing of the rod beyond the loop stays, every voxel that changed is where the surface shown
  // says, the ball is untouched, and the region is one piece.
  int beyond = 0, kept = 0, shownBeyond = 0, changed = 0, disagree = 0, ballChanged = 0, region = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const int i = at(x, y, z);
        const bool in = data.mask[i] == 2, was = entryMask[i] == 2;
        region += in;
        if (was && (x + 0.5) * kPitch > loopX) {
          ++beyond;
          kept += in;
          shownBeyond += inside[i] != 0;
        }
        if (in == was) continue;
        ++changed;
        disagree += in != (inside[i] != 0);
        ballChanged += x + 0.5 < 0.55 * N;
      }
  std::vector<int> todo;
  std::vector<std::uint8_t> seen(data.mask.size(), 0);
  todo.push_back(at(static_cast<int>(0.35 * N), N / 2, N / 2));
  int reached = 0;
  while (!todo.empty()) {
    const int i = todo.back();
    todo.pop_back();
    if (seen[i] || data.mask[i] != 2) continue;
    seen[i] = 1;
    ++reached;
    const int x = i % N, y = (i / N) % N, z = i / (N * N);
    if (x > 0) todo.push_back(i - 1);
    if (x + 1 < N) todo.push_back(i + 1);
    if (y > 0) todo.push_back(i - N);
    if (y + 1 < N) todo.push_back(i + N);
    if (z > 0) todo.push_back(i - N * N);
    if (z + 1 < N) todo.push_back(i + N * N);
  }
  std::printf("step %d: %d of %d rod voxels beyond the loop kept (%d inside the surface shown), %d changed, %d "
              "against the surface, %d in the ball; %d of %d region voxels connected\n",
              GetParam().step, kept, beyond, shownBeyond, changed, disagree, ballChanged, reached, region);
  EXPECT_GT(beyond, 200);
  EXPECT_EQ(shownBeyond, 0);
  EXPECT_EQ(kept, 0);
  EXPECT_EQ(disagree, 0);
  EXPECT_EQ(ballChanged, 0);
  EXPECT_EQ(reached, region);
}

INSTANTIATE_TEST_SUITE_P(SurfaceDialog, RefEraseLogic, ::testing::Values(RegionCase{1, 1, 0}, RegionCase{2, 1, 0}),
                         [](const ::testing::TestParamInfo<RegionCase>& info) {
                           return "Step" + std::to_string(info.param.step);
                         });
