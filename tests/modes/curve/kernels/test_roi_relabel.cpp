// Relabelling of the working labels from a refined surface, the graph-cut flags and the commit
// into the mask.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "modes/curve/kernels/roi_relabel.h"

namespace {

const int W = 12, H = 10, D = 8;
const double kPitch = 0.5;

// A closed box [lo, hi] (faces off the voxel-centre grid).
TTriangleMesh box(const double lo[3], const double hi[3]) {
  TTriangleMesh m;
  m.initBox(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
  const double t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, lo[0], lo[1], lo[2], 1};
  m.transform(t);
  m.updateNormals();
  return m;
}

bool centreInside(int x, int y, int z, const double lo[3], const double hi[3]) {
  const double c[3] = {(x + 0.5) * kPitch, (y + 0.5) * kPitch, (z + 0.5) * kPitch};
  for (int k = 0; k < 3; ++k)
    if (c[k] < lo[k] || c[k] > hi[k]) return false;
  return true;
}

uint8_t expected(uint8_t old, bool inside) {
  // The table of the refinement labels, written out.
  if (inside) return (old == 0 || old == 4) ? 4 : 6;
  return (old == 0 || old == 4) ? 0 : 2;
}

TRelabelJob job(uint64_t gen, const double lo[3], const double hi[3], const std::vector<uint8_t>& labels) {
  TRelabelJob j;
  j.generation = gen;
  j.W = W;
  j.H = H;
  j.D = D;
  j.extent[0] = W * kPitch;
  j.extent[1] = H * kPitch;
  j.extent[2] = D * kPitch;
  j.mesh = box(lo, hi);
  j.labels = labels;
  return j;
}

std::vector<uint8_t> randomLabels(unsigned seed) {
  std::mt19937 rng(seed);
  const uint8_t values[] = {0, 2, 4, 6, 9, 255};
  std::uniform_int_distribution<int> pick(0, 5);
  std::vector<uint8_t> l(W * H * D);
  for (auto& v : l) v = values[pick(rng)];
  return l;
}

}  // namespace

TEST(RoiRelabel, LabelsFollowTheSurfaceAndKeepTheirHistory) {
  const double lo[3] = {1.13, 0.77, 0.61}, hi[3] = {4.36, 3.9, 2.88};
  const std::vector<uint8_t> before = randomLabels(3);
  TRelabelJob j = job(1, lo, hi, before);
  ASSERT_TRUE(t_relabelByRoiMesh(j));
  int inside = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int i = x + W * (y + H * z);
        const bool in = centreInside(x, y, z, lo, hi);
        inside += in;
        EXPECT_EQ(j.labels[i], expected(before[i], in)) << x << " " << y << " " << z;
      }
  EXPECT_GT(inside, 50);
  EXPECT_LT(inside, W * H * D - 50);

  // A newer request makes this one stale: nothing is written.
  std::atomic<uint64_t> newest{5};
  TRelabelJob stale = job(4, lo, hi, before);
  EXPECT_FALSE(t_relabelByRoiMesh(stale, &newest));
  EXPECT_EQ(stale.labels, before);
  // An open surface has no inside and must not wipe the region.
  TRelabelJob open = job(6, lo, hi, before);
  std::vector<TPolyIdx> polys(open.mesh.polys.begin(), open.mesh.polys.end() - 1);
  open.mesh.initFromVertsPolys(open.mesh.verts, polys);
  EXPECT_FALSE(t_relabelByRoiMesh(open, &newest));
  EXPECT_EQ(open.labels, before);
}

TEST(RoiRelabel, CutFlagsAndCommitIntoTheMask) {
  const std::vector<uint8_t> labels = {0, 2, 4, 6, 9, 2, 4, 0};
  std::vector<uint8_t> flags(labels.size());
  t_refLabelsToCutFlags(labels.data(), labels.size(), flags.data());
  EXPECT_EQ(flags, (std::vector<uint8_t>{1, 1, 255, 255, 255, 1, 255, 1}));
  // The cut moves the boundary: voxel 1 comes back in, voxel 3 goes out.
  std::vector<uint8_t> after = labels;
  flags[1] = 255;
  flags[3] = 1;
  t_refLabelsFromCutFlags(flags.data(), flags.size(), after.data());
  EXPECT_EQ(after, (std::vector<uint8_t>{0, 6, 4, 2, 6, 2, 4, 0}));

  // Commit with target 7: removed voxels clear, added ones take 7 from regions 3 and 5.
  std::vector<uint8_t> mask = {0, 7, 3, 7, 7, 7, 5, 3};
  bool touched[256] = {};
  t_commitRefLabels(after.data(), after.size(), mask.data(), 7, touched);
  EXPECT_EQ(mask, (std::vector<uint8_t>{0, 7, 7, 0, 7, 0, 7, 3}));
  std::vector<int> ids;
  for (int id = 0; id < 256; ++id)
    if (touched[id]) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<int>{3, 5}));
}

TEST(RoiRelabel, ASurfacePulledFarOutOfTheVolumeChangesOnlyNearWhatMoved) {
  // At entry a box, the region the same box; then one corner pulled a trillion voxels away
  // along +x (and, in a second job, to a point that is not a number): the surface stays closed,
  // and nothing may overflow on the way.
  const double lo[3] = {1.13, 0.77, 0.61}, hi[3] = {4.36, 3.9, 2.88};
  const std::vector<uint8_t> none(W * H * D, 0);
  TRelabelJob j = job(1, lo, hi, none);
  std::vector<uint8_t> region(W * H * D, 0);
  for (int i = 0; i < W * H * D; ++i) region[i] = centreInside(i % W, (i / W) % H, i / (W * H), lo, hi) ? 6 : 0;
  auto record = std::make_shared<std::vector<uint8_t>>();
  t_refEntryRaster(W, H, D, j.extent, j.mesh, region.data(), *record);
  j.entry = record;
  j.labels.clear();
  const TPoints entryPositions = j.mesh.verts;
  int corner = 0;
  for (int v = 1; v < j.mesh.vertexCount; ++v)
    if (j.mesh.verts[v][0] + j.mesh.verts[v][1] + j.mesh.verts[v][2] >
        j.mesh.verts[corner][0] + j.mesh.verts[corner][1] + j.mesh.verts[corner][2])
      corner = v;
  const TVec3 from = entryPositions[corner];
  TRelabelJob nan = job(2, lo, hi, none);
  nan.entry = record;
  nan.labels.clear();
  j.mesh.verts[corner][0] = 1e12 * kPitch;
  nan.mesh.verts[corner][0] = std::nan("");
  const double vs[3] = {kPitch, kPitch, kPitch};
  j.moved = t_refMovedPoints(j.mesh, entryPositions, vs);
  nan.moved = t_refMovedPoints(nan.mesh, entryPositions, vs);
  ASSERT_FALSE(j.moved.empty());
  ASSERT_TRUE(t_relabelByRoiMesh(j));
  // A corner that is not a point leaves the surface without an inside: refused.
  EXPECT_FALSE(t_relabelByRoiMesh(nan));
  EXPECT_EQ(nan.outcome, TRelabelOutcome::NoSurface);
  // The triangles at that corner lie in the box's three faces through it and were pulled along
  // +x: a voxel more than two voxels from those faces' planes, or inside the box and behind the
  // face the corner left, keeps its label; beside the box, where the pulled triangles now
  // reach, voxels are added.
  int far = 0, added = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int i = x + W * (y + H * z);
        const double c[3] = {(x + 0.5) * kPitch, (y + 0.5) * kPitch, (z + 0.5) * kPitch};
        const bool nearFaces = std::fabs(c[1] - from[1]) <= 2 * kPitch || std::fabs(c[2] - from[2]) <= 2 * kPitch ||
                               c[0] >= from[0] - 2 * kPitch;
        if (!nearFaces) far += j.labels[i] != region[i];
        added += j.labels[i] == 4;
      }
  EXPECT_EQ(far, 0);
  EXPECT_GT(added, 0);
}
