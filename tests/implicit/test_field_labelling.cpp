// Labelling from solved fields: spheres and ellipsoids drawn as cross-sections on the three
// canvas orientations come back as voxel regions that match the analytic shape; surface tracking
// and region growing agree on convex shapes; a shape cut by any face of the volume, in either
// joint space, neither lets the outside in through the cut nor loses the cut's face voxels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "contour_shapes.h"
#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"
#include "implicit/hrbf_engine.h"
#include "implicit/rbf.h"

namespace {

constexpr int kN = 64;
const double kExtent[3] = {64, 64, 64};

struct ShapeRun {
  int n = kN;  // the volume is n^3 voxels in a box of n
  THrbfRegionOrder order;
  std::vector<TCanvasContour> contours;
  std::vector<float> vol[3];
};

// The mode's steps: sample every contour, crossings of every pair, tilt angles, then gather the
// first contours as stored and the last as the one being drawn.
void prepare(ShapeRun& r, const shapes::Ellipsoid& E, int nContours, int nChannels, double spacing) {
  const int n = r.n;
  const double extent[3] = {double(n), double(n), double(n)};
  for (int c = 0; c < 3; ++c) {
    r.vol[c].assign(size_t(n) * n * n, 0.0f);
    for (size_t i = 0; i < r.vol[c].size(); ++i) r.vol[c][i] = float(40 * c + (i % 7));  // mild texture
  }
  r.contours = shapes::crossSections(E, nContours, 12, extent);
  for (auto& c : r.contours)
    c.calcSamples(extent, nChannels, n, n, n, r.vol[0].data(), r.vol[1].data(), r.vol[2].data(), spacing, 0.002,
                  1.0, 0.1);
  for (size_t i = 0; i < r.contours.size(); ++i)
    for (size_t j = i + 1; j < r.contours.size(); ++j)
      TCanvasContour::calcCrossPoints(int(i), r.contours[i], int(j), r.contours[j], 2.25);
  for (auto& c : r.contours) c.applyTiltAngles(nChannels, 0.0, 0.1);

  THrbfRegionOrder& o = r.order;
  std::vector<TCanvasContour> stored(r.contours.begin(), r.contours.end() - 1);
  t_gatherContourConstraints(nChannels, stored, r.contours.back(), o.newPt, o.prePt, o.rowBlockEnd, o.samples);
  o.kernel = 1;
  o.nChannels = nChannels;
  o.weight = 0.002;
  o.W = o.H = o.D = n;
  for (int a = 0; a < 3; ++a) {
    o.extent[a] = extent[a];
    o.vol[a] = r.vol[a].data();
    o.lo[a] = std::max(0, int(E.c[a] - E.r[a]) - 3);
    o.hi[a] = std::min(n - 1, int(E.c[a] + E.r[a]) + 3);
  }
  o.target.assign(size_t(n) * n * n, 1);
}

double dice(const std::vector<uint8_t>& label, uint8_t inside, const shapes::Ellipsoid& E, int n = kN) {
  size_t both = 0, a = 0, b = 0;
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double p[3] = {x + 0.5, y + 0.5, z + 0.5};
        const bool in = label[x + n * (y + size_t(n) * z)] == inside;
        const bool ref = E.contains(p);
        both += in && ref;
        a += in;
        b += ref;
      }
  return 2.0 * double(both) / double(a + b);
}

// Volume enclosed by a closed mesh whose triangles face outwards.
double meshVolume(const TTriangleMesh& m) {
  double v = 0;
  for (const TPolyIdx& t : m.polys) {
    double c[3];
    t_cross3(m.verts[size_t(t[1])], m.verts[size_t(t[2])], c);
    v += t_dot3(m.verts[size_t(t[0])], c) / 6.0;
  }
  return v;
}

}  // namespace

TEST(FieldLabelling, ShapesFromContoursOnThreeCanvases) {
  const shapes::Ellipsoid shapesToTest[2] = {{{32, 32, 32}, {20, 20, 20}}, {{31, 33, 32}, {22, 16, 12}}};
  for (const shapes::Ellipsoid& E : shapesToTest) {
    for (int n : {3, 6, 12, 24}) {
      SCOPED_TRACE("radii " + std::to_string(E.r[0]) + " contours " + std::to_string(n));
      ShapeRun r;
      prepare(r, E, n, 1, n <= 6 ? 3.0 : 6.0);
      THrbfFactorCache cache;
      THrbfRegionResult grown, tracked;
      r.order.surfaceTrack = false;
      ASSERT_EQ(t_hrbfComputeRegion(r.order, cache, grown), THrbfStatus::Ok);
      r.order.surfaceTrack = true;
      ASSERT_EQ(t_hrbfComputeRegion(r.order, cache, tracked), THrbfStatus::Ok);
      const double d = dice(grown.label, 255, E);
      EXPECT_GE(d, 0.98);
      size_t differ = 0;
      for (size_t i = 0; i < grown.label.size(); ++i) differ += grown.label[i] != tracked.label[i];
      EXPECT_EQ(differ, 0u);
      // Both boundary surfaces enclose the shape's volume.
      const double exact = 4.0 / 3.0 * M_PI * E.r[0] * E.r[1] * E.r[2];
      EXPECT_NEAR(meshVolume(grown.mesh), exact, 0.03 * exact);
      EXPECT_NEAR(meshVolume(tracked.mesh), exact, 0.03 * exact);
    }
  }
}

// Six-dimensional joint space (three channels) and space alone label the same sphere.
TEST(FieldLabelling, ColourAndSpatialVariants) {
  const shapes::Ellipsoid E{{32, 32, 32}, {18, 18, 18}};
  ShapeRun r;
  prepare(r, E, 6, 3, 3.0);
  THrbfFactorCache cache;
  THrbfRegionResult grown, tracked;
  r.order.surfaceTrack = false;
  ASSERT_EQ(t_hrbfComputeRegion(r.order, cache, grown), THrbfStatus::Ok);
  r.order.surfaceTrack = true;
  ASSERT_EQ(t_hrbfComputeRegion(r.order, cache, tracked), THrbfStatus::Ok);
  EXPECT_GE(dice(grown.label, 255, E), 0.98);
  EXPECT_GE(dice(tracked.label, 255, E), 0.98);

  // Space alone: its own system from the same samples.
  const std::vector<THrbfSample>& s = r.order.samples;
  const int N = int(s.size()), n = 4 * (N + 1);
  TDenseSqMat m(n);
  std::vector<double> rhs(static_cast<size_t>(n)), coef(static_cast<size_t>(n));
  t_hrbfSpatial_buildSystem(1, N, s.data(), rhs.data(), &m);
  ASSERT_TRUE(m.factorLU());
  ASSERT_TRUE(m.solveLU(rhs.data(), coef.data()));
  std::vector<uint8_t> label(size_t(kN) * kN * kN, 7);  // entry content is ignored
  std::vector<float> field(label.size());
  t_hrbfSpatial_regionGrow(1, kN, kN, kN, kExtent, N, coef.data(), s.data(), r.order.lo, r.order.hi, label.data(),
                           field.data());
  EXPECT_GE(dice(label, 2, E), 0.98);
}

// A sphere cut by one face of the volume (parameter: 2 axis + 1 for the far face): the region is
// the part inside the volume, in the 4-D and the 6-D joint space, grown and tracked.  The outside
// flood, which starts on the faces, must neither pour in through the cut nor leave the cut's face
// voxels out, and every value the labelling evaluated (all threads at once) is the per-point
// evaluator's.
class ShapeCutByVolumeFace : public ::testing::TestWithParam<int> {};

TEST_P(ShapeCutByVolumeFace, IsLabelledUpToTheFace) {
  const int n = 24, axis = GetParam() / 2;
  const bool far = GetParam() % 2 == 1;
  shapes::Ellipsoid E{{12, 12, 12}, {8, 8, 8}};
  E.c[axis] = far ? n - 3 : 3;
  const int faceLayer = far ? n - 1 : 0;
  for (int channels : {1, 3}) {
    ShapeRun r;
    r.n = n;
    prepare(r, E, 6, channels, 3.0);
    THrbfFactorCache cache;
    for (bool track : {false, true}) {
      SCOPED_TRACE(std::string(channels == 1 ? "4-D " : "6-D ") + (track ? "tracking" : "growing"));
      THrbfRegionResult res;
      r.order.surfaceTrack = track;
      ASSERT_EQ(t_hrbfComputeRegion(r.order, cache, res), THrbfStatus::Ok);
      EXPECT_GE(dice(res.label, 255, E, n), 0.95);
      size_t faceWrong = 0, faceShape = 0;
      for (int v = 0; v < n; ++v)
        for (int u = 0; u < n; ++u) {
          int q[3];
          q[axis] = faceLayer;
          q[(axis + 1) % 3] = u;
          q[(axis + 2) % 3] = v;
          const double p[3] = {q[0] + 0.5, q[1] + 0.5, q[2] + 0.5};
          const bool in = res.label[q[0] + size_t(n) * (q[1] + size_t(n) * q[2])] == 255;
          faceShape += E.contains(p);
          faceWrong += in != E.contains(p);
        }
      // (The 6-D opening trims the rim of a cut on the near faces: a ring, not the layer.)
      EXPECT_GT(faceShape, 150u);
      EXPECT_LT(faceWrong, faceShape / 4);

      if (channels != 1) continue;
      const int N = int(r.order.samples.size());
      size_t compared = 0;
      double worst = 0, fmin = 0, fmax = 0;
      for (size_t i = 0; i < res.field.size(); ++i) {
        const float f = res.field[i];
        fmin = std::min(fmin, double(f));
        fmax = std::max(fmax, double(f));
        if (f == 0.0f || f == 1.0f || f == -1.0f) continue;  // never evaluated, or forced
        const double x = (i % n) + 0.5, y = ((i / n) % n) + 0.5, z = double(i / (size_t(n) * n)) + 0.5;
        const double I = r.vol[0][i] * r.order.weight;
        const float ref = t_hrbfJoint4_evalField(1, &x, &y, &z, &I, &N, res.coef.data(), r.order.samples.data());
        worst = std::max(worst, std::fabs(double(f) - double(ref)));
        ++compared;
      }
      EXPECT_GT(compared, 300u);
      EXPECT_LE(worst, 1e-5 * (fmax - fmin));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachFace, ShapeCutByVolumeFace, ::testing::Range(0, 6));

// A plain RBF field of the value points, grown from the inside points, covers the sphere.
TEST(FieldLabelling, PlainRbfGrowth) {
  const shapes::Ellipsoid E{{32, 32, 32}, {18, 18, 18}};
  ShapeRun r;
  prepare(r, E, 6, 1, 4.0);
  std::vector<TRbfPoint> pts;
  for (const auto& c : r.contours) pts.insert(pts.end(), c.rbfPoints.begin(), c.rbfPoints.end());
  const int N = int(pts.size()), n = N + 4;
  TDenseSqMat m(n);
  std::vector<double> rhs(static_cast<size_t>(n)), coef(static_cast<size_t>(n));
  t_rbfSpatial_buildSystem(N, pts.data(), &m, rhs.data());
  ASSERT_TRUE(m.factorLU());
  ASSERT_TRUE(m.solveLU(rhs.data(), coef.data()));
  std::vector<uint8_t> label(size_t(kN) * kN * kN);
  std::vector<float> field(label.size());
  t_rbfSpatial_regionGrow(kN, kN, kN, kExtent, N, coef.data(), pts.data(), r.order.lo, r.order.hi, label.data(),
                          field.data());
  std::vector<uint8_t> in(label.size());
  for (size_t i = 0; i < label.size(); ++i) in[i] = (label[i] == 1 || label[i] == 2) ? 1 : 0;
  EXPECT_GE(dice(in, 1, E), 0.95);
  // Nothing beyond the box was evaluated or grown.
  for (int z = 0; z < kN; ++z)
    for (int y = 0; y < kN; ++y)
      for (int x = 0; x < kN; ++x) {
        const bool outBox = x < r.order.lo[0] - 1 || x > r.order.hi[0] + 1 || y < r.order.lo[1] - 1 ||
                            y > r.order.hi[1] + 1 || z < r.order.lo[2] - 1 || z > r.order.hi[2] + 1;
        if (outBox) {
          ASSERT_EQ(label[x + kN * (y + size_t(kN) * z)], 0);
        }
      }
}
