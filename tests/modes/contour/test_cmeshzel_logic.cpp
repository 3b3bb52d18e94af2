// The two-step contour-mesh mode (11) driven headless: an axis along z through an elongated
// ellipsoid, its eight planes, one contour drawn on each, and both boundary surfaces compared
// with the analytic shape; the planes' frame for every axis direction; contour files that
// round-trip byte for byte and damaged ones refused with the mode unchanged; entry refusals and
// surfaces refused when the feature volume could not be built.
// The panel, the view and the volume are fakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/contmesh_s2_file.h"
#include "tests/modes/contour/contour_logic_fixture.h"
#include "tests/modes/contour/failing_new.h"

namespace {

constexpr int NX = 24, NY = 24, NZ = 40;
constexpr double kPitch = 0.05;
const double kC[3] = {0.6, 0.6, 1.0}, kA[3] = {0.35, 0.35, 0.75};

bool inEllipsoid(const double q[3]) {
  double s = 0;
  for (int k = 0; k < 3; ++k) s += (q[k] - kC[k]) * (q[k] - kC[k]) / (kA[k] * kA[k]);
  return s <= 1.0;
}
bool voxelIn(int x, int y, int z) {
  const double q[3] = {(x + 0.5) * kPitch, (y + 0.5) * kPitch, (z + 0.5) * kPitch};
  return inEllipsoid(q);
}

class FakePanel : public TModePanelIf, public TDlgSegCMeshZelIf {
 public:
  bool step2 = false, started = false, surface = true, region = true;
  int weight = 200;
  void showPanel() override {}
  void hidePanel() override {}
  void updateControls() override { step2 = started = false, surface = region = true, weight = 200; }
  bool isStep2() const override { return step2; }
  void setStep2(bool on) override { step2 = on, started = false; }
  bool isContourStarted() const override { return started; }
  void setContourStarted(bool on) override { started = on; }
  bool showSurface() const override { return surface; }
  void setShowSurface(bool on) override { surface = on; }
  bool showRegion() const override { return region; }
  void setShowRegion(bool on) override { region = on; }
  int weightPosition() const override { return weight; }
  void setWeightPosition(int p) override { weight = std::max(1, std::min(500, p)); }
};

class EllipsoidData : public FakeRegionData {
 public:
  std::vector<float> ch;
  double lo = 0, hi = 1000;
  EllipsoidData() {
    mask.assign(NX * NY * NZ, 0);
    flag.assign(NX * NY * NZ, 0);
    ch.assign(NX * NY * NZ, 0.0f);
    for (int z = 0; z < NZ; ++z)
      for (int y = 0; y < NY; ++y)
        for (int x = 0; x < NX; ++x) ch[x + NX * (y + NY * z)] = voxelIn(x, y, z) ? 1000.0f : 0.0f;
  }
  bool volumeValues(VolumeValues& v) override {
    v.W = NX, v.H = NY, v.D = NZ;
    v.channels = 1;
    v.ch[0] = ch.data();
    v.rangeLo[0] = lo;
    v.rangeHi[0] = hi;
    return true;
  }
};

class CMeshZelLogic : public ContourModeTest<StateSegCMeshZel, FakePanel, EllipsoidData> {
 protected:
  CMeshZelLogic() : ContourModeTest("StateSegCMeshZel", 11) {}
  void SetUp() override {
    host.volW = NX, host.volH = NY, host.volD = NZ;
    host.extent[0] = NX * kPitch, host.extent[1] = NY * kPitch, host.extent[2] = NZ * kPitch;
    ContourModeTest::SetUp();
  }
  // Entered afresh from the visualisation mode.
  void enter() override {
    TCore::getInst().setMode(0);
    ContourModeTest::enter();
  }
  void doubleClick(const TVec3& p) {
    for (int k = 0; k < 3; ++k) host.pick[k] = p[k];
    mode->OnLBtnDclk(TPoint2i(5, 5));
  }
  // The axis along z from just above the ellipsoid's lower tip: the planes reach its upper tip.
  void setAxis() {
    doubleClick(TVec3(0.6, 0.6, 0.30));
    doubleClick(TVec3(0.3, 0.3, 0.5));
    doubleClick(TVec3(0.6, 0.6, 0.30 + 1.4 / 1.6));  // moves the second point
    ASSERT_EQ(mode->axisCount(), 2);
    ASSERT_TRUE(mode->goStep2());
    ASSERT_TRUE(panel.step2);
  }
  // A Shift + left click at q on the drawn contour's canvas, the ray along the canvas normal.
  void click(const TVec3& q, const double n[3]) {
    for (int k = 0; k < 3; ++k) host.next.org[k] = q[k] + 3 * n[k], host.next.dir[k] = -n[k];
    host.keys = TModeState::MK_SHIFT;
    mode->OnLBtnDown(TPoint2i(100, 50));
    host.keys = 0;
    mode->OnLBtnUp(TPoint2i(100, 50));
  }
  // The ellipsoid's section on the current plane, sixteen points counter-clockwise about the
  // plane's normal, the region inside the loop; registered.
  void drawSection() {
    mode->startContour();
    ASSERT_TRUE(panel.started);
    const TCanvasContour& c = mode->drawnContour();
    const double* n = c.canvas.direction;
    const double* o = c.canvasFrame[1].data();
    double e1[3] = {-n[1], n[0], 0};
    if (!t_normalize3(e1)) e1[0] = 1, e1[1] = e1[2] = 0;
    double e2[3];
    t_cross3(n, e1, e2);
    // Spaced evenly along the section (directions scaled by the shape's reach along e1, e2); a
    // point off the plane's quad is clicked on its edge instead.
    double s1 = 0, s2 = 0;
    for (int k = 0; k < 3; ++k) s1 += e1[k] * e1[k] / (kA[k] * kA[k]), s2 += e2[k] * e2[k] / (kA[k] * kA[k]);
    s1 = 1 / std::sqrt(s1), s2 = 1 / std::sqrt(s2);
    for (int i = 0; i < 16; ++i) {
      const double t = 2 * M_PI * i / 16;
      double d[3], a = 0, b = 0, cc = -1;
      for (int k = 0; k < 3; ++k) d[k] = std::cos(t) * s1 * e1[k] + std::sin(t) * s2 * e2[k];
      t_normalize3(d);
      for (int k = 0; k < 3; ++k) {
        a += d[k] * d[k] / (kA[k] * kA[k]);
        b += 2 * (o[k] - kC[k]) * d[k] / (kA[k] * kA[k]);
        cc += (o[k] - kC[k]) * (o[k] - kC[k]) / (kA[k] * kA[k]);
      }
      const double r = (-b + std::sqrt(b * b - 4 * a * cc)) / (2 * a);
      const size_t before = c.controlPoints.size();
      for (double f = 1.0; f > 0.5 && c.controlPoints.size() == before; f -= 0.01)
        click(TVec3(o[0] + f * r * d[0], o[1] + f * r * d[1], o[2] + f * r * d[2]), n);
    }
    ASSERT_EQ(c.controlPoints.size(), 16u);
    mode->flipSide();
    ASSERT_TRUE(mode->registerContour());
    EXPECT_FALSE(panel.started);
  }
  void drawEight() {
    for (int k = 0; k < 8; ++k) {
      ASSERT_EQ(mode->currentPlane(), k);
      drawSection();
      mode->OnKeyDown('Q', 1, 0);
    }
    ASSERT_EQ(mode->currentPlane(), 0);
    ASSERT_EQ(mode->contours().size(), 8u);
  }
  double dice() const {
    long both = 0, a = 0, b = 0;
    for (int z = 0; z < NZ; ++z)
      for (int y = 0; y < NY; ++y)
        for (int x = 0; x < NX; ++x) {
          const bool r = data.flag[x + NX * (y + NY * z)] == 255, e = voxelIn(x, y, z);
          both += r && e, a += r, b += e;
        }
    return a + b ? 2.0 * both / double(a + b) : 0.0;
  }
  // Parts of the region (voxels touching by a face, an edge or a corner are connected).
  int regionParts() const {
    std::vector<char> seen(data.flag.size(), 0);
    int parts = 0;
    for (size_t s = 0; s < data.flag.size(); ++s) {
      if (data.flag[s] != 255 || seen[s]) continue;
      ++parts;
      std::vector<size_t> stack = {s};
      seen[s] = 1;
      while (!stack.empty()) {
        const size_t i = stack.back();
        stack.pop_back();
        const int x = int(i % NX), y = int(i / NX % NY), z = int(i / (NX * NY));
        for (int o = 0; o < 27; ++o) {
          const int X = x + o % 3 - 1, Y = y + o / 3 % 3 - 1, Z = z + o / 9 - 1;
          if (X < 0 || Y < 0 || Z < 0 || X >= NX || Y >= NY || Z >= NZ) continue;
          const size_t j = size_t(X + NX * (Y + NY * Z));
          if (data.flag[j] == 255 && !seen[j]) seen[j] = 1, stack.push_back(j);
        }
      }
    }
    return parts;
  }
  // The surface's vertices lie on the labelled region's boundary (no sheet around a pocket).
  void expectSurfaceOnRegion() const {
    const TTriangleMesh& m = mode->boundarySurface();
    ASSERT_GT(m.vertexCount, 100);
    int off = 0;
    for (const TVec3& v : m.verts) {
      bool near = false;
      const int x = int(v[0] / kPitch), y = int(v[1] / kPitch), z = int(v[2] / kPitch);
      for (int dz = -1; dz <= 1 && !near; ++dz)
        for (int dy = -1; dy <= 1 && !near; ++dy)
          for (int dx = -1; dx <= 1 && !near; ++dx) {
            const int X = x + dx, Y = y + dy, Z = z + dz;
            near = X >= 0 && Y >= 0 && Z >= 0 && X < NX && Y < NY && Z < NZ &&
                   data.flag[size_t(X + NX * (Y + NY * Z))] == 255;
          }
      off += !near;
    }
    EXPECT_EQ(off, 0);
  }
  std::string tmp(const char* name) const { return testing::TempDir() + name; }
  static std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
};

}  // namespace

TEST_F(CMeshZelLogic, EightPlaneContoursAlongAZAxisGiveTheEllipsoid) {
  for (uint8_t f : data.flag) ASSERT_EQ(f, 1);
  ASSERT_TRUE(mode->feature());
  // Step 2 needs two axis points.
  doubleClick(TVec3(0.6, 0.6, 0.3));
  EXPECT_FALSE(mode->goStep2());
  EXPECT_FALSE(panel.step2);
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(prompts.texts()[0], StateSegCMeshZel::kAxisMessage);
  mode->backToStep1();
  setAxis();

  // Eight full-size planes, each seen from outside it.
  ASSERT_EQ(mode->planes().size(), 8u);
  for (int k = 0; k < 8; ++k) {
    const ClipSurface& p = mode->planes()[size_t(k)];
    ASSERT_EQ(p.vertexCount, 4);
    EXPECT_GT(t_dist3(p.verts[0], p.verts[2]), 1.0) << "plane " << k;
    const auto& vp = mode->viewpoints()[size_t(k)];
    EXPECT_GT(t_dist3(vp.data(), vp.data() + 3), 1.0) << "plane " << k;
  }

  // A contour of two points is refused and stays in editing.
  mode->startContour();
  const TVec3 c(mode->viewpoints()[0][3], mode->viewpoints()[0][4], mode->viewpoints()[0][5]);
  const double* n = mode->drawnContour().canvas.direction;
  click(c, n);
  click(TVec3(c[0], c[1], c[2] + 0.2), n);
  ASSERT_EQ(mode->drawnContour().controlPoints.size(), 2u);
  EXPECT_FALSE(mode->registerContour());
  EXPECT_TRUE(panel.started);
  EXPECT_EQ(prompts.texts().back(), StateSegCMeshZel::kTooFewPointsMessage);
  mode->discardContour();

  drawEight();
  const size_t messages = prompts.texts().size();
  mode->calcSurfaceHrbf();
  EXPECT_EQ(prompts.texts().size(), messages) << prompts.texts().back();
  std::fprintf(stderr, "Dice of the Hermite-RBF region %.4f\n", dice());
  EXPECT_GE(dice(), 0.95);
  EXPECT_EQ(regionParts(), 1);
  expectSurfaceOnRegion();
  const std::vector<uint8_t> hrbf = data.flag;

  // A drawn contour of two points takes no part.
  mode->startContour();
  click(c, mode->drawnContour().canvas.direction);
  click(TVec3(c[0], c[1], c[2] + 0.2), mode->drawnContour().canvas.direction);
  mode->calcSurfaceHrbf();
  EXPECT_TRUE(data.flag == hrbf);
  mode->discardContour();

  mode->calcSurfaceRbf();
  EXPECT_EQ(prompts.texts().size(), messages) << prompts.texts().back();
  std::fprintf(stderr, "Dice of the RBF region %.4f\n", dice());
  EXPECT_GE(dice(), 0.9);
  EXPECT_EQ(regionParts(), 1);
  expectSurfaceOnRegion();

  // "Finish" stores the region and leaves for mode 3.
  chooser.one.push_back({true, 4});
  mode->finish();
  EXPECT_EQ(TCore::getInst().modeId, 3);
  ASSERT_EQ(data.committed.size(), 1u);
  EXPECT_EQ(data.committed[0], 4);
}

// Samples at one place (a contour registered twice here; on the axis, where every plane meets
// the others, in use) would make the systems singular: both surfaces are still computed.
TEST_F(CMeshZelLogic, CoincidingContoursStillGiveTheEllipsoid) {
  setAxis();
  drawSection();
  for (int k = 0; k < 8; ++k) {
    drawSection();
    mode->OnKeyDown('Q', 1, 0);
  }
  ASSERT_EQ(mode->contours().size(), 9u);
  const size_t messages = prompts.texts().size();
  mode->calcSurfaceHrbf();
  ASSERT_EQ(prompts.texts().size(), messages) << prompts.texts().back();
  EXPECT_GE(dice(), 0.95);
  mode->calcSurfaceRbf();
  ASSERT_EQ(prompts.texts().size(), messages) << prompts.texts().back();
  EXPECT_GE(dice(), 0.9);
}

TEST_F(CMeshZelLogic, ThePlanesHaveAFrameForEveryAxisDirection) {
  std::vector<TVec3> dirs = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}, {1, 1, 1}, {1e-9, 0, 1}, {0, 0, 0}};
  for (int i = 0; i < 20; ++i) dirs.push_back(TVec3(std::sin(i * 1.3), std::cos(i * 0.7), std::sin(i * 2.9 + 1)));
  for (const TVec3& d : dirs) {
    TVec3 a, u, w;
    t_cmeshAxisFrame(TVec3(1, 2, 3), TVec3(1 + d[0], 2 + d[1], 3 + d[2]), a, u, w);
    EXPECT_NEAR(t_length3(a), 1, 1e-9);
    EXPECT_NEAR(t_length3(u), 1, 1e-9) << d[0] << " " << d[1] << " " << d[2];
    EXPECT_NEAR(t_length3(w), 1, 1e-9);
    EXPECT_NEAR(t_dot3(a, u), 0, 1e-9);
    EXPECT_NEAR(t_dot3(a, w), 0, 1e-9);
    EXPECT_NEAR(t_dot3(u, w), 0, 1e-9);
  }
  // Away from z the frame is the z axis made perpendicular to the axis.
  TVec3 a, u, w;
  t_cmeshAxisFrame(TVec3(0, 0, 0), TVec3(2, 0, 1), a, u, w);
  EXPECT_NEAR(u[2], 2 / std::sqrt(5.0), 1e-12);
  EXPECT_GT(u[2], 0);

  // Coincident axis points: the planes collapse onto the point, their eyes stay away from it.
  doubleClick(TVec3(0.5, 0.5, 0.5));
  doubleClick(TVec3(0.5, 0.5, 0.5));
  ASSERT_TRUE(mode->goStep2());
  for (const auto& vp : mode->viewpoints()) {
    EXPECT_NEAR(t_dist3(vp.data() + 3, TVec3(0.5, 0.5, 0.5)), 0, 1e-12);
    EXPECT_GT(t_dist3(vp.data(), vp.data() + 3), 0.5);
    EXPECT_NEAR(t_length3(vp.data() + 6), 1, 1e-9);
  }
}

TEST_F(CMeshZelLogic, ContourFilesRoundTripAndDamagedFilesChangeNothing) {
  const std::string path = tmp("cmesh.kestrnContMeshS2");
  std::remove(path.c_str());
  // Outside step 2 nothing is written.
  EXPECT_FALSE(mode->saveContours(path));
  EXPECT_EQ(prompts.texts().back(), StateSegCMeshZel::kStep2OnlyMessage);
  EXPECT_FALSE(std::ifstream(path).good());

  setAxis();
  for (int k = 0; k < 3; ++k) {
    drawSection();
    mode->nextPlane();
  }
  panel.weight = 29;  // written 0.290000: read back as 29, not truncated to 28
  ASSERT_TRUE(mode->saveContours(path));
  const std::string text = slurp(path);
  ASSERT_EQ(text.rfind("#ContMeshData1 3\n", 0), 0u);
  ASSERT_NE(text.find("\ncpRad      0.010000\ncontRad    0.010000\nbInsideDir 1\nbClosed    0\n"), std::string::npos);
  ASSERT_EQ(text.substr(text.size() - 16), "#ContMeshDataEnd");

  // Loaded into a fresh entry: step 2, the contours, the weight; saved again, the same bytes.
  enter();
  EXPECT_FALSE(panel.step2);
  ASSERT_TRUE(mode->loadContours(path));
  EXPECT_TRUE(panel.step2);
  EXPECT_EQ(mode->planes().size(), 8u);
  EXPECT_EQ(mode->currentPlane(), 0);
  ASSERT_EQ(mode->contours().size(), 3u);
  EXPECT_EQ(panel.weight, 29);
  const std::string again = tmp("cmesh2.kestrnContMeshS2");
  ASSERT_TRUE(mode->saveContours(again));
  EXPECT_EQ(slurp(again), text);

  // Damaged files: refused with a message, the mode and the panel as they were.
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string t = text;
    const size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? t : t.replace(at, from.size(), to);
  };
  const std::string first = text.substr(0, text.find('\n') + 1);
  const std::vector<std::string> damaged = {
      text.substr(0, text.size() / 2),
      replaced("\n0 2 3\n", "\n0 2 4\n"),
      replaced("\n0 2 3\n", "\n0 2 -1\n"),
      replaced("\n0 2 3\n", "\n0 2 2\n"),
      replaced("#ContMeshData1 3", "#ContMeshData1 2000000000"),
      replaced("#ContMeshData1 3", "#ContMeshData1 4"),
      replaced("bClosed    0", "bClosed    2"),
      replaced("cpSize ", "cpSize 99999999 "),
      replaced("param_Wcolor      0.290000", "param_Wcolor      nan"),
      text + " trailing",
      std::string("#ContMeshData1 %s"),
  };
  panel.weight = 77;
  mode->nextPlane();
  for (size_t i = 0; i < damaged.size(); ++i) {
    const std::string bad = tmp("bad.kestrnContMeshS2");
    std::ofstream(bad, std::ios::binary) << damaged[i];
    const size_t before = prompts.texts().size();
    EXPECT_FALSE(mode->loadContours(bad)) << i;
    EXPECT_EQ(prompts.texts().size(), before + 1) << i;
    EXPECT_TRUE(panel.step2) << i;
    EXPECT_EQ(mode->contours().size(), 3u) << i;
    EXPECT_EQ(mode->currentPlane(), 1) << i;
    EXPECT_EQ(panel.weight, 77) << i;
  }
  EXPECT_FALSE(mode->loadContours(tmp("missing.kestrnContMeshS2")));
  EXPECT_EQ(mode->contours().size(), 3u);
  // A file that cannot be written is reported.
  const size_t before = prompts.texts().size();
  EXPECT_FALSE(mode->saveContours("/nonexistent-dir/x.kestrnContMeshS2"));
  EXPECT_EQ(prompts.texts().size(), before + 1);
}

TEST_F(CMeshZelLogic, EntryAndLabellingRefuseWhatIsNotThere) {
  // Cancelling the target choice leaves for mode 3 without touching the flags.
  TCore::getInst().setMode(0);
  data.flag.assign(data.flag.size(), 7);
  chooser.many.push_back({false, {}});
  TCore::getInst().setMode(11);
  EXPECT_EQ(TCore::getInst().modeId, 3);
  for (uint8_t f : data.flag) ASSERT_EQ(f, 7);

  // A flat channel gives a constant feature, not a division by zero.
  data.lo = data.hi = 1000;
  enter();
  ASSERT_TRUE(mode->feature());
  for (float v : *mode->feature()) ASSERT_EQ(v, (*mode->feature())[0]);
  ASSERT_TRUE(std::isfinite((*mode->feature())[0]));

  // A positive pocket the grower never reached is outside, in the labels and in the field.
  const uint8_t grown[6] = {2, 2, 0, 0, 2, 3};
  float field[6] = {0.5f, -0.2f, 0.7f, -0.3f, 0.4f, 0.9f};
  uint8_t flags[6] = {1, 1, 1, 1, 0, 1};
  t_cmeshApplyGrown(6, flags, grown, [](uint8_t l) { return l == 2; }, field);
  const uint8_t want[6] = {255, 255, 1, 1, 0, 1};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(flags[i], want[i]) << i;
    EXPECT_EQ(field[i] > 0, want[i] == 255) << i;
  }
  EXPECT_EQ(field[0], 0.5f);
  EXPECT_EQ(field[3], -0.3f);
  EXPECT_EQ(field[4], -1.0f);

  // Memory running out while the feature is built: said at entry, and both surfaces are refused
  // with that text instead of reading a feature volume that is not there.
  data.lo = 0;
  prompts.shown.clear();
  {
    FailAllocations oom(sizeof(float) * NX * NY * NZ);
    enter();
  }
  ASSERT_FALSE(mode->feature());
  EXPECT_EQ(prompts.texts().size(), 1u);
  setAxis();
  drawSection();
  mode->nextPlane();
  drawSection();
  prompts.shown.clear();
  const std::vector<uint8_t> before = data.flag;
  mode->calcSurfaceHrbf();
  mode->calcSurfaceRbf();
  EXPECT_EQ(prompts.texts(), std::vector<std::string>(2, kFeaturesMissingMessage));
  EXPECT_EQ(data.flag, before);
  EXPECT_EQ(mode->boundarySurface().vertexCount, 0);
}
