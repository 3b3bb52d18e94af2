// The graph-cut cache file: bit-exact round trip, refusal of truncated and inconsistent files
// with the outputs left untouched, and random mutations of a valid file.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "modes/region/kernels/gcut_cache.h"
#include "modes/region/kernels/gcut_precompute.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}
void writeBytes(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
std::uint32_t getU32(const Bytes& b, size_t field) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + 4 * field, 4);
  return v;
}
void setU32(Bytes& b, size_t field, std::uint32_t v) { std::memcpy(b.data() + 4 * field, &v, 4); }

// Field positions of a parsed file, to aim the corruptions.
struct Layout {
  std::uint32_t N = 0, R = 0;
  size_t firstRegion = 0;                 // field index of region 0's record
  std::vector<size_t> regionK, adjM;      // field index of each K and each M
};
Layout layoutOf(const Bytes& b) {
  Layout L;
  L.N = getU32(b, 0);
  L.R = getU32(b, 1 + L.N);
  size_t f = 2 + L.N;
  L.firstRegion = f;
  for (std::uint32_t r = 0; r < L.R; ++r) {
    L.regionK.push_back(f + 6);
    f += 7 + getU32(b, f + 6);
  }
  for (std::uint32_t r = 0; r < L.R; ++r) {
    L.adjM.push_back(f);
    f += 1 + getU32(b, f);
  }
  return L;
}

// What an accepted file must satisfy, checked independently of the reader.
::testing::AssertionResult consistent(size_t N, const std::vector<int>& labels,
                                      const std::vector<TGCutRegion>& regions,
                                      const TGCutAdjacency& adj) {
  const size_t R = regions.size();
  if (labels.size() != N || adj.size() != R) return ::testing::AssertionFailure() << "sizes";
  std::vector<int> owner(N, -1);
  for (size_t r = 0; r < R; ++r)
    for (size_t k = 0; k < regions[r].voxels.size(); ++k) {
      const long long v = regions[r].voxels[k];
      if (v < 0 || size_t(v) >= N || owner[v] != -1) return ::testing::AssertionFailure() << "voxel " << v;
      if (k && regions[r].voxels[k - 1] >= v) return ::testing::AssertionFailure() << "order";
      owner[v] = int(r);
    }
  for (size_t v = 0; v < N; ++v)
    if (owner[v] < 0 || labels[v] != owner[v]) return ::testing::AssertionFailure() << "label " << v;
  for (size_t r = 0; r < R; ++r)
    for (size_t k = 0; k < adj[r].size(); ++k) {
      const long long s = adj[r][k];
      if (s <= static_cast<long long>(r) || size_t(s) >= R || (k && adj[r][k - 1] >= s))
        return ::testing::AssertionFailure() << "adjacency " << r;
    }
  return ::testing::AssertionSuccess();
}

class GCutCache : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrin_gcutXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    // A real pre-segmentation of a small two-channel volume, written by the pipeline.
    in_.W = 20, in_.H = 16, in_.D = 12;
    const size_t n = size_t(in_.W) * in_.H * in_.D;
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    in_.c1.resize(n);
    in_.c2.resize(n);
    in_.gradient.resize(n);
    for (size_t i = 0; i < n; ++i) {
      in_.c1[i] = std::sin(0.5f * (i % in_.W)) + 0.3f * u(rng);
      in_.c2[i] = u(rng);
      in_.gradient[i] = 0.2f * u(rng) + 0.1f * std::fabs(std::sin(0.3f * i));
    }
    in_.cachePath = path("vol.tif.ksgcutprecomp");
    ASSERT_EQ(t_precomputeGCut(in_, pre_), TWatershedStatus::Ok);
    good_ = readBytes(in_.cachePath);
    ASSERT_GT(good_.size(), 4 * n);
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Reads bytes written to a file; the outputs start as a sentinel that a refusal must keep.
  bool readBack(const Bytes& b, int W, int H, int D, std::vector<int>* labels = nullptr,
                std::vector<TGCutRegion>* regions = nullptr, TGCutAdjacency* adj = nullptr) {
    writeBytes(path("probe"), b);
    std::vector<int> l{-7};
    std::vector<TGCutRegion> r(1);
    TGCutAdjacency a(2);
    const bool ok = t_readPrecompFile(W, H, D, path("probe"), l, r, a);
    if (!ok) {
      EXPECT_EQ(l, std::vector<int>{-7});
      EXPECT_EQ(r.size(), 1u);
      EXPECT_EQ(a.size(), 2u);
    }
    if (labels) *labels = l;
    if (regions) *regions = r;
    if (adj) *adj = a;
    return ok;
  }

  std::string dir_;
  TGCutPrecomputeInput in_;
  TGCutPrecomp pre_;
  Bytes good_;
};

}  // namespace

TEST_F(GCutCache, RoundTripIsBitExact) {
  std::vector<int> labels;
  std::vector<TGCutRegion> regions;
  TGCutAdjacency adj;
  ASSERT_TRUE(t_precompFileMatches(in_.cachePath, in_.W, in_.H, in_.D));
  ASSERT_TRUE(t_readPrecompFile(in_.W, in_.H, in_.D, in_.cachePath, labels, regions, adj));
  EXPECT_EQ(labels, pre_.labels);
  EXPECT_EQ(adj, pre_.adjacency);
  ASSERT_EQ(regions.size(), pre_.regions.size());
  for (size_t r = 0; r < regions.size(); ++r) {
    EXPECT_EQ(regions[r].voxels, pre_.regions[r].voxels);
    EXPECT_EQ(std::memcmp(regions[r].sum, pre_.regions[r].sum, sizeof regions[r].sum), 0);
    EXPECT_EQ(std::memcmp(regions[r].mean, pre_.regions[r].mean, sizeof regions[r].mean), 0);
    EXPECT_EQ(regions[r].inTarget, 1);
  }
  // Written again from what was read: the same bytes.
  ASSERT_TRUE(t_writePrecompFile(in_.W, in_.H, in_.D, path("again"), labels, regions, adj));
  EXPECT_EQ(readBytes(path("again")), good_);
  // An empty region is its six floats and a zero count, and reads back.
  regions.push_back(TGCutRegion());
  regions.back().mean[1] = 2.5f;
  adj.push_back({});
  ASSERT_TRUE(t_writePrecompFile(in_.W, in_.H, in_.D, path("again"), labels, regions, adj));
  const Bytes withEmpty = readBytes(path("again"));
  EXPECT_EQ(withEmpty.size(), good_.size() + 4 * (7 + 1));
  std::vector<TGCutRegion> back;
  ASSERT_TRUE(readBack(withEmpty, in_.W, in_.H, in_.D, nullptr, &back));
  ASSERT_EQ(back.size(), regions.size());
  EXPECT_TRUE(back.back().voxels.empty());
  EXPECT_EQ(back.back().mean[1], 2.5f);

  // Another volume with the same voxel count (other dimensions) is accepted.
  EXPECT_TRUE(readBack(good_, in_.D, in_.H, in_.W));
  EXPECT_FALSE(readBack(good_, in_.W, in_.H, in_.D + 1));
}

TEST_F(GCutCache, TruncatedOrExtendedFilesAreRefused) {
  for (size_t len = 0; len < good_.size(); len += (len < 64 || good_.size() - len < 64) ? 1 : 37)
    EXPECT_FALSE(readBack(Bytes(good_.begin(), good_.begin() + len), in_.W, in_.H, in_.D)) << len;
  Bytes longer = good_;
  longer.insert(longer.end(), {0, 0, 0, 0});
  EXPECT_FALSE(readBack(longer, in_.W, in_.H, in_.D));
}

TEST_F(GCutCache, InconsistentFilesAreRefused) {
  const Layout L = layoutOf(good_);
  ASSERT_GT(L.R, 3u);
  const std::uint32_t v0 = getU32(good_, L.regionK[0] + 1);  // first voxel of region 0
  struct Corruption {
    const char* what;
    std::function<void(Bytes&)> apply;
  };
  const std::vector<Corruption> cases = {
      {"label not a region", [&](Bytes& b) { setU32(b, 1 + 5, L.R); }},
      {"negative label", [&](Bytes& b) { setU32(b, 1 + 5, 0xFFFFFFFFu); }},
      {"label of another region", [&](Bytes& b) { setU32(b, 1 + v0, getU32(b, 1 + v0) + 1); }},
      {"huge region count", [&](Bytes& b) { setU32(b, 1 + L.N, 0x7FFFFFFFu); }},
      {"huge K", [&](Bytes& b) { setU32(b, L.regionK[1], 0xFFFFFFF0u); }},
      {"voxel index beyond N", [&](Bytes& b) { setU32(b, L.regionK[0] + 1, L.N + 3); }},
      {"voxel listed twice", [&](Bytes& b) { setU32(b, L.regionK[0] + 2, v0); }},
      {"non-finite mean", [&](Bytes& b) { setU32(b, L.firstRegion, 0x7FC00000u); }},
      {"adjacency count above the regions above", [&](Bytes& b) { setU32(b, L.adjM[L.R - 1], 1); }},
      {"adjacency below own region", [&](Bytes& b) {
         for (std::uint32_t r = 1; r < L.R; ++r)
           if (getU32(b, L.adjM[r]) > 0) return setU32(b, L.adjM[r] + 1, r);
       }},
      {"adjacency not ascending", [&](Bytes& b) {
         for (std::uint32_t r = 0; r < L.R; ++r)
           if (getU32(b, L.adjM[r]) > 1) {
             const std::uint32_t a = getU32(b, L.adjM[r] + 1), c = getU32(b, L.adjM[r] + 2);
             setU32(b, L.adjM[r] + 1, c);
             return setU32(b, L.adjM[r] + 2, a);
           }
       }},
  };
  for (const Corruption& c : cases) {
    Bytes b = good_;
    c.apply(b);
    ASSERT_NE(b, good_) << c.what;
    EXPECT_FALSE(readBack(b, in_.W, in_.H, in_.D)) << c.what;
  }
  // Moving one voxel from region 0's list to region 1's keeps every count but not the labels.
  Bytes moved = good_;
  setU32(moved, L.regionK[0], getU32(moved, L.regionK[0]) - 1);
  setU32(moved, L.regionK[1], getU32(moved, L.regionK[1]) + 1);
  EXPECT_FALSE(readBack(moved, in_.W, in_.H, in_.D));
}

// Random byte flips, word overwrites, truncations and insertions never crash the reader, and
// whatever it accepts is consistent.
TEST_F(GCutCache, RandomMutationsAreRefusedOrConsistent) {
  std::mt19937 rng(99);
  const size_t N = size_t(in_.W) * in_.H * in_.D;
  const std::uint32_t special[] = {0, 1, 2, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu,
                                   std::uint32_t(N), std::uint32_t(N - 1), std::uint32_t(N + 1)};
  int accepted = 0;
  for (int k = 0; k < 600; ++k) {
    Bytes b = good_;
    const int edits = 1 + rng() % 4;
    for (int e = 0; e < edits && !b.empty(); ++e) {
      const size_t field = rng() % (b.size() / 4);
      switch (rng() % 5) {
        case 0: b[rng() % b.size()] ^= 1u << (rng() % 8); break;
        case 1: setU32(b, field, special[rng() % 9]); break;
        case 2: setU32(b, field, getU32(b, field) + (rng() % 2 ? 1 : -1)); break;
        case 3: b.resize(rng() % b.size()); break;
        default: b.insert(b.begin() + 4 * field, 4, static_cast<unsigned char>(rng())); break;
      }
    }
    std::vector<int> labels;
    std::vector<TGCutRegion> regions;
    TGCutAdjacency adj;
    if (readBack(b, in_.W, in_.H, in_.D, &labels, &regions, &adj)) {
      ++accepted;
      ASSERT_TRUE(consistent(N, labels, regions, adj)) << k;
    }
  }
  // Flips inside the floats are harmless and may be accepted; most mutations are not.
  EXPECT_LT(accepted, 600);
}

// A damaged file is refused, and the recomputation that follows replaces it with a good one.
TEST_F(GCutCache, DamagedFileIsReplacedByTheRecomputation) {
  Bytes damaged = good_;
  damaged.resize(damaged.size() / 2);
  writeBytes(in_.cachePath, damaged);
  ASSERT_TRUE(t_precompFileMatches(in_.cachePath, in_.W, in_.H, in_.D));  // it would be offered
  std::vector<int> labels;
  std::vector<TGCutRegion> regions;
  TGCutAdjacency adj;
  std::string why;
  EXPECT_FALSE(t_readPrecompFile(in_.W, in_.H, in_.D, in_.cachePath, labels, regions, adj, &why));
  EXPECT_FALSE(why.empty());
  TGCutPrecomp again;
  ASSERT_EQ(t_precomputeGCut(in_, again), TWatershedStatus::Ok);
  EXPECT_EQ(readBytes(in_.cachePath), good_);
  EXPECT_EQ(access((in_.cachePath + ".part").c_str(), F_OK), -1);
}
