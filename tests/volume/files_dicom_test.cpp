// DICOM slices written by pydicom, read through Debian's medcon run as a child process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "files_test_util.h"
#include "platform/Progress.h"
#include "platform/ScriptedPrompts.h"
#include "volume/TextureManager.h"
#include "volume/dicom_medcon.h"
#include "volume/io/load.h"

using namespace files_test;

namespace {

const char kNoAccess[] =
    "XMedConがDcmファイルにアクセスできません．file pathに不正な文字や記号が含まれている可能性があります"
    ".ファイルをデスクトップ等においてリトライしてみてください．";

class DicomFixtures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!havePython("pydicom, numpy") || !haveProgram("medcon")) return;
    s_dir = new TempDir();
    s_ok = run({"/usr/bin/python3", scriptPath("files_make_dicom.py"), s_dir->path()}, nullptr, false) == 0;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (!s_dir) GTEST_SKIP() << "medcon or /usr/bin/python3 with pydicom is not available";
    ASSERT_TRUE(s_ok) << "files_make_dicom.py failed";
  }
  static std::string file(const std::string& name) { return (*s_dir) / name; }
  static std::string slice(int z) { return file("series a'b/slice '" + std::to_string(z) + "'.dcm"); }
  static TempDir* s_dir;
  static bool s_ok;
};
TempDir* DicomFixtures::s_dir = nullptr;
bool DicomFixtures::s_ok = false;

}  // namespace

TEST_F(DicomFixtures, SeriesLoadsInHounsfieldUnitsWithItsPitch) {
  // The names hold blanks and quotes: they reach medcon as one argument each.
  std::vector<std::string> names = {slice(0), slice(1), slice(2)};
  int W = 0, H = 0, D = 0;
  float* v = nullptr;
  double pitch[3] = {0, 0, 0};
  ASSERT_TRUE(t_loadVolDcm(names, &W, &H, &D, &v, pitch));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(W, 6);
  EXPECT_EQ(H, 4);
  EXPECT_EQ(D, 3);
  EXPECT_DOUBLE_EQ(pitch[0], 0.75);  // column spacing
  EXPECT_DOUBLE_EQ(pitch[1], 0.5);   // row spacing
  EXPECT_DOUBLE_EQ(pitch[2], 2.5);   // distance of the slice positions, not the thickness 2.0
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double stored = 3 * x + 7 * y + 11 * z - 500;
        ASSERT_EQ(v[(z * H + y) * W + x], float(stored * 2 - 1024)) << x << " " << y << " " << z;
      }
  delete[] v;

  // Two slices listed last first: they go by their positions, 5.0 apart.
  names = {slice(2), slice(0)};
  ASSERT_TRUE(t_loadVolDcm(names, &W, &H, &D, &v, pitch));
  EXPECT_EQ(v[0], float(-500 * 2 - 1024));
  EXPECT_EQ(v[W * H], float((22 - 500) * 2 - 1024));
  EXPECT_DOUBLE_EQ(pitch[2], 5.0);
  delete[] v;
}

TEST_F(DicomFixtures, SlicesGoByTheirPositionsNotByTheirNames) {
  struct Series {
    std::string dir;
    int files;
    std::vector<int> slices;  // the slice index found at each z
    double pitchZ;
    const char* trace;        // in the console output, or nullptr for none
  };
  const std::vector<Series> all = {
      {"shuffled", 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 2.5, nullptr},
      {"reversed", 5, {0, 1, 2, 3, 4}, 1.5, nullptr},  // sagittal: along -x, all at one z
      {"uneven", 4, {0, 1, 2, 3}, 7.0 / 3.0, "uneven"},
      {"nopos", 3, {2, 0, 1}, 3.5, "keep the order of their names"},
  };
  for (const Series& s : all) {
    SCOPED_TRACE(s.dir);
    std::vector<std::string> names;
    for (int i = 0; i < s.files; ++i) names.push_back(file(s.dir + (i < 10 ? "/n0" : "/n") + std::to_string(i) + ".dcm"));
    int W = 0, H = 0, D = 0;
    float* v = nullptr;
    double pitch[3] = {0, 0, 0};
    testing::internal::CaptureStderr();
    const bool ok = t_loadVolDcm(names, &W, &H, &D, &v, pitch);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok);
    ASSERT_EQ(D, s.files);
    EXPECT_NEAR(pitch[2], s.pitchZ, 1e-9);
    EXPECT_EQ(pitch[0], 0.75);
    if (s.trace)
      EXPECT_NE(err.find(s.trace), std::string::npos) << err;
    else
      EXPECT_EQ(err.find("t_loadVolDcm"), std::string::npos) << err;
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const int stored = 100 * s.slices[size_t(z)] + x + 10 * y;
          ASSERT_EQ(v[(z * H + y) * W + x], float(stored * 2 - 1024)) << x << " " << y << " " << z;
        }
    delete[] v;
  }
}

TEST_F(DicomFixtures, VolumeAndChannelLoadsEndTheirProgress) {
  // The reader steps the bar from its parallel loop; every load starts the display before and
  // ends it after those steps.
  struct Log : TProgressSink {
    std::mutex lock;
    std::vector<std::string> calls;
    void add(const std::string& c) {
      std::lock_guard<std::mutex> g(lock);
      calls.push_back(c);
    }
    void progressStart(int, int) override { add("start"); }
    void progressStep(int) override { add("step"); }
    void progressEnd() override { add("end"); }
  } log;
  auto series = [&] {
    std::vector<std::string> names;
    for (const char* n : {"n00", "n01", "n02", "n03"}) names.push_back(file(std::string("uneven/") + n + ".dcm"));
    return names;
  };
  auto expectFramed = [&] {
    ASSERT_GE(log.calls.size(), 3u);
    EXPECT_EQ(log.calls.front(), "start");
    EXPECT_EQ(log.calls.back(), "end");
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "end"), 1);
    EXPECT_GE(std::count(log.calls.begin(), log.calls.end(), "step"), 1);
    log.calls.clear();
  };
  t_setProgressSink(&log);
  TextureManager tm;
  int type = 4;
  double pitch[3], mn[3], mx[3];
  std::vector<unsigned char> colours;
  EXPECT_TRUE(t_loadVolume(tm, series(), type, pitch, mn, mx, colours));
  expectFramed();
  EXPECT_TRUE(t_loadChannel(tm, 2, series(), 4, &mn[1], &mx[1]));
  expectFramed();
  t_setProgressSink(nullptr);
}

TEST_F(DicomFixtures, ColourAndEightBitSlices) {
  std::vector<std::string> names = {file("rgb.dcm")};
  int W = 0, H = 0, D = 0;
  float* v = nullptr;
  ASSERT_TRUE(t_loadVolDcm(names, &W, &H, &D, &v));
  ASSERT_EQ(W * H * D, 4);
  EXPECT_EQ(v[0], 30.f);
  EXPECT_EQ(v[1], 200.f);
  EXPECT_EQ(v[2], 0.f);
  EXPECT_EQ(v[3], 250.f);
  delete[] v;
  names = {file("u8.dcm"), file("u8.dcm")};
  ASSERT_TRUE(t_loadVolDcm(names, &W, &H, &D, &v));
  EXPECT_EQ(D, 2);
  EXPECT_EQ(v[5], 200.f);
  delete[] v;
}

TEST_F(DicomFixtures, RefusalsShowTheirMessagesAndFreeEverything) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  int W = -1, H = -1, D = -1;
  float* v = nullptr;
  std::vector<std::string> names = {slice(0), file("tall.dcm")};
  EXPECT_FALSE(t_loadVolDcm(names, &W, &H, &D, &v));
  EXPECT_TRUE(names.empty());
  names = {slice(0), slice(1), file("frames.dcm")};
  EXPECT_FALSE(t_loadVolDcm(names, &W, &H, &D, &v));
  names = {file("cut.dcm")};
  EXPECT_FALSE(t_loadVolDcm(names, &W, &H, &D, &v));
  names = {file("missing.dcm")};
  EXPECT_FALSE(t_loadVolDcm(names, &W, &H, &D, &v));
  names = {"-w"};  // a name that looks like an option is still a file name
  EXPECT_FALSE(t_loadVolDcm(names, &W, &H, &D, &v));
  names.clear();
  EXPECT_FALSE(t_loadVolDcm(names, &W, &H, &D, &v));
  EXPECT_EQ(prompts.texts(), (std::vector<std::string>{"サイズの異なるdcmファイルが含まれており、ロードできません",
                                                        "マルチページDicomファイルが含まれておりここから開けません",
                                                        kNoAccess, kNoAccess, kNoAccess}));
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(W, 0);
}

TEST(XMedConIOHeader, MissingConverterIsTracedAndExplained) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", "/nonexistent-kestrin-dir", 1);
  std::vector<std::string> names = {"/tmp/a b.dcm"};
  int W, H, D;
  float* v = nullptr;
  testing::internal::CaptureStderr();
  const bool ok = t_loadVolDcm(names, &W, &H, &D, &v);
  const std::string err = testing::internal::GetCapturedStderr();
  setenv("PATH", saved.c_str(), 1);
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find("error in setFileGetHeaderInfoWin: NULL\ncmd = medcon -n -f /tmp/a b.dcm -c - bin\n"),
            std::string::npos) << err;
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_NE(prompts.texts()[0].find("medcon"), std::string::npos) << prompts.texts()[0];
}

TEST(XMedConIOHeader, KeysAcrossLinesAndShortStreams) {
  XMedConIO io;
  io.reset();
  io.parseHeader("mwidth : 3 mheight : 2 bits : 16 type : 4 (= Int16) pixdim[1] : +7.5e-01 [mm] "
                 "pixdim[2] : +5.0e-01 [mm] quant_scale : +2.0e+00 intercept : -1.0e+01 number : 1 "
                 "image_orient_pat[4]: -1.0e+00 [mm] slice_spacing : +3.5e+00 [mm]");
  EXPECT_EQ(io.width, 3);
  EXPECT_EQ(io.height, 2);
  EXPECT_EQ(io.type, 4);
  EXPECT_EQ(io.pixdim[0], 0.75);
  EXPECT_EQ(io.pixdim[1], 0.5);
  EXPECT_EQ(io.pixdim[2], 1.0);  // absent: stays 1
  EXPECT_EQ(io.slope, 2.0);
  EXPECT_EQ(io.intercept, -10.0);
  EXPECT_EQ(io.orientation[4], -1.0);  // medcon writes this key with the colon attached
  EXPECT_EQ(io.sliceSpacing, 3.5);

  double r0[3], r1[3];
  double* rows[2] = {r0, r1};
  io.samples.assign(11, '\0');  // one byte short of 3 x 2 int16
  EXPECT_FALSE(io.getVolumeGray(rows));
  io.samples.assign("\x01\x00\xff\xff\x00\x00\x00\x00\x00\x00\x00\x80", 12);
  ASSERT_TRUE(io.getVolumeGray(rows));
  EXPECT_EQ(r0[0], 2.0 - 10.0);
  EXPECT_EQ(r0[1], -2.0 - 10.0);
  EXPECT_EQ(r1[2], -32768.0 * 2 - 10.0);
  io.pixdim[0] = 0.0;
  EXPECT_FALSE(io.getVolumeGray(rows));
  io.pixdim[0] = 1.0;
  io.bits = 64;
  io.type = 11;
  EXPECT_FALSE(io.getVolumeGray(rows));
}
