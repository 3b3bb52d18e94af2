// Contours into constraints: what a contour samples from the volume, which contours contribute
// at all, the packing of samples and row limits, and the normals at crossings of two contours.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "contour_shapes.h"
#include "implicit/TCanvasContour.h"

namespace {

constexpr int kN = 32;
const double kExtent[3] = {64, 48, 32};  // pitches 2, 1.5, 1

std::vector<float> linearVolume(double a, double b, double c) {
  std::vector<float> v(size_t(kN) * kN * kN);
  for (int z = 0; z < kN; ++z)
    for (int y = 0; y < kN; ++y)
      for (int x = 0; x < kN; ++x) v[x + kN * (y + size_t(kN) * z)] = float(a * x + b * y + c * z);
  return v;
}

TCanvasContour circle(double r, int nCtrl) {
  const shapes::Ellipsoid E{{32, 24, 16}, {r, r, r}};
  return shapes::crossSection(E, 2, 16, nCtrl, kExtent);
}

}  // namespace

// On a volume linear in the voxel indices the samples carry the exact value and slope (x weight,
// per pitch), and every sample lies on the stroke with its in-plane normal pointing inwards.
TEST(ContourSampling, ValuesGradientsAndNormalsOnALinearVolume) {
  const std::vector<float> vol = linearVolume(2, 3, 5);
  TCanvasContour c = circle(10, 12);
  const double w = 0.5;
  c.calcSamples(kExtent, 1, kN, kN, kN, vol.data(), nullptr, nullptr, 1.0, w, 0.7, 0.0);
  ASSERT_GT(c.samples.size(), 50u);
  ASSERT_EQ(c.rbfPoints.size(), 3 * c.samples.size());
  const double pitch[3] = {2, 1.5, 1};
  for (const THrbfSample& s : c.samples) {
    const double ix = s.pos[0] / 2 - 0.5, iy = s.pos[1] / 1.5 - 0.5, iz = s.pos[2] - 0.5;
    EXPECT_NEAR(s.val[0], w * (2 * ix + 3 * iy + 5 * iz), 1e-4);
    EXPECT_NEAR(s.grad[0][0], w * 2 / pitch[0], 1e-9);
    EXPECT_NEAR(s.grad[0][1], w * 3 / pitch[1], 1e-9);
    EXPECT_NEAR(s.grad[0][2], w * 5 / pitch[2], 1e-9);
    const double toCentre[2] = {32 - s.pos[0], 24 - s.pos[1]};
    EXPECT_GT(toCentre[0] * s.inPlaneNormal[0] + toCentre[1] * s.inPlaneNormal[1], 0.0);
    EXPECT_NEAR(s.inPlaneNormal[2], 0.0, 1e-12);
  }
  // Value points: on the stroke, then offset inside and outside along the joint normal.
  for (size_t i = 0; i < c.samples.size(); ++i) {
    const TRbfPoint& in = c.rbfPoints[3 * i + 1];
    const TRbfPoint& out = c.rbfPoints[3 * i + 2];
    const double rin = std::hypot(in.pos[0] - 32, in.pos[1] - 24), rout = std::hypot(out.pos[0] - 32, out.pos[1] - 24);
    EXPECT_LT(rin, rout);
    EXPECT_DOUBLE_EQ(in.value, 0.7);
    EXPECT_DOUBLE_EQ(out.value, -0.7);
  }
}

// A contour that is not one yet (fewer than three control points, or no length) yields no
// samples: it drops what it held, puts nothing at the origin, and gathering skips whatever
// stale samples a stored one still carries.
TEST(ContourSampling, DegenerateContoursContributeNothing) {
  const std::vector<float> vol = linearVolume(1, 0, 0);
  TCanvasContour good = circle(8, 8);
  good.calcSamples(kExtent, 1, kN, kN, kN, vol.data(), nullptr, nullptr, 2.0, 1.0, 0.5, 0.0);
  ASSERT_FALSE(good.samples.empty());

  TCanvasContour two = good;  // stale samples, then shrunk to two control points
  two.eraseControlPoint(0);
  while (two.controlPoints.size() > 2) two.eraseControlPoint(0);
  TCanvasContour stale = two;
  two.calcSamples(kExtent, 1, kN, kN, kN, vol.data(), nullptr, nullptr, 2.0, 1.0, 0.5, 0.0);
  EXPECT_TRUE(two.samples.empty());
  EXPECT_TRUE(two.rbfPoints.empty());

  TCanvasContour point = good;  // three control points on one spot: no length
  point.controlPoints.assign(3, TVec3(10, 10, 16));
  point.updateStroke();
  point.calcSamples(kExtent, 1, kN, kN, kN, vol.data(), nullptr, nullptr, 2.0, 1.0, 0.5, 0.0);
  EXPECT_TRUE(point.samples.empty());

  // Gathering: a stale stored contour and an empty drawn one add empty blocks.
  ASSERT_FALSE(stale.samples.empty());
  std::vector<TCanvasContour> stored = {good, stale, good};
  TCanvasContour drawn;
  unsigned nNew = 99, nPrev = 0;
  std::vector<int> rb;
  std::vector<THrbfSample> packed;
  t_gatherContourConstraints(1, stored, drawn, nNew, nPrev, rb, packed);
  const unsigned n = unsigned(good.samples.size());
  EXPECT_EQ(nNew, 0u);
  EXPECT_EQ(nPrev, 2 * n);
  ASSERT_EQ(packed.size(), size_t(2 * n));
  EXPECT_EQ(packed[n].pos[0], good.samples[0].pos[0]);
  ASSERT_EQ(rb.size(), size_t(5 * (2 * n + 1)));
  // Every row's limit lies inside the matrix or one past the first block, and no sample row may
  // take its pivot from below its own block's end.
  for (size_t r = 5; r < rb.size(); ++r) {
    const int last = r < 5 * (n + 1) ? int(5 * (n + 1) - 1) : int(5 * (2 * n + 1) - 1);
    EXPECT_EQ(rb[r], last) << r;
  }
  for (int r = 0; r < 5; ++r) EXPECT_EQ(rb[size_t(r)], int(5 * (n + 1)));
}

// Where two contours on orthogonal canvases cross, the two handles agree on one surface normal:
// perpendicular to both strokes, on the inner side of both, and the sample fixed there takes it.
TEST(ContourCrossings, HandlesAgreeOnTheSurfaceNormal) {
  const double ext[3] = {64, 64, 64};
  const shapes::Ellipsoid E{{32, 32, 32}, {20, 14, 10}};
  std::vector<TCanvasContour> cs = shapes::crossSections(E, 6, 12, ext);
  const std::vector<float> vol(size_t(kN) * kN * kN, 0.0f);
  for (auto& c : cs) c.calcSamples(ext, 1, kN, kN, kN, vol.data(), nullptr, nullptr, 1.0, 1.0, 0.5, 0.0);
  for (size_t i = 0; i < cs.size(); ++i)
    for (size_t j = i + 1; j < cs.size(); ++j) TCanvasContour::calcCrossPoints(int(i), cs[i], int(j), cs[j], 2.25);
  for (auto& c : cs) c.applyTiltAngles(1, 0.0, 0.0);

  int checked = 0;
  for (size_t i = 0; i < cs.size(); ++i) {
    for (const auto& kv : cs[i].tiltHandles) {
      const TTiltHandle& h = kv.second;
      ASSERT_TRUE(std::isfinite(h.angle));
      ASSERT_GE(h.otherContour, 0);
      // The handle of the other contour at the same crossing.
      const TTiltHandle* o = nullptr;
      for (const auto& kv2 : cs[size_t(h.otherContour)].tiltHandles)
        if (kv2.second.otherContour == int(i) && t_dist3(kv2.second.pos, h.pos) < 1.5) o = &kv2.second;
      ASSERT_NE(o, nullptr);
      EXPECT_GT(t_dot3(h.axis, o->axis), 0.999);
      EXPECT_NEAR(t_dot3(h.axis, h.dir), 0.0, 1e-9);
      // The ellipsoid's inward normal at the crossing.
      double g[3];
      for (int a = 0; a < 3; ++a) g[a] = -(h.pos[a] - E.c[a]) / (E.r[a] * E.r[a]);
      t_normalize3(g);
      EXPECT_GT(t_dot3(h.axis, g), 0.9);
      // The sample nearest the handle carries the axis as its normal.
      const THrbfSample* best = nullptr;
      for (const THrbfSample& s : cs[i].samples)
        if (!best || std::fabs(s.arcPos - h.arcPos) < std::fabs(best->arcPos - h.arcPos)) best = &s;
      EXPECT_GT(t_dot3(best->normal, g), 0.9);
      ++checked;
    }
  }
  EXPECT_GE(checked, 24);  // every pair of the six sections on different canvases meets twice
}
