// The seed file of seeded region growing: "%f" text that reads back within its precision, and
// damaged files that are refused without reading past what they hold.
#include <clocale>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "modes/region/kernels/seed_file.h"

namespace {

class SeedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char d[] = "/tmp/kestrin_seedsXXXXXX";
    ASSERT_NE(mkdtemp(d), nullptr);
    dir_ = d;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void writeText(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  std::string readText(const std::string& name) const {
    std::ifstream f(path(name), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::string dir_;
};

std::vector<TSrgGroup> randomGroups(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> u(0.0, 1.0), w(-2000.0, 2000.0);
  std::vector<TSrgGroup> g(n);
  for (TSrgGroup& grp : g) {
    for (double& c : grp.color) c = u(rng);
    const int s = static_cast<int>(rng() % 6);
    for (int k = 0; k < s; ++k) grp.seeds.emplace_back(w(rng), u(rng) * 10.0, -u(rng));
  }
  return g;
}

// The file as printf writes it in the C locale.
std::string printfText(const std::vector<TSrgGroup>& g) {
  std::string t;
  char buf[512];
  std::snprintf(buf, sizeof buf, "groupNum %d\n", static_cast<int>(g.size()));
  t += buf;
  for (std::size_t i = 0; i < g.size(); ++i) {
    std::snprintf(buf, sizeof buf, "group %d seedNum %d\n", static_cast<int>(i), static_cast<int>(g[i].seeds.size()));
    t += buf;
    std::snprintf(buf, sizeof buf, "color %f %f %f\n", g[i].color[0], g[i].color[1], g[i].color[2]);
    t += buf;
    for (const TVec3& p : g[i].seeds) {
      std::snprintf(buf, sizeof buf, "%f %f %f\n", p[0], p[1], p[2]);
      t += buf;
    }
  }
  return t;
}

}  // namespace

TEST_F(SeedFile, WritesPrintfTextAndReadsBackWithinItsPrecision) {
  std::setlocale(LC_NUMERIC, "C");
  std::mt19937 rng(99);
  for (int trial = 0; trial < 20; ++trial) {
    const std::vector<TSrgGroup> g = randomGroups(rng, 1 + trial * 13 % 40);
    ASSERT_TRUE(t_writeSrgSeedFile(path("SRG_CPs.txt"), g).ok());
    ASSERT_EQ(readText("SRG_CPs.txt"), printfText(g));
    std::vector<TSrgGroup> back(2);
    back[0].mean = 5;
    const TSeedFileResult r = t_readSrgSeedFile(path("SRG_CPs.txt"), back);
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(back.size(), g.size());
    for (std::size_t i = 0; i < g.size(); ++i) {
      EXPECT_EQ(back[i].mean, 0.0);
      EXPECT_EQ(back[i].count, 0);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[i].color[c], g[i].color[c], 1e-6);
      ASSERT_EQ(back[i].seeds.size(), g[i].seeds.size());
      for (std::size_t k = 0; k < g[i].seeds.size(); ++k)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[i].seeds[k][c], g[i].seeds[k][c], 1e-6);
    }
  }
  // No groups at all is a valid file.
  ASSERT_TRUE(t_writeSrgSeedFile(path("empty.txt"), {}).ok());
  std::vector<TSrgGroup> back(3);
  ASSERT_TRUE(t_readSrgSeedFile(path("empty.txt"), back).ok());
  EXPECT_TRUE(back.empty());
}

TEST_F(SeedFile, DamagedFilesAreRefusedAndChangeNothing) {
  std::mt19937 rng(3);
  const std::vector<TSrgGroup> g = randomGroups(rng, 4);
  const std::string good = printfText(g);
  const std::vector<TSrgGroup> before = randomGroups(rng, 2);
  auto unchanged = [&](const std::vector<TSrgGroup>& now) {
    if (now.size() != before.size()) return false;
    for (std::size_t i = 0; i < now.size(); ++i)
      if (now[i].seeds != before[i].seeds) return false;
    return true;
  };
  auto refused = [&](const std::string& text, TSeedFileStatus want) {
    writeText("bad.txt", text);
    std::vector<TSrgGroup> now = before;
    const TSeedFileResult r = t_readSrgSeedFile(path("bad.txt"), now);
    EXPECT_EQ(r.status, want) << text.substr(0, 80);
    EXPECT_FALSE(r.message.empty());
    EXPECT_TRUE(unchanged(now));
  };
  // Every truncation of a good file either still holds every field or is refused (ASan watches
  // the reads).
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    writeText("cut.txt", good.substr(0, cut));
    std::vector<TSrgGroup> now = before;
    const TSeedFileResult r = t_readSrgSeedFile(path("cut.txt"), now);
    if (r.ok()) {
      ASSERT_EQ(now.size(), g.size()) << cut;
      ASSERT_EQ(now.back().seeds.size(), g.back().seeds.size()) << cut;
    } else {
      ASSERT_TRUE(unchanged(now)) << cut;
    }
  }
  refused("groupNum 255\n", TSeedFileStatus::TooManyGroups);
  refused("groupNum -1\n", TSeedFileStatus::TooManyGroups);
  refused("groupNum 99999999999999999999999\n", TSeedFileStatus::Malformed);
  refused("groupNum 2\ngroup 0 seedNum 0\ncolor 1 0 0\ngroup 2 seedNum 0\ncolor 0 1 0\n",
          TSeedFileStatus::IndexOutOfRange);
  refused("groupNum 1\ngroup -1 seedNum 0\ncolor 1 0 0\n", TSeedFileStatus::IndexOutOfRange);
  refused("groupNum 1\ngroup 0 seedNum -3\ncolor 1 0 0\n", TSeedFileStatus::IndexOutOfRange);
  refused("groupNum 1\ngroup 0 seedNum 2147483647\ncolor 1 0 0\n1 2 3\n", TSeedFileStatus::Malformed);
  refused("groupNum 1\ngroup 0 seedNum 1\ncolor 1 0 0\n1 two 3\n", TSeedFileStatus::Malformed);
  refused("groupNum 1\ngroup 0 seedNum 1\ncolor 1 0 0\n1 nan 3\n", TSeedFileStatus::Malformed);
  refused("groupNum 1\ngroup 0 seedNum 1\ncolor 1 0\n", TSeedFileStatus::Malformed);
  refused(std::string(100000, 'g') + " 1\n", TSeedFileStatus::Malformed);
  refused("groupNum 1\ngroup 0 seedNum 1\ncolor 1 0 0\n" + std::string(5000, '7') + " 1 1\n", TSeedFileStatus::Malformed);
  // Words are not checked; colours are held to 0..1.
  writeText("words.txt", "n 1\ng 0 s 1\nc 2 -1 0.5\n1 2 3\n");
  std::vector<TSrgGroup> now;
  ASSERT_TRUE(t_readSrgSeedFile(path("words.txt"), now).ok());
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0].color[0], 1.0);
  EXPECT_EQ(now[0].color[1], 0.0);
  EXPECT_EQ(now[0].seeds, TPoints{TVec3(1, 2, 3)});
  // A missing file and an unwritable path are reported.
  now = before;
  EXPECT_EQ(t_readSrgSeedFile(path("none.txt"), now).status, TSeedFileStatus::CannotOpen);
  EXPECT_TRUE(unchanged(now));
  const TSeedFileResult w = t_writeSrgSeedFile(path("no/such/dir/SRG_CPs.txt"), g);
  EXPECT_EQ(w.status, TSeedFileStatus::WriteFailed);
  EXPECT_FALSE(w.message.empty());
}
