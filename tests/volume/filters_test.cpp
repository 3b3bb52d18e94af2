// Volume filters: the documented edge cases, and agreement with scipy.ndimage on random volumes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "volume/volume_filters.h"

namespace {

size_t idx(int W, int H, int x, int y, int z) { return (static_cast<size_t>(z) * H + y) * W + x; }

TEST(FiltersSmooth, ConstantVolumeStaysConstant) {
  const int W = 7, H = 4, D = 3;
  std::vector<float> v(W * H * D, 3.25f);
  t_smoothVolume(W, H, D, 3, v.data());
  for (float f : v) EXPECT_NEAR(f, 3.25f, 1e-5f);
}

TEST(FiltersSmooth, ImpulseSpreadsWithTheGaussianWeights) {
  // An impulse in the middle of a 9^3 volume: far from the borders the result is w(d) / sum(w).
  const int N = 9;
  std::vector<float> v(N * N * N, 0.0f);
  v[idx(N, N, 4, 4, 4)] = 1.0f;
  t_smoothVolume(N, N, N, 1, v.data());
  double s1 = 0;
  for (int k = -2; k <= 2; ++k) s1 += std::exp(-2.0 * k * k);
  const double sum = s1 * s1 * s1;
  EXPECT_NEAR(v[idx(N, N, 4, 4, 4)], 1.0 / sum, 1e-6);
  EXPECT_NEAR(v[idx(N, N, 5, 4, 4)], std::exp(-2.0) / sum, 1e-6);
  EXPECT_NEAR(v[idx(N, N, 6, 6, 6)], std::exp(-24.0) / sum, 1e-9);
  EXPECT_EQ(v[idx(N, N, 7, 4, 4)], 0.0f);
}

TEST(FiltersMorphology, DocumentedShapes) {
  const int N = 7;
  const int lo[3] = {0, 0, 0}, hi[3] = {N, N, N};
  // A 3x3x3 cube erodes to its centre.
  std::vector<uint8_t> v(N * N * N, 0);
  for (int z = 2; z <= 4; ++z)
    for (int y = 2; y <= 4; ++y)
      for (int x = 2; x <= 4; ++x) v[idx(N, N, x, y, z)] = 255;
  t_erode3D(v.data(), N, N, N, lo, hi);
  int count = 0;
  for (uint8_t b : v) count += b == 255;
  EXPECT_EQ(count, 1);
  EXPECT_EQ(v[idx(N, N, 3, 3, 3)], 255);
  // ... and the centre dilates to the 7-voxel cross.
  t_dilate3D(v.data(), N, N, N, lo, hi);
  count = 0;
  for (uint8_t b : v) count += b == 255;
  EXPECT_EQ(count, 7);
  EXPECT_EQ(v[idx(N, N, 3, 3, 2)], 255);
  EXPECT_EQ(v[idx(N, N, 2, 2, 3)], 0);
  // A volume that is foreground everywhere loses exactly its outer layer.
  std::vector<uint8_t> full(N * N * N, 255);
  t_erode3D(full.data(), N, N, N, lo, hi);
  count = 0;
  for (uint8_t b : full) count += b == 255;
  EXPECT_EQ(count, 5 * 5 * 5);
  // Other values survive; a stray 2 anywhere counts as a mark.
  std::vector<uint8_t> odd(N * N * N, 7);
  odd[0] = 2;
  t_dilate3D(odd.data(), N, N, N, lo, hi);
  EXPECT_EQ(odd[0], 255);
  EXPECT_EQ(odd[1], 7);
}

TEST(FiltersLabel, CornerContactJoinsAndOrderFollowsTheScan) {
  const int W = 5, H = 4, D = 3;
  std::vector<uint8_t> v(W * H * D, 0);
  v[idx(W, H, 4, 0, 0)] = 9;  // part 1: first in index order
  v[idx(W, H, 1, 1, 1)] = 9;  // part 2 ...
  v[idx(W, H, 2, 2, 2)] = 9;  // ... touching only at a corner
  v[idx(W, H, 0, 3, 0)] = 9;  // before (1, 1, 1) in the scan: part 2
  std::vector<int> lab(v.size(), -5);
  EXPECT_EQ(t_labelConnectedRegions(W, H, D, v.data(), 9, lab.data()), 3);
  EXPECT_EQ(lab[idx(W, H, 4, 0, 0)], 1);
  EXPECT_EQ(lab[idx(W, H, 0, 3, 0)], 2);
  EXPECT_EQ(lab[idx(W, H, 1, 1, 1)], 3);
  EXPECT_EQ(lab[idx(W, H, 2, 2, 2)], 3);
  EXPECT_EQ(lab[idx(W, H, 0, 0, 0)], 0);
}

TEST(FiltersSample, CornersAndOneSliceVolumes) {
  int W = 3, H = 2, D = 2;
  std::vector<float> v(W * H * D);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i * i);
  double p = 1.0, q = 0.5, r = 2.0;
  const double origin[3] = {0, 0, 0}, far[3] = {3.0, 1.0, 4.0}, beyond[3] = {1e300, -1e300, NAN};
  EXPECT_EQ(t_sampleTrilinear(&W, &H, &D, &p, &q, &r, origin, v.data()), v.front());
  EXPECT_EQ(t_sampleTrilinear(&W, &H, &D, &p, &q, &r, far, v.data()), v.back());
  EXPECT_EQ(t_sampleTrilinear(&W, &H, &D, &p, &q, &r, beyond, v.data()), v[idx(W, H, 2, 0, 0)]);
  // One slice: the volume is constant along z; nothing is read past the slice (ASan).
  int one = 1;
  std::vector<float> slice(W * H);
  for (size_t i = 0; i < slice.size(); ++i) slice[i] = float(i);
  const double mid[3] = {1.0, 0.5, 0.5}, high[3] = {1.0, 0.5, 7.0};
  EXPECT_DOUBLE_EQ(t_sampleTrilinear(&W, &H, &one, &p, &q, &r, mid, slice.data()), 2.0);
  EXPECT_DOUBLE_EQ(t_sampleTrilinear(&W, &H, &one, &p, &q, &r, high, slice.data()), 2.0);
  int zero = 0;
  EXPECT_EQ(t_sampleTrilinear(&zero, &H, &one, &p, &q, &r, mid, slice.data()), 0.0);
}

// ---- scipy reference -------------------------------------------------------------------------

const char* kPython = "/usr/bin/python3";

bool haveScipy() {
  static const int rc =
      std::system((std::string(kPython) + " -c 'import scipy.ndimage' >/dev/null 2>&1").c_str());
  return rc == 0;
}

class FiltersScipy : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveScipy()) GTEST_SKIP() << "/usr/bin/python3 lacks scipy";
    char tmpl[] = "/tmp/kestrin_filtersXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  template <class T>
  void write(const std::string& name, const std::vector<T>& data) {
    std::ofstream f(path(name), std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(T));
  }
  template <class T>
  std::vector<T> read(const std::string& name, size_t n) {
    std::vector<T> data(n);
    std::ifstream f(path(name), std::ios::binary);
    f.read(reinterpret_cast<char*>(data.data()), n * sizeof(T));
    EXPECT_EQ(static_cast<size_t>(f.gcount()), n * sizeof(T)) << name;
    return data;
  }
  void run(const std::string& args) {
    const std::string cmd = std::string(kPython) + " '" KESTRIN_REGIONS_SCRIPTS
                            "/filters_reference.py' " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }

  std::string dir_;
  std::mt19937 rng_{12345};
};

TEST_F(FiltersScipy, SmoothingMatchesTheFullWeightTable) {
  // Large enough for the parallel passes.
  const int W = 40, H = 33, D = 27;
  std::uniform_real_distribution<float> u(-100.0f, 400.0f);
  std::vector<float> v(W * H * D);
  for (float& f : v) f = u(rng_);
  write("s_in", v);
  run("smooth 40 33 27 " + path("s_in") + " " + path("s_out") + " 2");
  const std::vector<float> ref = read<float>("s_out", v.size());
  t_smoothVolume(W, H, D, 2, v.data());
  double worst = 0;
  for (size_t i = 0; i < v.size(); ++i) worst = std::max(worst, double(std::fabs(v[i] - ref[i])));
  EXPECT_LT(worst, 2e-4) << "largest difference from the 5x5x5 correlation";
}

TEST_F(FiltersScipy, MorphologyMatchesTheSixNeighbourCross) {
  const int W = 41, H = 33, D = 29;
  std::bernoulli_distribution fg(0.55);
  std::vector<uint8_t> v(W * H * D);
  for (uint8_t& b : v) b = fg(rng_) ? 255 : 0;
  write("m_in", v);
  const int boxes[2][6] = {{0, 0, 0, W, H, D}, {3, 2, 1, 35, 30, 20}};
  for (const auto& b : boxes) {
    const std::string box = std::to_string(b[0]) + " " + std::to_string(b[1]) + " " +
                            std::to_string(b[2]) + " " + std::to_string(b[3]) + " " +
                            std::to_string(b[4]) + " " + std::to_string(b[5]);
    run("erode 41 33 29 " + path("m_in") + " " + path("e_out") + " " + box);
    run("dilate 41 33 29 " + path("m_in") + " " + path("d_out") + " " + box);
    std::vector<uint8_t> e = v, d = v;
    t_erode3D(e.data(), W, H, D, b, b + 3);
    t_dilate3D(d.data(), W, H, D, b, b + 3);
    EXPECT_EQ(e, read<uint8_t>("e_out", v.size())) << "erosion, box " << box;
    EXPECT_EQ(d, read<uint8_t>("d_out", v.size())) << "dilation, box " << box;
  }
}

TEST_F(FiltersScipy, LabellingMatchesThe26Structure) {
  // Sparse and dense random volumes; several values, so the labelled value is not the only one.
  // Large enough for the parallel slabs.
  const int W = 45, H = 38, D = 31;
  for (double density : {0.08, 0.3, 0.6}) {
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<uint8_t> v(W * H * D);
    for (uint8_t& b : v) b = u(rng_) < density ? 5 : (u(rng_) < 0.5 ? 0 : 7);
    write("l_in", v);
    run("label 45 38 31 " + path("l_in") + " " + path("l_out") + " 5");
    const std::vector<int> ref = read<int>("l_out", v.size() + 1);
    std::vector<int> lab(v.size());
    const int n = t_labelConnectedRegions(W, H, D, v.data(), 5, lab.data());
    EXPECT_EQ(n, ref[0]) << "density " << density;
    // The same partition, numbered in scan order on our side: map scipy's labels onto ours.
    std::vector<int> map(ref[0] + 1, -1), back(n + 1, -1);
    int next = 0;
    bool same = true;
    for (size_t i = 0; i < v.size(); ++i) {
      const int a = lab[i], b = ref[i + 1];
      if ((a == 0) != (b == 0)) same = false;
      if (a == 0 || b == 0) continue;
      if (map[b] < 0 && back[a] < 0) {
        map[b] = a;
        back[a] = b;
        EXPECT_EQ(a, ++next) << "parts must be numbered in order of first voxel";
      }
      if (map[b] != a || back[a] != b) same = false;
    }
    EXPECT_TRUE(same) << "density " << density;
  }
}

TEST_F(FiltersScipy, SamplingMatchesMapCoordinatesOrder1) {
  for (int D : {8, 1}) {
    int W = 11, H = 6;
    double px = 0.7, py = 1.3, pz = 2.0;
    std::uniform_real_distribution<float> u(0, 1000);
    std::vector<float> v(W * H * D);
    for (float& f : v) f = u(rng_);
    std::uniform_real_distribution<double> ux(-2, W * px + 2), uy(-2, H * py + 2),
        uz(-2, D * pz + 2);
    std::vector<double> pos;
    for (int k = 0; k < 400; ++k) {
      pos.push_back(ux(rng_));
      pos.push_back(uy(rng_));
      pos.push_back(uz(rng_));
    }
    write("t_in", v);
    write("t_pos", pos);
    char args[256];
    snprintf(args, sizeof args, "sample %d %d %d %s %s %.17g %.17g %.17g %s", W, H, D,
             path("t_in").c_str(), path("t_out").c_str(), px, py, pz, path("t_pos").c_str());
    run(args);
    const std::vector<double> ref = read<double>("t_out", 400);
    for (int k = 0; k < 400; ++k) {
      const double got = t_sampleTrilinear(&W, &H, &D, &px, &py, &pz, &pos[3 * k], v.data());
      ASSERT_NEAR(got, ref[k], 1e-9) << "D " << D << " sample " << k;
    }
  }
}

}  // namespace
