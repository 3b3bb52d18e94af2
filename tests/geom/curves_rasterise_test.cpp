// Mesh rasterisation: the inside/outside of closed meshes at voxel centres, with large
// triangles, surfaces at x = 0 and rows that run exactly through edges and vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "curves_mesh_checks.h"
#include "geom/marching_cubes.h"
#include "geom/mesh_rasterise.h"

namespace {

// Closed box [lo, hi] with each face split into n x n quads, outward triangles.
TTriangleMesh gridBox(const double lo[3], const double hi[3], int n, bool dropMaxXFace = false) {
  std::vector<TVec3> verts;
  std::vector<TPolyIdx> tris;
  std::map<std::tuple<int, int, int>, int> index;
  auto vert = [&](int a, int b, int c) {
    auto key = std::make_tuple(a, b, c);
    auto it = index.find(key);
    if (it != index.end()) return it->second;
    const int id = int(verts.size());
    verts.emplace_back(lo[0] + (hi[0] - lo[0]) * a / n, lo[1] + (hi[1] - lo[1]) * b / n,
                       lo[2] + (hi[2] - lo[2]) * c / n);
    index[key] = id;
    return id;
  };
  // For each axis and side: the two in-face axes (u, v) with u x v along the outward normal.
  for (int axis = 0; axis < 3; ++axis)
    for (int side = 0; side < 2; ++side) {
      if (dropMaxXFace && axis == 0 && side == 1) continue;
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          int q[4];
          const int corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
          for (int c = 0; c < 4; ++c) {
            int g[3];
            g[axis] = side * n;
            g[u] = corners[c][0];
            g[v] = corners[c][1];
            q[c] = vert(g[0], g[1], g[2]);
          }
          if (side == 1) {
            tris.push_back({q[0], q[1], q[2]});
            tris.push_back({q[0], q[2], q[3]});
          } else {
            tris.push_back({q[0], q[2], q[1]});
            tris.push_back({q[0], q[3], q[2]});
          }
        }
    }
  TTriangleMesh m;
  m.initFromVertsPolys(verts, tris);
  return m;
}

std::vector<uint8_t> expectedBox(int N, int first, int last) {
  std::vector<uint8_t> v(size_t(N) * N * N, 0);
  for (int z = first; z <= last; ++z)
    for (int y = first; y <= last; ++y)
      for (int x = first; x <= last; ++x) v[size_t(x) + size_t(N) * (y + size_t(N) * z)] = 1;
  return v;
}

TEST(MeshRasterise, BoxIsInsideAtTheVoxelCentresWhateverItsTriangleSize) {
  const double lo[3] = {0.2, 0.2, 0.2}, hi[3] = {0.8, 0.8, 0.8}, ext[3] = {1, 1, 1};
  const std::vector<uint8_t> want = expectedBox(10, 2, 7);
  for (int n : {12, 1}) {  // faces on a 0.05 grid, and a box of only 12 triangles
    TTriangleMesh box = gridBox(lo, hi, n);
    ASSERT_TRUE(box.isValid);
    std::vector<uint8_t> out(1000, 9);
    EXPECT_TRUE(t_rasterizeMeshToVolume(10, 10, 10, box, ext, out.data()));
    EXPECT_EQ(out, want) << n << " quads per face side";
  }
}

TEST(MeshRasterise, SurfacesAtAndNearXZeroKeepTheFirstColumn) {
  const double ext[3] = {1, 1, 1};
  // The box fills the whole volume: every voxel is inside.
  {
    const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
    TTriangleMesh box = gridBox(lo, hi, 3);
    std::vector<uint8_t> out(1000, 0);
    EXPECT_TRUE(t_rasterizeMeshToVolume(10, 10, 10, box, ext, out.data()));
    EXPECT_EQ(out, expectedBox(10, 0, 9));
  }
  // Entering at x = 0.02, before the first centre (0.05): column 0 is inside.
  {
    const double lo[3] = {0.02, 0.02, 0.02}, hi[3] = {0.5, 0.5, 0.5};
    TTriangleMesh box = gridBox(lo, hi, 2);
    std::vector<uint8_t> out(1000, 0);
    EXPECT_TRUE(t_rasterizeMeshToVolume(10, 10, 10, box, ext, out.data()));
    EXPECT_EQ(out, expectedBox(10, 0, 4));
  }
  // A slab thinner than half a voxel at x = 0 holds no centre.
  {
    const double lo[3] = {0.0, 0.0, 0.0}, hi[3] = {0.04, 1.0, 1.0};
    TTriangleMesh box = gridBox(lo, hi, 2);
    std::vector<uint8_t> out(1000, 7);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, box, ext, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
  }
}

TEST(MeshRasterise, MarchingCubesSurfaceGivesBackItsVoxels) {
  // The byte surface of a voxel set puts its vertices on the rows of the same grid, so
  // every ray runs through edges and vertices; the voxels must still come back exactly.
  std::mt19937 rng(99);
  for (int trial = 0; trial < 8; ++trial) {
    const int W = 10 + trial, H = 12, D = 9 + trial % 3;
    std::vector<uint8_t> vol(size_t(W) * H * D);
    const double density = 0.2 + 0.08 * trial;
    for (auto& b : vol) b = (rng() % 1000) < density * 1000 ? 1 : 0;
    const double ext[3] = {1.0 + 0.1 * trial, 2.0, 0.75};
    TTriangleMesh mesh;
    t_marchingCubesByte(W, H, D, vol.data(), ext, mesh, nullptr, nullptr);
    std::vector<uint8_t> out(vol.size(), 5);
    testing::internal::CaptureStderr();
    t_rasterizeMeshToVolume(W, H, D, mesh, ext, out.data());
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("strange"), std::string::npos);
    ASSERT_EQ(out, vol) << "trial " << trial;
  }
}

TEST(MeshRasterise, AgreesWithARayParityTestOnCurvedSurfaces) {
  // A torus from marching cubes, voxelised on a coarser, shifted grid.
  const int N = 40;
  std::vector<float> f(size_t(N) * N * N);
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const double q = std::sqrt((x - 19.6) * (x - 19.6) + (y - 20.3) * (y - 20.3)) - 11.0;
        f[size_t(x) + size_t(N) * (y + size_t(N) * z)] = float(5.5 - std::sqrt(q * q + (z - 19.8) * (z - 19.8)));
      }
  const double mcExt[3] = {1, 1, 1};
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  t_marchingCubesFloatArrays(N, N, N, f.data(), 0.0f, mcExt, v, t, nullptr, nullptr);
  TTriangleMesh mesh;
  ASSERT_TRUE(mesh.initFromVertsPolys(v, t));
  const int W = 23, H = 19, D = 17;
  const double ext[3] = {1.0, 1.0, 1.0};
  std::vector<uint8_t> out(size_t(W) * H * D);
  EXPECT_TRUE(t_rasterizeMeshToVolume(W, H, D, mesh, ext, out.data()));
  int inside = 0, mismatches = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double p[3] = {(x + 0.5) / W, (y + 0.5) / H, (z + 0.5) / D};
        const bool want = t_pointInsideByParity(v, t, p);
        inside += want;
        mismatches += (out[size_t(x) + size_t(W) * (y + size_t(H) * z)] != 0) != want;
      }
  EXPECT_GT(inside, 300);
  EXPECT_EQ(mismatches, 0);
}

TEST(MeshRasterise, MeshesOutsideOpenOrEmptyGiveNothing) {
  const double ext[3] = {1, 1, 1};
  std::vector<uint8_t> out(1000, 3);
  {
    const double lo[3] = {0.2, 1.5, 0.2}, hi[3] = {0.8, 2.5, 0.8};  // beyond the y extent
    TTriangleMesh box = gridBox(lo, hi, 2);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, box, ext, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
  }
  {
    // Without its +x face every row through the box meets a single crossing.
    const double lo[3] = {0.2, 0.2, 0.2}, hi[3] = {0.8, 0.8, 0.8};
    TTriangleMesh open = gridBox(lo, hi, 3, true);
    std::fill(out.begin(), out.end(), 3);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, open, ext, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
  }
  {
    // Far beyond the volume along z and y: no slice or row index may come from those values.
    const double lo[3] = {0.2, 0.2, 1e20}, hi[3] = {0.8, 0.8, 2e20};
    TTriangleMesh far = gridBox(lo, hi, 2);
    std::fill(out.begin(), out.end(), 3);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, far, ext, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
    const double lo2[3] = {0.2, -3e19, 0.2}, hi2[3] = {0.8, -1e19, 0.8};
    TTriangleMesh below = gridBox(lo2, hi2, 2);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, below, ext, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
    // A box without size gives nothing either.
    const double inner[3] = {0.2, 0.2, 0.2}, outer[3] = {0.8, 0.8, 0.8};
    TTriangleMesh box = gridBox(inner, outer, 2);
    const double flat[3] = {1, 0, 1};
    std::fill(out.begin(), out.end(), 3);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, box, flat, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
  }
  {
    TTriangleMesh empty;
    std::fill(out.begin(), out.end(), 3);
    EXPECT_FALSE(t_rasterizeMeshToVolume(10, 10, 10, empty, ext, out.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(1000, 0));
  }
}

}  // namespace
