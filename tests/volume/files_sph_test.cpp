// ".sph" volumes written by gfortran (sequential unformatted records) in both byte orders and
// both precisions, and damaged ones.
#include <gtest/gtest.h>

#include "files_test_util.h"
#include "platform/ScriptedPrompts.h"
#include "volume/Image3D.h"
#include "volume/sph_reader.h"

using namespace files_test;

namespace {

class SphFixtures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!haveProgram("gfortran")) return;
    s_dir = new TempDir();
    s_ok = run({"gfortran", "-o", (*s_dir) / "sphw", scriptPath("files_sph_writer.f90")}, nullptr, false) == 0 &&
           run({(*s_dir) / "sphw", s_dir->path()}, nullptr, false) == 0;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (!s_dir) GTEST_SKIP() << "gfortran is not installed";
    ASSERT_TRUE(s_ok) << "the Fortran fixture writer failed";
  }
  static std::string file(const std::string& name) { return (*s_dir) / name; }
  static TempDir* s_dir;
  static bool s_ok;
};
TempDir* SphFixtures::s_dir = nullptr;
bool SphFixtures::s_ok = false;

double expected(int x, int y, int z) { return x + 10 * y + 100 * z + 0.25; }

}  // namespace

TEST_F(SphFixtures, AllFourKindsGiveTheSameVolumeAndPitch) {
  for (const char* name : {"le_single.sph", "be_single.sph", "le_double.sph", "be_double.sph"}) {
    SCOPED_TRACE(name);
    int W = 0, H = 0, D = 0;
    float* v = nullptr;
    double pitch[3] = {0, 0, 0};
    ASSERT_TRUE(t_loadVolSph(file(name), &W, &H, &D, &v, pitch));
    EXPECT_EQ(W, 3);
    EXPECT_EQ(H, 4);
    EXPECT_EQ(D, 5);
    EXPECT_EQ(pitch[0], 0.5);
    EXPECT_EQ(pitch[1], 0.75);
    EXPECT_EQ(pitch[2], 1.25);
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ASSERT_EQ(v[(z * H + y) * W + x], float(expected(x, y, z)));
    delete[] v;

    Image3D img;
    ASSERT_TRUE(img.loadSph(file(name)));
    EXPECT_EQ(img.D, 5);
    EXPECT_EQ(img.voxels[4][3][2], expected(2, 3, 4));
    EXPECT_EQ(img.pitchY, 0.75);
  }
}

TEST_F(SphFixtures, DamagedFilesGiveAMessageAndNoVolume) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  const std::vector<uint8_t> good = readFile(file("le_single.sph"));
  int W = -1, H = -1, D = -1;
  float* v = nullptr;
  double pitch[3] = {9, 9, 9};

  std::vector<uint8_t> cut(good.begin(), good.end() - 10);
  writeFile(t / "cut.sph", cut);
  EXPECT_FALSE(t_loadVolSph(t / "cut.sph", &W, &H, &D, &v, pitch));
  EXPECT_NE(prompts.texts().back().find("truncated"), std::string::npos) << prompts.texts().back();

  // A grid size far beyond the file is refused before anything is allocated.
  std::vector<uint8_t> huge = good;
  huge[20] = 0x00;
  huge[21] = 0x00;
  huge[22] = 0x00;
  huge[23] = 0x40;  // W = 2^30
  writeFile(t / "huge.sph", huge);
  EXPECT_FALSE(t_loadVolSph(t / "huge.sph", &W, &H, &D, &v, pitch));
  EXPECT_NE(prompts.texts().back().find("truncated"), std::string::npos) << prompts.texts().back();

  std::vector<uint8_t> neg = good;
  neg[27] = 0xFF;  // H negative
  writeFile(t / "neg.sph", neg);
  EXPECT_FALSE(t_loadVolSph(t / "neg.sph", &W, &H, &D, &v, pitch));
  EXPECT_NE(prompts.texts().back().find("not valid"), std::string::npos) << prompts.texts().back();

  std::vector<uint8_t> other = good;
  other[0] = 7;
  writeFile(t / "other.sph", other);
  EXPECT_FALSE(t_loadVolSph(t / "other.sph", &W, &H, &D, &v, pitch));
  EXPECT_NE(prompts.texts().back().find("not a .sph file"), std::string::npos);

  // Double precision announced, single-precision records present.
  std::vector<uint8_t> mixed = good;
  mixed[8] = 2;
  writeFile(t / "mixed.sph", mixed);
  EXPECT_FALSE(t_loadVolSph(t / "mixed.sph", &W, &H, &D, &v, pitch));

  EXPECT_FALSE(t_loadVolSph(t / "none.sph", &W, &H, &D, &v, pitch));
  EXPECT_NE(prompts.texts().back().find("cannot be opened"), std::string::npos);

  EXPECT_EQ(prompts.texts().size(), 6u);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(W, -1);
  EXPECT_EQ(pitch[0], 9.0);
  Image3D img;
  EXPECT_FALSE(img.loadSph(t / "cut.sph"));
  EXPECT_FALSE(img.hasVoxels());
}
