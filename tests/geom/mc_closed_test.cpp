// Marching cubes: closed, outward-oriented surfaces on analytic shapes and random data,
// the enclosed volume against the analytic value, a numbering that matches a plain
// sequential sweep whatever the thread count, and a threaded mesh build equal to the
// one-thread construction.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "curves_mesh_checks.h"
#include "geom/marching_cubes.h"
#include "geom/marching_cubes_tables.h"

namespace {

const double kPi = 3.14159265358979323846;

struct Field {
  int W, H, D;
  std::vector<float> f;
  Field(int w, int h, int d) : W(w), H(h), D(d), f(size_t(w) * h * d) {}
  float& at(int x, int y, int z) { return f[size_t(x) + size_t(W) * (size_t(y) + size_t(H) * z)]; }
};

// Sample centres in a box of extent (W, H, D): (x + 0.5, y + 0.5, z + 0.5).
template <class F>
Field sampleField(int W, int H, int D, F fn) {
  Field g(W, H, D);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) g.at(x, y, z) = float(fn(x + 0.5, y + 0.5, z + 0.5));
  return g;
}

void extract(const Field& g, float iso, std::vector<TVec3>& v, std::vector<TPolyIdx>& t) {
  const double ext[3] = {double(g.W), double(g.H), double(g.D)};
  t_marchingCubesFloatArrays(uint32_t(g.W), uint32_t(g.H), uint32_t(g.D), g.f.data(), iso, ext, v, t, nullptr,
                             nullptr);
}

TEST(MarchingCubesClosed, SphereHasEulerTwoAndItsVolume) {
  const double R = 17.3, c = 24.1;
  const Field g = sampleField(48, 48, 48, [&](double x, double y, double z) {
    return R - std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c));
  });
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  extract(g, 0.0f, v, t);
  const MeshTopology topo = t_checkTopology(v, t);
  EXPECT_TRUE(topo.closedAndOriented()) << topo.describe();
  EXPECT_EQ(topo.unusedVerts, 0);
  EXPECT_EQ(topo.euler(), 2);
  const double exact = 4.0 / 3.0 * kPi * R * R * R;
  EXPECT_NEAR(t_enclosedVolume(v, t), exact, 0.01 * exact);
  // every vertex lies on the sphere up to the interpolation error
  for (const TVec3& p : v) {
    const double r = std::sqrt((p[0] - c) * (p[0] - c) + (p[1] - c) * (p[1] - c) + (p[2] - c) * (p[2] - c));
    ASSERT_NEAR(r, R, 0.05);
  }
}

TEST(MarchingCubesClosed, TorusHasEulerZeroAndItsVolume) {
  const double R = 14.0, r = 5.3, cx = 24.2, cy = 23.7, cz = 12.4;
  const Field g = sampleField(48, 48, 25, [&](double x, double y, double z) {
    const double q = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - R;
    return r - std::sqrt(q * q + (z - cz) * (z - cz));
  });
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  extract(g, 0.0f, v, t);
  const MeshTopology topo = t_checkTopology(v, t);
  EXPECT_TRUE(topo.closedAndOriented()) << topo.describe();
  EXPECT_EQ(topo.euler(), 0);
  const double exact = 2.0 * kPi * kPi * R * r * r;
  EXPECT_NEAR(t_enclosedVolume(v, t), exact, 0.01 * exact);
}

TEST(MarchingCubesClosed, SurfaceCutByTheVolumeBorderIsClosedThere) {
  // A sphere that sticks out of the box: the border layer caps it.
  const Field g = sampleField(20, 20, 20, [](double x, double y, double z) {
    return 12.0 - std::sqrt(x * x + y * y + z * z);
  });
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  extract(g, 0.0f, v, t);
  const MeshTopology topo = t_checkTopology(v, t);
  EXPECT_TRUE(topo.closedAndOriented()) << topo.describe();
  EXPECT_EQ(topo.euler(), 2);
  EXPECT_GT(t_enclosedVolume(v, t), 0.0);
}

TEST(MarchingCubesClosed, EveryCaseOfOneCellGivesAClosedOutwardSurface) {
  // All 256 sign patterns of a 2x2x2 byte volume; the padding makes every one a closed
  // surface, whose enclosed volume must be positive.
  for (int c = 1; c < 256; ++c) {
    uint8_t vol[8];
    for (int n = 0; n < 8; ++n) vol[n] = uint8_t((c >> n) & 1);
    const double ext[3] = {2, 2, 2};
    std::vector<TVec3> v;
    std::vector<TPolyIdx> t;
    t_marchingCubesByteArrays(2, 2, 2, vol, ext, v, t, nullptr, nullptr);
    const MeshTopology topo = t_checkTopology(v, t);
    ASSERT_TRUE(topo.closedAndOriented()) << "pattern " << c << ": " << topo.describe();
    ASSERT_GT(t_enclosedVolume(v, t), 0.0) << "pattern " << c;
  }
}

TEST(MarchingCubesClosed, RandomVoxelSetsAndNoisyBlobsAreClosedManifolds) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 12; ++trial) {
    const int W = 9 + trial % 4, H = 11, D = 8 + trial % 3;
    const double density = 0.15 + 0.06 * trial;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<uint8_t> vol(size_t(W) * H * D);
    size_t inside = 0;
    for (auto& b : vol) {
      b = u(rng) < density ? uint8_t(1 + rng() % 255) : 0;
      inside += b != 0;
    }
    const double ext[3] = {double(W), double(H), double(D)};
    std::vector<TVec3> v;
    std::vector<TPolyIdx> t;
    t_marchingCubesByteArrays(uint32_t(W), uint32_t(H), uint32_t(D), vol.data(), ext, v, t, nullptr, nullptr);
    const MeshTopology topo = t_checkTopology(v, t);
    ASSERT_TRUE(topo.closedAndOriented()) << "trial " << trial << ": " << topo.describe();
    // Midpoint vertices: an isolated voxel encloses an octahedron of 1/6, and the surface
    // never leaves the box.
    const double vol3 = t_enclosedVolume(v, t);
    EXPECT_GT(vol3, 0.16 * double(inside));
    EXPECT_LT(vol3, double(W) * H * D);
    // The mesh builds with a valid winged-edge structure.
    TTriangleMesh mesh;
    EXPECT_TRUE(mesh.initFromVertsPolys(v, t)) << "trial " << trial;
  }
  // Gaussian blobs with noise, as float fields at several iso levels.
  for (int trial = 0; trial < 6; ++trial) {
    std::normal_distribution<double> nd(0.0, 1.0);
    double cx[5], cy[5], cz[5], s[5];
    for (int b = 0; b < 5; ++b) {
      cx[b] = 6 + 20 * (rng() % 1000) / 1000.0;
      cy[b] = 6 + 20 * (rng() % 1000) / 1000.0;
      cz[b] = 6 + 20 * (rng() % 1000) / 1000.0;
      s[b] = 3 + 4 * (rng() % 1000) / 1000.0;
    }
    Field g(32, 32, 32);
    for (int z = 0; z < 32; ++z)
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          double f = 0;
          for (int b = 0; b < 5; ++b) {
            const double d2 = (x - cx[b]) * (x - cx[b]) + (y - cy[b]) * (y - cy[b]) + (z - cz[b]) * (z - cz[b]);
            f += std::exp(-d2 / (2 * s[b] * s[b]));
          }
          g.at(x, y, z) = float(f + 0.08 * nd(rng));
        }
    for (float iso : {0.2f, 0.5f}) {
      std::vector<TVec3> v;
      std::vector<TPolyIdx> t;
      extract(g, iso, v, t);
      const MeshTopology topo = t_checkTopology(v, t);
      ASSERT_TRUE(topo.closedAndOriented()) << "blob " << trial << ": " << topo.describe();
      EXPECT_GT(t_enclosedVolume(v, t), 0.0);
      TTriangleMesh mesh;
      EXPECT_TRUE(mesh.initFromVertsPolys(v, t));
    }
  }
}

// The plain sequential sweep: per-node index arrays, the cut edges of a cell visited in
// the order 0, 2, 4, 6, 1, 3, 5, 7, 8, 9, 10, 11, a vertex numbered when first met.
void referenceSweep(int W, int H, int D, const float* f, float iso, const double ext[3], std::vector<TVec3>& verts,
                    std::vector<TPolyIdx>& tris) {
  const TMcTables& T = t_mcTables();
  const int order[12] = {0, 2, 4, 6, 1, 3, 5, 7, 8, 9, 10, 11};
  // lower-end node offset and axis (0 x, 1 y, 2 z) per edge
  const int node[12][4] = {{0, 0, 0, 0}, {1, 0, 0, 2}, {0, 0, 1, 0}, {0, 0, 0, 2}, {0, 1, 0, 0}, {1, 1, 0, 2},
                           {0, 1, 1, 0}, {0, 1, 0, 2}, {0, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 1, 1}, {0, 0, 1, 1}};
  const size_t nodes = size_t(W + 1) * (H + 1) * (D + 1);
  std::vector<uint32_t> idx[3];
  for (auto& a : idx) a.assign(nodes, 0xFFFFFFFFu);
  auto val = [&](int x, int y, int z) -> float {
    if (x < 0 || y < 0 || z < 0 || x >= W || y >= H || z >= D) return -1.0f;
    return f[size_t(x) + size_t(W) * (size_t(y) + size_t(H) * z)];
  };
  const double s[3] = {ext[0] / W, ext[1] / H, ext[2] / D};
  verts.clear();
  tris.clear();
  for (int k = 0; k <= D; ++k)
    for (int j = 0; j <= H; ++j)
      for (int i = 0; i <= W; ++i) {
        int cube = 0;
        for (int n = 0; n < 8; ++n)
          if (val(i - 1 + kMcCornerOffset[n][0], j - 1 + kMcCornerOffset[n][1], k - 1 + kMcCornerOffset[n][2]) > iso)
            cube |= 1 << n;
        const uint16_t m = T.edgeMask[cube];
        if (!m) continue;
        int vid[12];
        for (int e : order) {
          if (!(m & (1u << e))) continue;
          const int ni = i + node[e][0], nj = j + node[e][1], nk = k + node[e][2], ax = node[e][3];
          uint32_t& slot = idx[ax][size_t(ni) + size_t(W + 1) * (size_t(nj) + size_t(H + 1) * nk)];
          if (slot == 0xFFFFFFFFu) {
            slot = uint32_t(verts.size());
            const int lo[3] = {ni - 1, nj - 1, nk - 1};
            int up[3] = {lo[0], lo[1], lo[2]};
            up[ax] += 1;
            const double f0 = val(lo[0], lo[1], lo[2]), f1 = val(up[0], up[1], up[2]);
            double p[3] = {(lo[0] + 0.5) * s[0], (lo[1] + 0.5) * s[1], (lo[2] + 0.5) * s[2]};
            p[ax] += s[ax] * (double(iso) - f0) / (f1 - f0);
            verts.emplace_back(p[0], p[1], p[2]);
          }
          vid[e] = int(slot);
        }
        for (int n = 0; T.tris[cube][n] >= 0; n += 3)
          tris.push_back({vid[T.tris[cube][n]], vid[T.tris[cube][n + 1]], vid[T.tris[cube][n + 2]]});
      }
}

TEST(MarchingCubesClosed, NumberingMatchesTheSequentialSweepForAnyThreadCount) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int W = 37, H = 29, D = 41;
  const Field g = sampleField(W, H, D, [&](double x, double y, double z) {
    return 9.0 - std::sqrt((x - 15) * (x - 15) + (y - 14) * (y - 14) + (z - 20) * (z - 20)) +
           3.0 * std::sin(x * 0.7) * std::cos(z * 0.5) + 0.7 * u(rng);
  });
  const double ext[3] = {1.3, 2.0, 0.7};
  std::vector<TVec3> rv;
  std::vector<TPolyIdx> rt;
  referenceSweep(W, H, D, g.f.data(), 0.25f, ext, rv, rt);
  ASSERT_GT(rt.size(), 1000u);
  const int saved = omp_get_max_threads();
  for (int threads : {1, 3, 4}) {
    omp_set_num_threads(threads);
    std::vector<TVec3> v;
    std::vector<TPolyIdx> t;
    t_marchingCubesFloatArrays(W, H, D, g.f.data(), 0.25f, ext, v, t, nullptr, nullptr);
    ASSERT_EQ(v.size(), rv.size()) << threads << " threads";
    ASSERT_EQ(t.size(), rt.size()) << threads << " threads";
    for (size_t n = 0; n < v.size(); ++n)
      for (int a = 0; a < 3; ++a) ASSERT_NEAR(v[n][a], rv[n][a], 1e-12) << "vertex " << n;
    for (size_t n = 0; n < t.size(); ++n) ASSERT_EQ(t[n], rt[n]) << "triangle " << n;
  }
  omp_set_num_threads(saved);
}

// A noisy field of many small blobs: thousands of closed pieces, large enough for the
// threaded mesh build.
Field manyBlobs(int N, int cell, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const int nc = (N + cell - 1) / cell;
  std::vector<double> cx, cy, cz, rad;
  for (int c = 0; c < nc * nc * nc; ++c) {
    const int a = c % nc, b = (c / nc) % nc, d = c / (nc * nc);
    const double r = 1.2 + 0.45 * cell * u(rng) * 0.5;
    rad.push_back(r);
    cx.push_back(a * cell + r + 0.5 + (cell - 2 * r - 1) * u(rng));
    cy.push_back(b * cell + r + 0.5 + (cell - 2 * r - 1) * u(rng));
    cz.push_back(d * cell + r + 0.5 + (cell - 2 * r - 1) * u(rng));
  }
  std::uniform_real_distribution<double> noise(-0.3, 0.3);
  Field g(N, N, N);
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const size_t c = size_t(x / cell) + size_t(nc) * (size_t(y / cell) + size_t(nc) * (z / cell));
        const double dx = x + 0.5 - cx[c], dy = y + 0.5 - cy[c], dz = z + 0.5 - cz[c];
        g.at(x, y, z) = float(rad[c] - std::sqrt(dx * dx + dy * dy + dz * dz) + noise(rng));
      }
  return g;
}

// The mesh as the one-thread construction builds it from the same lists.
void sequentialBuild(const std::vector<TVec3>& v, const std::vector<TPolyIdx>& t, TTriangleMesh& m) {
  m.clear();
  m.vertexCount = int(v.size());
  m.polyCount = int(t.size());
  m.verts = v;
  m.polys = t;
  m.updateNormals();
  m.buildEdgesSequential();
}

void expectSameTable(const TTriangleMesh& a, const TTriangleMesh& b) {
  ASSERT_EQ(a.edgeCount, b.edgeCount);
  ASSERT_EQ(a.polyEdges, b.polyEdges);
  ASSERT_EQ(a.vertEdge, b.vertEdge);
  for (int e = 0; e < a.edgeCount; ++e) {
    const TMeshEdge &x = a.edges[size_t(e)], &y = b.edges[size_t(e)];
    const int fx[8] = {x.vert0, x.vert1, x.polyA, x.polyB, x.wingA0, x.wingA1, x.wingB0, x.wingB1};
    const int fy[8] = {y.vert0, y.vert1, y.polyA, y.polyB, y.wingA0, y.wingA1, y.wingB0, y.wingB1};
    for (int q = 0; q < 8; ++q) ASSERT_EQ(fx[q], fy[q]) << "edge " << e << " field " << q;
  }
}

TEST(MarchingCubesMesh, ManyBlobSurfaceBuildsTheSameMeshAsTheSequentialConstruction) {
  const Field g = manyBlobs(72, 9, 99);
  const double ext[3] = {72.0, 64.0, 80.0};
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  t_marchingCubesFloatArrays(72, 72, 72, g.f.data(), 0.0f, ext, v, t, nullptr, nullptr);
  ASSERT_GT(t.size(), 50000u);
  TTriangleMesh ref;
  sequentialBuild(v, t, ref);
  ASSERT_TRUE(ref.checkTopology());
  ref.updateRingLists();

  const int saved = omp_get_max_threads();
  for (int threads : {1, 3, 8}) {
    omp_set_num_threads(threads);
    TTriangleMesh m;
    testing::internal::CaptureStderr();
    t_marchingCubesFloat(72, 72, 72, g.f.data(), 0.0f, ext, m, nullptr, nullptr);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(m.isValid, 1) << threads << " threads";
    EXPECT_EQ(m.verts, v);
    EXPECT_EQ(m.polys, t);
    EXPECT_EQ(m.polyNormals, ref.polyNormals);
    EXPECT_EQ(m.vertNormals, ref.vertNormals);  // the same sums in the same order
    expectSameTable(m, ref);
    EXPECT_EQ(m.rings, ref.rings);
  }
  omp_set_num_threads(saved);
}

// Builds the lists both ways: the same table, and the verdict and console lines of the
// full checks on the sequential table.
void expectSameVerdict(const std::vector<TVec3>& v, const std::vector<TPolyIdx>& t, const char* what) {
  SCOPED_TRACE(what);
  TTriangleMesh ref, m;
  sequentialBuild(v, t, ref);
  testing::internal::CaptureStderr();
  bool refOk = false;
  if (ref.hasNonManifoldBoundary())
    fprintf(stderr, "this mesh has one or more viertices that connected to more than 2 boundary edges\n");
  else if (!ref.checkTopology())
    fprintf(stderr, "this mesh has strange polygon structure \n");
  else
    refOk = true;
  const std::string refErr = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(refOk);  // every case here is a defect
  testing::internal::CaptureStderr();
  EXPECT_EQ(m.initFromVertsPolys(v, t), refOk);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), refErr);
  EXPECT_EQ(m.isValid, 0);
  expectSameTable(m, ref);
}

TEST(MarchingCubesMesh, DefectsInALargeMeshAreReportedAsByTheSequentialConstruction) {
  const Field g = manyBlobs(48, 8, 5);
  const double ext[3] = {48.0, 48.0, 48.0};
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  t_marchingCubesFloatArrays(48, 48, 48, g.f.data(), 0.0f, ext, v, t, nullptr, nullptr);
  ASSERT_GT(t.size(), 20000u);

  // A third triangle on the three edges of triangle 7000 (its copy, appended).
  std::vector<TPolyIdx> crowded = t;
  crowded.push_back(t[7000]);
  expectSameVerdict(v, crowded, "three triangles on an edge");

  // Two triangles on the same three new vertices, facing apart: their wings coincide.
  std::vector<TVec3> pv = v;
  const int n = int(v.size());
  pv.insert(pv.end(), {{100, 0, 0}, {101, 0, 0}, {100, 1, 0}});
  std::vector<TPolyIdx> pillow = t;
  pillow.insert(pillow.begin() + 4000, {{n, n + 1, n + 2}, {n, n + 2, n + 1}});
  expectSameVerdict(pv, pillow, "a two-triangle pillow");

  // Triangle 9000 turned over: on each of its edges a neighbour runs the edge the same way.
  std::vector<TPolyIdx> flipped = t;
  std::swap(flipped[9000][1], flipped[9000][2]);
  expectSameVerdict(v, flipped, "a turned-over triangle");

  // Two triangles that share one vertex taken out: four boundary edges meet there.
  const TPolyIdx& A = t[9000];
  size_t other = 0;
  for (size_t j = 0; j < t.size() && !other; ++j) {
    int shared = 0;
    for (int p = 0; p < 3; ++p)
      for (int q = 0; q < 3; ++q) shared += t[j][p] == A[q];
    if (shared == 1) other = j;
  }
  ASSERT_GT(other, 0u);
  std::vector<TPolyIdx> holes;
  for (size_t j = 0; j < t.size(); ++j)
    if (j != 9000 && j != other) holes.push_back(t[j]);
  expectSameVerdict(v, holes, "a bow-tie hole");
}

}  // namespace
