// The curved-cylinder mode (9) driven headless: control points placed, dragged and erased through
// the mouse slots with the modifier keys, the candidates and the radius switching the tube,
// curves stored and taken back by a double click, the cut stroke, and "Finish" filling the
// target voxels within the tubes under a region id.  The panel, the view and the volume are
// fakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "modes/curve/StateSegCurveCyl.h"
#include "tests/modes/mode_logic_fixture.h"

namespace {

constexpr int N = 10;  // a 10^3 volume in a box of 10: one unit per voxel

int at(int x, int y, int z) { return x + N * (y + N * z); }

class FakeCCylPanel : public TDlgSegCurveCylIf {
 public:
  bool visible = false, editing = false;
  int updates = 0, enables = 0;
  double minR = 0, maxR = 0;
  struct Start {
    double radius;
    int selected;
  };
  std::vector<Start> starts;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateControls(double mn, double mx) override {
    ++updates;
    minR = mn, maxR = mx;
    editing = false;
    visible = true;
  }
  void enableControls() override { ++enables; }
  void startStoredCurveEditing(double r, int s) override {
    starts.push_back({r, s});
    editing = true;
  }
  bool isEditing() const override { return editing; }
};

// Region 2 holds x < 5, region 3 the plane x = 9, region 4 the voxel (7, 4, 4).
class VolumeData : public FakeRegionData {
 public:
  std::vector<int> rebuilt, released;
  VolumeData() {
    mask.assign(N * N * N, 0);
    flag.assign(N * N * N, 9);
    for (int z = 0; z < N; ++z)
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          if (x < 5) mask[at(x, y, z)] = 2;
          if (x == 9) mask[at(x, y, z)] = 3;
        }
    mask[at(7, 4, 4)] = 4;
    used[2] = used[3] = used[4] = true;
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
};

// Distance from p to the segment a-b.
double distToSegment(const double p[3], const double a[3], const double b[3]) {
  double ab[3], ap[3];
  for (int i = 0; i < 3; ++i) ab[i] = b[i] - a[i], ap[i] = p[i] - a[i];
  const double l2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  double t = l2 > 0 ? (ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / l2 : 0;
  t = std::max(0.0, std::min(1.0, t));
  double d2 = 0;
  for (int i = 0; i < 3; ++i) d2 += (ap[i] - t * ab[i]) * (ap[i] - t * ab[i]);
  return std::sqrt(d2);
}

class CCylLogic : public ModeLogicTest<StateSegCurveCyl, FakeCCylPanel, VolumeData> {
 protected:
  CCylLogic() : ModeLogicTest("StateSegCurveCyl", 9) {}
  void SetUp() override {
    host.volW = host.volH = host.volD = N;
    ModeLogicTest::SetUp();
    // Targets: the background, region 2 and region 4 (not region 3).
    chooser.many.push_back({true, {0, 2, 4}});
    enterMode();
  }
  // "New Curve 作成開始" as the panel does it.
  void beginEditing() {
    panel.editing = true;
    mode->beginNewCurve(panel.minR);
  }
  // A Shift + left click that picks the box point (x, y, z); the cursor ray passes through it.
  void shiftClick(double x, double y, double z) {
    host.keys = TModeState::MK_SHIFT;
    host.pick[0] = x, host.pick[1] = y, host.pick[2] = z;
    const TPoint2i p(int(std::lround(x * 10)), int(std::lround(y * 10)));
    mode->OnLBtnDown(p);
    mode->OnLBtnUp(p);
    host.keys = 0;
  }
  const TPoints& tubeLine() const { return mode->newCurve().tube.points; }
};

}  // namespace

TEST_F(CCylLogic, ControlPointsArePlacedDraggedAndErasedAndTheCandidatesSwitchTheTube) {
  // Entry: targets flagged, slices at 0.2, radii 1.2 x the mean pitch and ten times that.
  int ones = 0;
  for (std::size_t i = 0; i < data.flag.size(); ++i) {
    EXPECT_EQ(data.flag[i], (data.mask[i] == 3) ? 0 : 1);
    ones += data.flag[i] == 1;
  }
  EXPECT_EQ(ones, N * N * N - N * N);
  EXPECT_TRUE(panel.visible);
  EXPECT_EQ(panel.updates, 1);
  EXPECT_NEAR(panel.minR, 1.2, 1e-12);
  EXPECT_NEAR(panel.maxR, 12, 1e-12);
  EXPECT_DOUBLE_EQ(host.slices[2], 0.2);
  EXPECT_GE(host.count("hidePanes"), 1);
  ASSERT_FALSE(host.panelModes.empty());
  EXPECT_EQ(host.panelModes.back(), "3P110-");

  // Not editing: Shift-click moves the camera, adds nothing.
  shiftClick(1.5, 5.5, 5.5);
  EXPECT_TRUE(mode->newCurve().ctrlPoints.empty());
  EXPECT_EQ(host.count("translate"), 1);

  // Three collinear points placed end, end, middle.
  beginEditing();
  EXPECT_DOUBLE_EQ(mode->newCurve().tube.radius, 1.2);
  shiftClick(1.5, 5.5, 5.5);
  shiftClick(8.5, 5.5, 5.5);
  shiftClick(5.0, 5.5, 5.5);
  ASSERT_EQ(mode->newCurve().ctrlPoints.size(), 3u);
  ASSERT_EQ(mode->newCurve().candidates.size(), 4u);
  EXPECT_EQ(mode->newCurve().candidates[0], (std::vector<int>{0, 1, 2}));
  // The best order runs end, middle, end: 2n + 1 stations, the middle one at the middle point.
  ASSERT_EQ(tubeLine().size(), 7u);
  EXPECT_NEAR(tubeLine()[3][0], 5.0, 1e-9);
  EXPECT_NEAR(std::min(tubeLine().front()[0], tubeLine().back()[0]), 1.5, 1e-9);
  EXPECT_NEAR(std::max(tubeLine().front()[0], tubeLine().back()[0]), 8.5, 1e-9);
  EXPECT_FALSE(mode->newCurve().tube.ringVerts.empty());
  // "placed order": the tube runs 1.5 -> 8.5 -> 5.0; back to "1".
  mode->selectCandidate(0);
  EXPECT_NEAR(tubeLine().front()[0], 1.5, 1e-9);
  EXPECT_NEAR(tubeLine().back()[0], 5.0, 1e-9);
  mode->selectCandidate(1);
  EXPECT_NEAR(tubeLine()[3][0], 5.0, 1e-9);
  // The width slider's radius rebuilds the rings.
  mode->setNewCurveRadius(2.5);
  EXPECT_DOUBLE_EQ(mode->newCurve().tube.radius, 2.5);
  ASSERT_FALSE(mode->newCurve().tube.ringVerts.empty());
  const TVec3 ring = mode->newCurve().tube.ringVerts[3][0];
  EXPECT_NEAR(std::hypot(ring[1] - 5.5, ring[2] - 5.5), 2.5, 1e-9);
  mode->setNewCurveRadius(1.2);

  // Cursors: Ctrl 4; Shift over a point 8, elsewhere 5; Alt 9; nothing held 0.
  host.keys = TModeState::MK_CONTROL;
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(50, 55)), 4);
  host.keys = TModeState::MK_SHIFT;
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(50, 55)), 8);
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(50, 90)), 5);
  host.keys = TModeState::MK_ALT;
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(50, 55)), 9);
  host.keys = 0;
  EXPECT_EQ(mode->OnSetCursor(TPoint2i(50, 55)), 0);

  // Shift-press on the middle point grabs it; the drag moves it without a rebuild; the release
  // rebuilds the tube.
  host.keys = TModeState::MK_SHIFT;
  mode->OnLBtnDown(TPoint2i(50, 55));
  EXPECT_TRUE(mode->isDraggingPoint());
  EXPECT_EQ(mode->pickedCtrlPoint(), 2);
  host.pick[0] = 5.0, host.pick[1] = 7.5, host.pick[2] = 5.5;
  mode->OnMouseMove(TPoint2i(50, 75));
  EXPECT_NEAR(mode->newCurve().ctrlPoints[2][1], 7.5, 1e-12);
  EXPECT_NEAR(tubeLine()[3][1], 5.5, 1e-9);
  mode->OnLBtnUp(TPoint2i(50, 75));
  host.keys = 0;
  EXPECT_FALSE(mode->isDraggingPoint());
  EXPECT_EQ(mode->newCurve().ctrlPoints.size(), 3u);
  EXPECT_NEAR(tubeLine()[3][1], 7.5, 1e-9);

  // Alt-click erases a point (not while editing is off); the later points move down.
  panel.editing = false;
  host.keys = TModeState::MK_ALT;
  mode->OnLBtnDown(TPoint2i(85, 55));
  mode->OnLBtnUp(TPoint2i(85, 55));
  EXPECT_EQ(mode->newCurve().ctrlPoints.size(), 3u);
  panel.editing = true;
  mode->OnLBtnDown(TPoint2i(85, 55));
  mode->OnLBtnUp(TPoint2i(85, 55));
  host.keys = 0;
  ASSERT_EQ(mode->newCurve().ctrlPoints.size(), 2u);
  EXPECT_NEAR(mode->newCurve().ctrlPoints[1][1], 7.5, 1e-12);
  EXPECT_EQ(tubeLine().size(), 5u);
  EXPECT_NEAR(tubeLine().back()[1], 7.5, 1e-9);
  EXPECT_EQ(host.count("translate"), 1);

  // The cut stroke: 5 points clear the cut surface (the generator needs 6), 6 build it.
  for (int len : {5, 6}) {
    host.keys = TModeState::MK_CONTROL;
    mode->OnLBtnDown(TPoint2i(0, 0));
    EXPECT_TRUE(mode->isDrawingStroke());
    for (int i = 1; i < len; ++i) mode->OnMouseMove(TPoint2i(i, i));
    EXPECT_EQ(mode->cutStroke().size(), std::size_t(len));
    mode->OnLBtnUp(TPoint2i(len, len));
    host.keys = 0;
    EXPECT_FALSE(mode->isDrawingStroke());
  }
  EXPECT_EQ(host.cleared, 1);
  EXPECT_EQ(host.generated, 1);
}

TEST_F(CCylLogic, CurvesAreStoredTakenBackByADoubleClickAndCancelled) {
  // Fewer than two points: told, and the point goes.
  beginEditing();
  shiftClick(2.5, 2.5, 2.5);
  mode->storeNewCurve();
  EXPECT_TRUE(prompts.sawText(StateSegCurveCyl::kTooFewPointsMessage));
  EXPECT_TRUE(mode->storedCurves().empty());
  EXPECT_TRUE(mode->newCurve().ctrlPoints.empty());

  // Two curves stored: along x at y = 2.5 (radius 2, placed order) and at y = 7.5.
  beginEditing();
  shiftClick(1.5, 2.5, 5.5);
  shiftClick(8.5, 2.5, 5.5);
  mode->setNewCurveRadius(2.0);
  mode->selectCandidate(0);
  mode->storeNewCurve();
  panel.editing = false;
  beginEditing();
  shiftClick(1.5, 7.5, 5.5);
  shiftClick(8.5, 7.5, 5.5);
  mode->storeNewCurve();
  panel.editing = false;
  ASSERT_EQ(mode->storedCurves().size(), 2u);
  EXPECT_TRUE(mode->newCurve().ctrlPoints.empty());

  // A double click while editing does nothing; idle, it takes the first curve back.
  panel.editing = true;
  mode->OnLBtnDclk(TPoint2i(50, 25));
  EXPECT_EQ(mode->storedCurves().size(), 2u);
  panel.editing = false;
  mode->OnLBtnDclk(TPoint2i(50, 50));  // between the tubes: no hit
  EXPECT_TRUE(panel.starts.empty());
  mode->OnLBtnDclk(TPoint2i(50, 25));
  ASSERT_EQ(panel.starts.size(), 1u);
  EXPECT_DOUBLE_EQ(panel.starts[0].radius, 2.0);
  EXPECT_EQ(panel.starts[0].selected, 0);
  ASSERT_EQ(mode->storedCurves().size(), 1u);
  EXPECT_NEAR(mode->storedCurves()[0].ctrlPoints[0][1], 7.5, 1e-12);
  ASSERT_EQ(mode->newCurve().ctrlPoints.size(), 2u);
  EXPECT_NEAR(mode->newCurve().ctrlPoints[0][1], 2.5, 1e-12);
  EXPECT_EQ(mode->newCurve().tube.points.size(), 5u);

  // "cancel": asked; Cancel keeps everything, OK leaves to mode 3 with no curves.
  prompts.answers.push_back(PromptAnswer::Cancel);
  mode->cancelSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 9);
  EXPECT_TRUE(prompts.sawText(StateSegCurveCyl::kCancelQuestion));
  prompts.answers.push_back(PromptAnswer::Ok);
  mode->cancelSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_TRUE(mode->storedCurves().empty());
  EXPECT_TRUE(mode->newCurve().ctrlPoints.empty());
  EXPECT_EQ(data.mask, VolumeData().mask);
  EXPECT_TRUE(data.committed.empty());
}

TEST_F(CCylLogic, FinishFillsTheTargetVoxelsWithinTheTubesUnderAFreeIdAndRebuildsTheRegionsItTook) {
  const std::vector<std::uint8_t> before = data.mask;
  // Id 0, an id beyond the table and a used id: nothing, silently, and the mode stays.
  chooser.one.push_back({true, 0});
  chooser.one.push_back({true, 256});
  chooser.one.push_back({true, 3});
  for (int i = 0; i < 3; ++i) mode->finishSegmentation();
  EXPECT_EQ(chooser.titles.back(), StateSegCurveCyl::kIdTitle);
  EXPECT_EQ(data.mask, before);
  EXPECT_TRUE(data.committed.empty());
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(TCore::getInst().modeId, 9);
  // No tube: told, nothing written, the mode stays.
  chooser.one.push_back({true, 5});
  mode->finishSegmentation();
  EXPECT_TRUE(prompts.sawText(StateSegCurveCyl::kNoVoxelsMessage));
  EXPECT_EQ(data.mask, before);
  EXPECT_EQ(TCore::getInst().modeId, 9);

  // A stored curve along x at (y, z) = (4.5, 4.5), radius 1.45, bent through (5, 4.5, 6.0).
  beginEditing();
  shiftClick(0.5, 4.5, 4.5);
  shiftClick(9.5, 4.5, 4.5);
  shiftClick(5.0, 4.5, 6.0);
  mode->setNewCurveRadius(1.45);
  mode->storeNewCurve();
  panel.editing = false;
  // A new curve far from it counts only while it is being edited: not now.
  beginEditing();
  shiftClick(1.5, 8.5, 8.5);
  shiftClick(3.5, 8.5, 8.5);
  panel.editing = false;
  ASSERT_EQ(mode->storedCurves().size(), 1u);
  const Tstroke3D_tube& tube = mode->storedCurves()[0].tube;
  ASSERT_EQ(tube.points.size(), 7u);

  // The expected voxels: targets whose centre lies within 1.45 of the centre line resampled
  // once more at about one segment per voxel (the stored line's stations are already on it;
  // a finer resampling of a polyline through 0.5 -> 5.0 -> 9.5 keeps its corner), by an
  // independent point-to-segment distance.
  const double a[3] = {0.5, 4.5, 4.5}, m[3] = {5.0, 4.5, 6.0}, b[3] = {9.5, 4.5, 4.5};
  std::vector<std::uint8_t> expect = before;
  int inside = 0;
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const double c[3] = {x + 0.5, y + 0.5, z + 0.5};
        const double d = std::min(distToSegment(c, a, m), distToSegment(c, m, b));
        EXPECT_GT(std::fabs(d - 1.45), 1e-6) << "a centre on the tube's wall: " << x << " " << y << " " << z;
        if (d <= 1.45 && data.flag[at(x, y, z)] == 1) {
          expect[at(x, y, z)] = 5;
          ++inside;
        }
      }
  ASSERT_GT(inside, 50);
  chooser.one.push_back({true, 5});
  mode->finishSegmentation();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  int mismatched = 0;
  for (std::size_t i = 0; i < expect.size(); ++i) mismatched += data.mask[i] != expect[i];
  EXPECT_EQ(mismatched, 0);
  // Region 3 is no target: its plane x = 9 keeps its voxels inside the tube.
  EXPECT_EQ(data.mask[at(9, 4, 4)], 3);
  EXPECT_EQ(data.mask[at(2, 8, 8)], 2);
  EXPECT_EQ(data.committed, (std::vector<int>{5}));
  EXPECT_EQ(data.rebuilt, (std::vector<int>{2}));
  EXPECT_EQ(data.released, (std::vector<int>{4}));
  EXPECT_GE(data.maskDrops, 1);
}
