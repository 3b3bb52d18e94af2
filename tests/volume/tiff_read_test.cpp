// The TIFF reader against files written by independent tools (tifffile, libtiff's tiffcp) and
// against hand-built files for the layouts and damage no tool produces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "files_test_util.h"
#include "platform/ScriptedPrompts.h"
#include "volume/Image3D.h"
#include "volume/TTiffIO.h"
#include "volume/volume_readers.h"

using namespace files_test;

namespace {

// Fixtures of tifffile, made once for the whole test program.
class TifffileFixtures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!havePython("tifffile, numpy")) return;
    s_dir = new TempDir();
    s_ok = run({"/usr/bin/python3", scriptPath("files_make_tiffs.py"), s_dir->path()}, nullptr, false) == 0;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (!s_dir) GTEST_SKIP() << "/usr/bin/python3 with tifffile and numpy is not available";
    ASSERT_TRUE(s_ok) << "files_make_tiffs.py failed";
  }
  static std::string file(const std::string& name) { return (*s_dir) / name; }

  static TempDir* s_dir;
  static bool s_ok;
};
TempDir* TifffileFixtures::s_dir = nullptr;
bool TifffileFixtures::s_ok = false;

// Reads the file as one channel (or three) and compares with the reference array.
void expectVolume(const std::string& tif, const std::string& bin, int W, int H, int D, bool color) {
  SCOPED_TRACE(tif);
  TTiffIO io(tif);
  TTiffVolumeInfo info;
  ASSERT_TRUE(io.inspect(&info)) << io.lastError();
  EXPECT_EQ(info.W, W);
  EXPECT_EQ(info.H, H);
  EXPECT_EQ(info.D, D);
  EXPECT_EQ(info.color, color);
  const std::vector<double> ref = readDoubles(bin);
  const size_t n = size_t(W) * H * D;
  ASSERT_EQ(ref.size(), n * (color ? 3 : 1));
  if (!color) {
    std::vector<float> v(n, -12345.f);
    ASSERT_TRUE(io.readGrayFloat(v.data())) << io.lastError();
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(v[i], float(ref[i])) << "voxel " << i;
    return;
  }
  std::vector<float> r(n), g(n), b(n), grey(n);
  ASSERT_TRUE(io.readColorFloat(r.data(), g.data(), b.data())) << io.lastError();
  ASSERT_TRUE(io.readGrayFloat(grey.data())) << io.lastError();
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(r[i], float(ref[3 * i])) << "voxel " << i;
    ASSERT_EQ(g[i], float(ref[3 * i + 1])) << "voxel " << i;
    ASSERT_EQ(b[i], float(ref[3 * i + 2])) << "voxel " << i;
    ASSERT_EQ(grey[i], float(std::max(ref[3 * i], std::max(ref[3 * i + 1], ref[3 * i + 2])))) << "voxel " << i;
  }
}

// The message the reader gives for a file it refuses (empty when it reads the file).
std::string refusal(const std::string& path) {
  TTiffIO io(path);
  TTiffVolumeInfo info;
  if (io.inspect(&info)) return "";
  EXPECT_FALSE(io.lastError().empty());
  return io.lastError();
}

}  // namespace

TEST_F(TifffileFixtures, ReadsGreyFilesOfEverySampleKind) {
  for (const char* name : {"g8", "g16", "g16be", "g8strips", "gi16", "gu32", "g32f", "g32fbe", "g64f",
                           "miniswhite8", "greyalpha8"})
    expectVolume(file(std::string(name) + ".tif"), file(std::string(name) + ".bin"), 9, 7, 5, false);
}

TEST_F(TifffileFixtures, ReadsChunkyAndPlanarRgb) {
  expectVolume(file("rgb8.tif"), file("rgb8.bin"), 9, 7, 5, true);
  expectVolume(file("rgb16planar.tif"), file("rgb16planar.bin"), 9, 7, 5, true);
  EXPECT_TRUE(t_isTiffColor(file("rgb8.tif")));
  EXPECT_FALSE(t_isTiffColor(file("g8.tif")));
  // A grey page with an alpha sample is grey, not a colour page.
  EXPECT_FALSE(t_isTiffColor(file("greyalpha8.tif")));
}

TEST_F(TifffileFixtures, Image3DReadsKeepValuesAndRefuseTheOtherKind) {
  const std::vector<double> ref = readDoubles(file("gi16.bin"));
  TTiffIO io(file("gi16.tif"));
  Image3D img;
  ASSERT_TRUE(io.readGray(&img)) << io.lastError();
  ASSERT_EQ(img.W, 9);
  ASSERT_EQ(img.D, 5);
  EXPECT_EQ(img.voxels[4][6][8], ref[4 * 63 + 6 * 9 + 8]);
  EXPECT_EQ(img.voxels[0][0][0], ref[0]);
  EXPECT_EQ(img.pitchX, 1.0);  // tifffile wrote no pitch tags

  Image3D r, g, b;
  EXPECT_FALSE(io.readColor(&r, &g, &b));
  TTiffIO rgb(file("rgb8.tif"));
  Image3D grey;
  EXPECT_FALSE(rgb.readGray(&grey));
  ASSERT_TRUE(rgb.readColor(&r, &g, &b)) << rgb.lastError();
  const std::vector<double> cref = readDoubles(file("rgb8.bin"));
  EXPECT_EQ(b.voxels[2][3][4], cref[3 * (2 * 63 + 3 * 9 + 4) + 2]);
}

TEST_F(TifffileFixtures, LibtiffCopiesReadTheSame) {
  if (!haveProgram("tiffcp")) GTEST_SKIP() << "tiffcp (libtiff-tools) is not installed";
  TempDir t;
  ASSERT_EQ(run({"tiffcp", "-B", file("g16.tif"), t / "be.tif"}), 0);
  ASSERT_EQ(run({"tiffcp", "-r", "3", file("g16.tif"), t / "strips.tif"}), 0);
  ASSERT_EQ(run({"tiffcp", "-B", "-r", "2", file("rgb8.tif"), t / "rgbbe.tif"}), 0);
  ASSERT_EQ(run({"tiffcp", "-p", "separate", "-r", "4", file("rgb8.tif"), t / "planar.tif"}), 0);
  ASSERT_EQ(run({"tiffcp", "-c", "none", file("zlib.tif"), t / "none.tif"}), 0);
  ASSERT_EQ(run({"tiffcp", "-B", file("g32f.tif"), t / "fbe.tif"}), 0);
  // The copies really have the layout asked for.
  std::string info;
  run({"tiffinfo", t / "strips.tif"}, &info);
  EXPECT_NE(info.find("Rows/Strip: 3"), std::string::npos);
  EXPECT_EQ(readFile(t / "be.tif")[0], 0x4D);

  expectVolume(t / "be.tif", file("g16.bin"), 9, 7, 5, false);
  expectVolume(t / "strips.tif", file("g16.bin"), 9, 7, 5, false);
  expectVolume(t / "none.tif", file("g16.bin"), 9, 7, 5, false);
  expectVolume(t / "fbe.tif", file("g32f.bin"), 9, 7, 5, false);
  expectVolume(t / "rgbbe.tif", file("rgb8.bin"), 9, 7, 5, true);
  expectVolume(t / "planar.tif", file("rgb8.bin"), 9, 7, 5, true);
}

TEST_F(TifffileFixtures, RefusesWhatItCannotReadWithAReason) {
  EXPECT_NE(refusal(file("tiled.tif")).find("tiles"), std::string::npos);
  EXPECT_NE(refusal(file("zlib.tif")).find("compressed"), std::string::npos);
  EXPECT_NE(refusal(file("palette.tif")).find("palette"), std::string::npos);
  EXPECT_NE(refusal(file("float16.tif")).find("16-bit floating-point"), std::string::npos);
  // A later page wider than the first one must not be read into the first page's rows.
  EXPECT_NE(refusal(file("sizes.tif")).find("size 13 x 7"), std::string::npos);
}

TEST_F(TifffileFixtures, LoadersShowTheMessagesAndAllocateNothing) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  int W = -1, H = -1, D = -1;
  float* v = nullptr;
  float *r = nullptr, *g = nullptr, *b = nullptr;
  EXPECT_FALSE(t_loadVolTIFgry(file("single.tif"), &W, &H, &D, &v));
  EXPECT_FALSE(t_loadVolTifColor(file("g8.tif"), &W, &H, &D, &r, &g, &b));
  EXPECT_FALSE(t_loadVolTIFgry(file("tiled.tif"), &W, &H, &D, &v));
  EXPECT_FALSE(t_loadVolTIFgry(file("does-not-exist.tif"), &W, &H, &D, &v));
  ASSERT_EQ(prompts.texts().size(), 4u);
  EXPECT_EQ(prompts.texts()[0], "このtifファイルはマルチページではありません");
  EXPECT_EQ(prompts.texts()[1], "なんか変、このtifはcolorじゃなかった");
  EXPECT_NE(prompts.texts()[2].find("tiles"), std::string::npos);
  EXPECT_NE(prompts.texts()[3].find("cannot be opened"), std::string::npos);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(W, -1);

  double pitch[3] = {7, 7, 7};
  ASSERT_TRUE(t_loadVolTIFgry(file("rgb8.tif"), &W, &H, &D, &v, pitch));
  EXPECT_EQ(W * H * D, 9 * 7 * 5);
  EXPECT_EQ(pitch[0], 7.0);  // no pitch tags: the caller's pitch stays
  delete[] v;
}

// ---- Hand-built files ----------------------------------------------------------------------

namespace {

std::string writeTemp(const TempDir& t, const std::string& name, const std::vector<uint8_t>& bytes) {
  writeFile(t / name, bytes);
  return t / name;
}

std::vector<float> readGrey(const std::string& path, TTiffVolumeInfo* info, std::string* error = nullptr) {
  TTiffIO io(path);
  std::vector<float> v;
  if (!io.inspect(info)) {
    if (error) *error = io.lastError();
    return v;
  }
  v.assign(size_t(info->W) * info->H * info->D, -1.f);
  if (!io.readGrayFloat(v.data())) {
    if (error) *error = io.lastError();
    v.clear();
  }
  return v;
}

}  // namespace

TEST(TiffHandBuilt, MissingRowsPerStripMeansOneStripAndStripsMayEndEarly) {
  TempDir t;
  TiffBuilder tb(false);
  // Page 1 without ROWSPERSTRIP; page 2 with strips of 3 rows over 5 rows (the last strip short).
  std::string p = writeTemp(t, "a.tif", tb.build({grey8Page(4, 5, 0, 0), grey8Page(4, 5, 3, 100)}));
  TTiffVolumeInfo info;
  std::vector<float> v = readGrey(p, &info);
  ASSERT_EQ(v.size(), 40u);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(v[size_t(i)], float(i));
    EXPECT_EQ(v[size_t(20 + i)], float(100 + i));
  }
}

TEST(TiffHandBuilt, BigEndianShortsAndSignedSamples) {
  TempDir t;
  for (bool big : {false, true}) {
    TiffBuilder tb(big);
    auto page = [&](int format) {
      TiffPage p;
      p.entries = {{256, 3, 1, {3}}, {257, 3, 1, {1}}, {258, 3, 1, {16}}, {262, 3, 1, {1}},
                   {277, 3, 1, {1}}, {278, 3, 1, {1}}, {339, 3, 1, {uint32_t(format)}}};
      p.strips = {tb.samples16({0xFFFF, 0x8000, 0x0102})};
      return p;
    };
    for (int format : {1, 2}) {
      std::string p = writeTemp(t, "s.tif", tb.build({page(format), page(format)}));
      TTiffVolumeInfo info;
      std::vector<float> v = readGrey(p, &info);
      ASSERT_EQ(v.size(), 6u) << big;
      EXPECT_EQ(info.W, 3);
      if (format == 2) {
        EXPECT_EQ(v[0], -1.0f);
        EXPECT_EQ(v[1], -32768.0f);
      } else {
        EXPECT_EQ(v[0], 65535.0f);
        EXPECT_EQ(v[1], 32768.0f);
      }
      EXPECT_EQ(v[2], 258.0f);
    }
  }
}

TEST(TiffHandBuilt, PitchTagsAreReportedAndZeroMeansOne) {
  TempDir t;
  TiffBuilder tb(true);  // big-endian: the FLOAT value is reversed as one 32-bit unit
  auto pitchEntry = [](uint16_t tag, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return TiffEntry{tag, 11, 1, {u}};
  };
  TiffPage p = grey8Page(2, 2, 2, 0);
  p.entries.push_back(pitchEntry(65006, 0.5f));
  p.entries.push_back(pitchEntry(65007, 0.0f));
  p.entries.push_back(pitchEntry(65008, 2.25f));
  std::string path = writeTemp(t, "p.tif", tb.build({p, grey8Page(2, 2, 2, 4)}));
  TTiffVolumeInfo info;
  ASSERT_EQ(readGrey(path, &info).size(), 8u);
  EXPECT_TRUE(info.hasPitch);
  EXPECT_EQ(info.pitch[0], 0.5);
  EXPECT_EQ(info.pitch[1], 1.0);
  EXPECT_EQ(info.pitch[2], 2.25);
  Image3D img;
  TTiffIO io(path);
  ASSERT_TRUE(io.readGray(&img));
  EXPECT_EQ(img.pitchX, 0.5);
  EXPECT_EQ(img.pitchZ, 2.25);

  std::string plain = writeTemp(t, "q.tif", TiffBuilder(false).build({grey8Page(2, 2, 2, 0), grey8Page(2, 2, 2, 0)}));
  ASSERT_EQ(readGrey(plain, &info).size(), 8u);
  EXPECT_FALSE(info.hasPitch);
  EXPECT_EQ(info.pitch[0], 1.0);
}

TEST(TiffHandBuilt, DamageAndUnsupportedLayoutsAreRefusedNeverMisread) {
  TempDir t;
  TiffBuilder tb(false);
  TTiffVolumeInfo info;
  std::string err;

  // 12-bit samples.
  TiffPage odd = grey8Page(4, 2, 2, 0);
  odd.entries[2].values = {12};
  EXPECT_TRUE(readGrey(writeTemp(t, "odd.tif", tb.build({odd, odd})), &info, &err).empty());
  EXPECT_NE(err.find("12 bits per sample"), std::string::npos) << err;

  // Compression on the second page only.
  TiffPage packed = grey8Page(4, 2, 2, 0);
  packed.entries[3].values = {32773};
  EXPECT_TRUE(readGrey(writeTemp(t, "c2.tif", tb.build({grey8Page(4, 2, 2, 0), packed})), &info, &err).empty());
  EXPECT_NE(err.find("Page 2"), std::string::npos) << err;

  // A later page wider than the first.
  EXPECT_TRUE(readGrey(writeTemp(t, "wide.tif", tb.build({grey8Page(4, 2, 2, 0), grey8Page(64, 2, 2, 0)})), &info, &err).empty());
  EXPECT_NE(err.find("64 x 2"), std::string::npos) << err;

  // Pixel data cut off at the end of the file.
  std::vector<uint8_t> whole = tb.build({grey8Page(4, 2, 2, 0), grey8Page(4, 2, 2, 0)});
  TiffPage lying = grey8Page(4, 2, 2, 0);
  lying.writeStripOffsets = false;
  lying.entries.push_back({273, 4, 1, {uint32_t(whole.size() + 100)}});
  EXPECT_TRUE(readGrey(writeTemp(t, "cut.tif", tb.build({grey8Page(4, 2, 2, 0), lying})), &info, &err).empty());
  EXPECT_NE(err.find("beyond the end"), std::string::npos) << err;

  // A strip whose rows times their length pass 2^64 and wrap to a few bytes, inside the file.
  TiffPage huge;
  huge.entries = {{256, 4, 1, {715793343u}}, {257, 4, 1, {1073793636u}}, {258, 3, 3, {64, 64, 64}},
                  {259, 3, 1, {1}},           {262, 3, 1, {2}},            {277, 3, 1, {3}}};
  huge.strips = {std::vector<uint8_t>(12000, 7)};
  {
    TTiffIO io(writeTemp(t, "wrap.tif", tb.build({huge})));
    EXPECT_FALSE(io.inspect(&info));
    EXPECT_NE(io.lastError().find("beyond the end"), std::string::npos) << io.lastError();
  }

  // STRIPBYTECOUNTS shorter than the rows of the strip.
  TiffPage shortStrip = grey8Page(4, 2, 2, 0);
  shortStrip.entries.push_back({279, 4, 1, {3}});
  EXPECT_TRUE(readGrey(writeTemp(t, "sb.tif", tb.build({shortStrip, shortStrip})), &info, &err).empty());

  // A page-directory chain that loops back on itself ends, and is reported.
  std::vector<uint8_t> loop = tb.build({grey8Page(4, 2, 2, 0), grey8Page(4, 2, 2, 0)});
  const uint32_t first = le32(loop, 4);
  const uint32_t second = le32(loop, first + 2 + 12 * le16(loop, first));
  const size_t nextOfSecond = second + 2 + 12 * le16(loop, second);
  for (int i = 0; i < 4; ++i) loop[nextOfSecond + size_t(i)] = uint8_t(first >> (8 * i));
  EXPECT_TRUE(readGrey(writeTemp(t, "loop.tif", loop), &info, &err).empty());
  EXPECT_NE(err.find("damaged"), std::string::npos) << err;

  // A chain that points past the end of the file after the first page.
  std::vector<uint8_t> past = tb.build({grey8Page(4, 2, 2, 0), grey8Page(4, 2, 2, 0)});
  past.resize(le32(past, le32(past, 4) + 2 + 12 * le16(past, le32(past, 4))) - 1);
  EXPECT_TRUE(readGrey(writeTemp(t, "trunc.tif", past), &info, &err).empty());

  // Not a TIFF at all, and an empty file.
  EXPECT_TRUE(readGrey(writeTemp(t, "text.tif", {'h', 'e', 'l', 'l', 'o', '!', '!', '!'}), &info, &err).empty());
  EXPECT_NE(err.find("not a TIFF"), std::string::npos) << err;
  EXPECT_TRUE(readGrey(writeTemp(t, "empty.tif", {}), &info, &err).empty());
}

TEST(TiffHandBuilt, LoaderCallsAVolumeCutAfterItsFirstPageTruncated) {
  TempDir t;
  TiffBuilder tb(false);
  // Cut right behind the first directory: the pointer to the second one leads past the end.
  std::vector<uint8_t> f = tb.build({grey8Page(4, 2, 2, 0), grey8Page(4, 2, 2, 0), grey8Page(4, 2, 2, 0)});
  const uint32_t first = le32(f, 4);
  f.resize(first + 2 + 12 * le16(f, first) + 4);
  const std::string path = writeTemp(t, "cut.tif", f);
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  int W = -1, H = -1, D = -1;
  float* v = nullptr;
  float *r = nullptr, *g = nullptr, *b = nullptr;
  EXPECT_FALSE(t_loadVolTIFgry(path, &W, &H, &D, &v));
  EXPECT_FALSE(t_loadVolTifColor(path, &W, &H, &D, &r, &g, &b));
  ASSERT_EQ(prompts.texts().size(), 2u);
  for (const std::string& text : prompts.texts()) {
    EXPECT_NE(text.find("truncated"), std::string::npos) << text;
    EXPECT_NE(text.find(path), std::string::npos) << text;
  }
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(W, -1);
}

TEST(TiffHandBuilt, FirstDirectoryAtZeroOrPastTheEndGivesNoPages) {
  TempDir t;
  TiffBuilder tb(false);
  for (uint32_t off : {0u, 100000u}) {
    std::vector<uint8_t> f = tb.build({grey8Page(4, 2, 2, 0)}, &off);
    TTiffIO io(writeTemp(t, "z.tif", f));
    EXPECT_EQ(io.countPages(), 0);
  }
  TTiffIO none("");
  EXPECT_EQ(none.countPages(), 0);
}

TEST(TiffTags, LookupByNameTrimsAndKeepsTheFirstNameOfANumber) {
  EXPECT_EQ(TTiffIO::tagIdByName("IMAGEWIDTH"), 256);
  EXPECT_EQ(TTiffIO::tagIdByName("  imagewidth\n"), 256);
  EXPECT_EQ(TTiffIO::tagIdByName("B_PITCHZ"), 65008);
  EXPECT_EQ(TTiffIO::tagIdByName("GROUP3OPTIONS"), 292);
  EXPECT_EQ(TTiffIO::tagIdByName("T4OPTIONS"), 0);
  EXPECT_EQ(TTiffIO::tagIdByName("NOSUCHTAG"), 0);
  EXPECT_STREQ(TTiffIO::tagNameById(339), "SAMPLEFORMAT");
  EXPECT_STREQ(TTiffIO::tagNameById(1), "UNKNOWN");
  EXPECT_EQ(TTiffIO::tagNameCount(), 200);
  EXPECT_EQ(TTiffIO::typeSize(3), 2);
  EXPECT_EQ(TTiffIO::typeSize(11), 4);
  EXPECT_EQ(TTiffIO::typeSize(12), 8);
  EXPECT_EQ(TTiffIO::typeSize(99), 0);
}
