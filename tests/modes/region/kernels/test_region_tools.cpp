// Fill Hole, Erosion and Dilation of the flag volume against scipy.ndimage's binary_fill_holes,
// binary_erosion and binary_dilation with the 6-cross, on blobs with cavities and on hollow shells.
#include <algorithm>

#include "modes/region/kernels/region_tools.h"
#include "rgrow_test_util.h"

using rgrow_test::countDiff;
using rgrow_test::Volume;

namespace {

// Flags of smoothed noise thresholded into blobs of extracted voxels with cavities; a few
// voxels are not eligible.
Volume blobs(std::mt19937& rng, int W, int H, int D) {
  Volume v(W, H, D, 1);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> f(v.size());
  for (float& x : f) x = u(rng);
  const int step[3] = {1, W, W * H};
  const int dims[3] = {W, H, D};
  for (int pass = 0; pass < 2; ++pass)
    for (int a = 0; a < 3; ++a) {
      std::vector<float> g(f);
      for (size_t i = 0; i < f.size(); ++i) {
        const int c = static_cast<int>(i / step[a]) % dims[a];
        float s = f[i];
        int n = 1;
        if (c > 0) s += f[i - step[a]], ++n;
        if (c < dims[a] - 1) s += f[i + step[a]], ++n;
        g[i] = s / n;
      }
      f.swap(g);
    }
  // About 70 % extracted, so that some pockets of the rest are enclosed.
  std::vector<float> sorted(f);
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() * 3 / 10, sorted.end());
  const float cut = sorted[sorted.size() * 3 / 10];
  for (size_t i = 0; i < f.size(); ++i) v.flags[i] = u(rng) < 0.03f ? 0 : (f[i] > cut ? 255 : 1);
  return v;
}

// A shell of extracted voxels 3 <= |p - c| < 4.2 around c, with an optional opening.
void shell(Volume& v, int cx, int cy, int cz, int opening) {
  for (int z = cz - 5; z <= cz + 5; ++z)
    for (int y = cy - 5; y <= cy + 5; ++y)
      for (int x = cx - 5; x <= cx + 5; ++x) {
        const double d = std::sqrt(double((x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz)));
        if (d >= 3.0 && d < 4.2) v.flags[x + v.W * (y + v.H * z)] = 255;
      }
  // opening 1: a face-connected tunnel through the shell along +x; 2: the same tunnel with its
  // voxels shifted one step in y and z at every step, so it connects only through edges/corners.
  for (int k = 2; k <= 5 && opening; ++k) {
    const int o = opening == 2 ? k : 0;
    v.flags[(cx + k) + v.W * ((cy + o) + v.H * (cz + o))] = 1;
  }
}

}  // namespace

class ToolsReference : public rgrow_test::Reference {
 protected:
  // Compares the three operations on v with scipy; changed[k] is set when operation k changed v.
  void compareAll(const Volume& v, bool changed[3]) {
    writeVolume(v, "");
    struct Op {
      const char* name;
      TRgrowStatus (*run)(uint8_t*, int, int, int);
    } ops[] = {{"fill", [](uint8_t* f, int W, int H, int D) { return t_fillHoleFlags(f, W, H, D); }},
               {"erode", t_erodeFlags},
               {"dilate", t_dilateFlags}};
    for (int k = 0; k < 3; ++k) {
      const Op& op = ops[k];
      const std::vector<uint8_t> want = run(op.name, v.size());
      std::vector<uint8_t> flags = v.flags;
      ASSERT_EQ(op.run(flags.data(), v.W, v.H, v.D), TRgrowStatus::Ok) << op.name;
      EXPECT_EQ(countDiff(flags, want, v.W, v.H), 0u) << op.name << " " << v.W << "x" << v.H << "x" << v.D;
      changed[k] |= flags != v.flags;
    }
  }
};

TEST_F(ToolsReference, FillErodeDilateOfBlobsEqualScipy) {
  std::mt19937 rng(21);
  bool changed[3] = {false, false, false};
  compareAll(blobs(rng, 37, 29, 23), changed);
  compareAll(blobs(rng, 70, 6, 9), changed);
  compareAll(blobs(rng, 90, 70, 60), changed);  // large enough for the loops to use threads
  compareAll(blobs(rng, 700, 600, 2), changed);  // every voxel on the border: queued at once
  EXPECT_TRUE(changed[0] && changed[1] && changed[2]) << "cavities, borders and gaps should occur";
}

TEST_F(ToolsReference, ShellsCloseUnlessAFaceOpeningLeadsOut) {
  Volume v(40, 14, 14, 1);
  std::fill(v.flags.begin(), v.flags.end(), 1);
  shell(v, 6, 7, 7, 0);
  shell(v, 19, 7, 7, 1);
  shell(v, 32, 6, 6, 2);
  v.flags[19 + v.W * (7 + v.H * 8)] = 0;  // a non-eligible voxel inside the open shell
  bool changed[3] = {false, false, false};
  compareAll(v, changed);

  std::vector<uint8_t> flags = v.flags;
  ASSERT_EQ(t_fillHoleFlags(flags.data(), v.W, v.H, v.D), TRgrowStatus::Ok);
  auto at = [&](int x, int y, int z) { return flags[x + v.W * (y + v.H * z)]; };
  EXPECT_EQ(at(6, 7, 7), 255);   // closed shell filled
  EXPECT_EQ(at(19, 7, 7), 1);    // face opening: stays hollow
  EXPECT_EQ(at(19, 7, 8), 0);    // never extracts a voxel that is not eligible
  EXPECT_EQ(at(32, 6, 6), 255);  // diagonal opening counts as closed
}

TEST(RegionTools, SheetErodesAwayAndDilationStaysEligible) {
  // A one-voxel sheet erodes entirely; dilation does not enter voxels of flag 0.
  const int W = 8, H = 8, D = 8;
  std::vector<uint8_t> flags(W * H * D, 1);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) flags[x + W * (y + H * 4)] = 255;
  for (int x = 0; x < W; ++x) flags[x + W * (2 + H * 5)] = 0;
  std::vector<uint8_t> eroded = flags;
  ASSERT_EQ(t_erodeFlags(eroded.data(), W, H, D), TRgrowStatus::Ok);
  for (size_t i = 0; i < flags.size(); ++i) ASSERT_EQ(eroded[i], flags[i] ? 1 : 0);
  ASSERT_EQ(t_dilateFlags(flags.data(), W, H, D), TRgrowStatus::Ok);
  for (int x = 0; x < W; ++x) {
    EXPECT_EQ(flags[x + W * (2 + H * 5)], 0);
    EXPECT_EQ(flags[x + W * (3 + H * 5)], 255);
  }
  EXPECT_EQ(t_erodeFlags(nullptr, W, H, D), TRgrowStatus::BadInput);
  EXPECT_EQ(t_fillHoleFlags(flags.data(), 0, H, D), TRgrowStatus::BadInput);
}
