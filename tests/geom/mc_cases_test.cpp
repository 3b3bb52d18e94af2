// Marching cubes: the single-voxel and full-volume shapes, the iso rules, interpolation,
// the sub-range box, the coarse-grid wrappers and the console line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include "curves_mesh_checks.h"
#include "geom/marching_cubes.h"

namespace {

size_t at(int x, int y, int z, int W, int H) { return size_t(x) + size_t(W) * (size_t(y) + size_t(H) * z); }

TEST(MarchingCubesCases, SingleVoxelGivesAnOctahedronOnItsFaceCentres) {
  std::vector<uint8_t> vol(5 * 5 * 5, 0);
  vol[at(2, 2, 2, 5, 5)] = 7;
  const double ext[3] = {5, 5, 5};
  TTriangleMesh mesh;
  testing::internal::CaptureStderr();
  t_marchingCubesByte(5, 5, 5, vol.data(), ext, mesh, nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "v= 6 poly = 8\n");
  ASSERT_EQ(mesh.vertexCount, 6);
  ASSERT_EQ(mesh.polyCount, 8);
  std::set<std::vector<double>> got, want = {{2, 2.5, 2.5}, {3, 2.5, 2.5}, {2.5, 2, 2.5},
                                             {2.5, 3, 2.5}, {2.5, 2.5, 2}, {2.5, 2.5, 3}};
  for (const TVec3& p : mesh.verts) got.insert({p[0], p[1], p[2]});
  EXPECT_EQ(got, want);
  const double c[3] = {2.5, 2.5, 2.5};
  for (const TPolyIdx& t : mesh.polys) {
    double a[3], b[3], n[3], m[3];
    t_sub3(mesh.verts[t[1]], mesh.verts[t[0]], a);
    t_sub3(mesh.verts[t[2]], mesh.verts[t[0]], b);
    t_cross3(a, b, n);
    t_sub3(mesh.verts[t[0]], c, m);
    EXPECT_GT(t_dot3(n, m), 0.0);  // away from the voxel
  }
  EXPECT_TRUE(mesh.isValid);
  EXPECT_EQ(mesh.edgeCount, 12);
}

TEST(MarchingCubesCases, FullByteVolumeLiesOnTheBoxFaces) {
  const int W = 4, H = 3, D = 5;
  std::vector<uint8_t> vol(size_t(W) * H * D, 1);
  const double ext[3] = {2.0, 1.5, 1.0};
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  t_marchingCubesByteArrays(W, H, D, vol.data(), ext, v, t, nullptr, nullptr);
  ASSERT_FALSE(v.empty());
  for (const TVec3& p : v) {
    const bool onFace = std::fabs(p[0]) < 1e-12 || std::fabs(p[0] - 2.0) < 1e-12 || std::fabs(p[1]) < 1e-12 ||
                        std::fabs(p[1] - 1.5) < 1e-12 || std::fabs(p[2]) < 1e-12 || std::fabs(p[2] - 1.0) < 1e-12;
    EXPECT_TRUE(onFace) << p[0] << " " << p[1] << " " << p[2];
  }
  // The box's edges are cut off by the triangles of the corner cells, so the volume is a
  // little below the box's.
  const double vol3 = t_enclosedVolume(v, t);
  EXPECT_GT(vol3, 0.8 * 3.0);
  EXPECT_LE(vol3, 3.0 + 1e-12);
  EXPECT_TRUE(t_checkTopology(v, t).closedAndOriented());
}

TEST(MarchingCubesCases, ValuesEqualToIsoAndTheBorderCountAsOutside) {
  std::vector<float> f(6 * 6 * 6, 0.5f);
  const double ext[3] = {1, 1, 1};
  TTriangleMesh mesh;
  testing::internal::CaptureStderr();
  t_marchingCubesFloat(6, 6, 6, f.data(), 0.5f, ext, mesh, nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "v= 0 poly = 0\n");
  EXPECT_EQ(mesh.vertexCount, 0);
  EXPECT_EQ(mesh.polyCount, 0);
  // -1.0 is the border value: equal to iso, still outside.
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  t_marchingCubesFloatArrays(6, 6, 6, f.data(), -1.0f, ext, v, t, nullptr, nullptr);
  EXPECT_FALSE(v.empty());  // the volume (0.5 > -1) is inside, the border is not
  EXPECT_GT(t_enclosedVolume(v, t), 0.0);
  // Below -1 the border layer is inside too: a uniform inside field has no surface.
  t_marchingCubesFloatArrays(6, 6, 6, f.data(), -1.5f, ext, v, t, nullptr, nullptr);
  EXPECT_TRUE(v.empty());
  // ... but a hole in it shows up as a surface facing into the hole.
  f[at(3, 3, 3, 6, 6)] = -3.0f;
  t_marchingCubesFloatArrays(6, 6, 6, f.data(), -1.5f, ext, v, t, nullptr, nullptr);
  EXPECT_EQ(v.size(), 6u);
  EXPECT_LT(t_enclosedVolume(v, t), 0.0);
}

TEST(MarchingCubesCases, VerticesInterpolateLinearlyAlongTheCutEdges) {
  std::vector<float> f(5 * 5 * 5, 0.0f);
  f[at(2, 2, 2, 5, 5)] = 1.0f;
  const double ext[3] = {5, 5, 5};
  for (float iso : {0.5f, 0.25f}) {
    std::vector<TVec3> v;
    std::vector<TPolyIdx> t;
    t_marchingCubesFloatArrays(5, 5, 5, f.data(), iso, ext, v, t, nullptr, nullptr);
    ASSERT_EQ(v.size(), 6u);
    ASSERT_EQ(t.size(), 8u);
    // A vertex lies (1 - iso) of a spacing from the sample towards its neighbour.
    for (const TVec3& p : v) {
      const double d = std::fabs(p[0] - 2.5) + std::fabs(p[1] - 2.5) + std::fabs(p[2] - 2.5);
      EXPECT_NEAR(d, 1.0 - iso, 1e-12);
    }
  }
}

TEST(MarchingCubesCases, SubRangeBoxGivesTheSameMesh) {
  const int W = 12, H = 10, D = 9;
  std::vector<uint8_t> vol(size_t(W) * H * D, 0);
  vol[at(5, 4, 3, W, H)] = 1;
  const double ext[3] = {1, 1, 1};
  std::vector<TVec3> v0, v1;
  std::vector<TPolyIdx> t0, t1;
  t_marchingCubesByteArrays(W, H, D, vol.data(), ext, v0, t0, nullptr, nullptr);
  const int lo[3] = {5, 4, 3}, hi[3] = {5, 4, 3};
  t_marchingCubesByteArrays(W, H, D, vol.data(), ext, v1, t1, lo, hi);
  EXPECT_EQ(v0, v1);
  EXPECT_EQ(t0, t1);
  // A larger shape inside a box that touches the volume's upper border.
  for (int z = 2; z < D; ++z)
    for (int y = 3; y < 8; ++y)
      for (int x = 6; x < W; ++x) vol[at(x, y, z, W, H)] = uint8_t((x * 7 + y * 3 + z) % 5 != 0);
  const int lo2[3] = {5, 3, 2}, hi2[3] = {W - 1, 7, D - 1};
  t_marchingCubesByteArrays(W, H, D, vol.data(), ext, v0, t0, nullptr, nullptr);
  t_marchingCubesByteArrays(W, H, D, vol.data(), ext, v1, t1, lo2, hi2);
  EXPECT_EQ(v0, v1);
  EXPECT_EQ(t0, t1);
  // Only one box argument: the whole volume.
  t_marchingCubesByteArrays(W, H, D, vol.data(), ext, v1, t1, lo2, nullptr);
  EXPECT_EQ(t0, t1);
}

TEST(MarchingCubesCases, MaskRegionBlocksNeedMoreThanHalfTheirVoxels) {
  // 3x3x3 mask, step 2: coarse grid 2x2x2, the block at (1,1,1) holds one voxel.
  std::vector<uint8_t> mask(27, 0);
  const double ext[3] = {3, 3, 3};
  // Block (0,0,0) covers x,y,z in {0,1}: 4 of its 8 voxels carry id 9 -> outside.
  int n = 0;
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x)
        if (n++ < 4) mask[at(x, y, z, 3, 3)] = 9;
  TTriangleMesh mesh;
  testing::internal::CaptureStderr();
  t_marchingCubesMaskRegion(3, 3, 3, mask.data(), 9, ext, mesh, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "v= 0 poly = 0\n");
  EXPECT_EQ(mesh.polyCount, 0);
  // Five of eight: inside; the block is one coarse cell of 2 voxels, extent 3 * 4 / 3 = 4.
  mask[at(1, 1, 1, 3, 3)] = 9;
  testing::internal::CaptureStderr();
  t_marchingCubesMaskRegion(3, 3, 3, mask.data(), 9, ext, mesh, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "v= 6 poly = 8\n");
  std::set<double> xs;
  for (const TVec3& p : mesh.verts) xs.insert(p[0]);
  EXPECT_EQ(xs, (std::set<double>{0.0, 1.0, 2.0}));  // coarse spacing 2, centre at 1
  // The single voxel at (2,2,2) fills its whole partial block.
  std::vector<uint8_t> one(27, 0);
  one[at(2, 2, 2, 3, 3)] = 9;
  t_marchingCubesMaskRegion(3, 3, 3, one.data(), 9, ext, mesh, 2);
  EXPECT_EQ(mesh.vertexCount, 6);
  for (const TVec3& p : mesh.verts)
    for (int a = 0; a < 3; ++a) EXPECT_TRUE(p[a] == 2.0 || p[a] == 3.0 || p[a] == 4.0);
  // An id above 255 never matches.
  t_marchingCubesMaskRegion(3, 3, 3, one.data(), 9 + 256, ext, mesh, 1);
  EXPECT_EQ(mesh.vertexCount, 0);
}

TEST(MarchingCubesCases, NonZeroWithStepOneIsTheByteSurface) {
  const int W = 7, H = 6, D = 5;
  std::vector<uint8_t> vol(size_t(W) * H * D, 0);
  for (size_t i = 0; i < vol.size(); ++i) vol[i] = uint8_t((i * 37 % 11) < 4 ? (i % 200) : 0);
  const double ext[3] = {1, 2, 3};
  TTriangleMesh a, b;
  t_marchingCubesNonZero(W, H, D, vol.data(), ext, a, 1);
  t_marchingCubesByte(W, H, D, vol.data(), ext, b, nullptr, nullptr);
  EXPECT_EQ(a.verts, b.verts);
  EXPECT_EQ(a.polys, b.polys);
  EXPECT_GT(a.polyCount, 0);
}

}  // namespace
