// t_loadVolume and t_loadChannel over every file type: the row reversal, the pitch
// each type reports, the grey-or-colour question, and the default volume after any failure.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "files_test_util.h"
#include "platform/Progress.h"
#include "platform/ScriptedPrompts.h"
#include "volume/Image3D.h"
#include "volume/TextureManager.h"
#include "volume/io/load.h"
#include "volume/tiff_write.h"
#include "volume/volume_readers.h"

using namespace files_test;

namespace {

const char kQuestion[] =
    "この画像はColor画像として読み込めます．\n輝度画像(Gray scale) / Color画像のどちらで読み込みますか？";

struct Loaded {
  bool ok = false;
  int type = 0;
  double pitch[3] = {0, 0, 0};
  double mn[3] = {0, 0, 0};
  double mx[3] = {0, 0, 0};
  std::vector<unsigned char> colours;
};

Loaded load(TextureManager& tm, const std::vector<std::string>& names, int type) {
  Loaded l;
  l.type = type;
  l.ok = t_loadVolume(tm, names, l.type, l.pitch, l.mn, l.mx, l.colours);
  return l;
}

void expectDefaultVolume(const TextureManager& tm, const Loaded& l) {
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(tm.vol1.W, 64);
  EXPECT_EQ(tm.vol1.D, 64);
  EXPECT_EQ(tm.channelCount, 1);
  EXPECT_TRUE(tm.filePath.empty());
  EXPECT_EQ(l.pitch[0], 1.0);
  EXPECT_EQ(l.pitch[2], 1.0);
  EXPECT_EQ(tm.volMask.W, 64);
  EXPECT_EQ(tm.volFlag.D, 64);
  EXPECT_GT(l.mx[0], 700.0);  // the shell's peak
}

// A two-page 8-bit grey TIFF of 4 x 3 built byte by byte: value base + 4y + x.
std::string greyTiff(const TempDir& t, const std::string& name, int W = 4, int H = 3) {
  TiffBuilder tb(false);
  writeFile(t / name, tb.build({grey8Page(W, H, 1, 0), grey8Page(W, H, 2, 100)}));
  return t / name;
}

// A bottom-up 24-bit BMP of W x H whose pixel (x, y), y from the top, is (r, g, b) = f(x, y).
template <class F>
void writeBmp(const std::string& path, int W, int H, F f) {
  const int rowBytes = (3 * W + 3) / 4 * 4;
  std::vector<uint8_t> b(54 + size_t(rowBytes) * H, 0);
  auto p32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i)); };
  b[0] = 'B';
  b[1] = 'M';
  p32(2, uint32_t(b.size()));
  p32(10, 54);
  p32(14, 40);
  p32(18, uint32_t(W));
  p32(22, uint32_t(H));
  b[26] = 1;
  b[28] = 24;
  p32(34, uint32_t(rowBytes * H));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::array<uint8_t, 3> c = f(x, y);
      uint8_t* px = &b[54 + size_t(H - 1 - y) * rowBytes + 3 * size_t(x)];
      px[0] = c[2];
      px[1] = c[1];
      px[2] = c[0];
    }
  writeFile(path, b);
}

void writeTraw(const std::string& path, int W, int H, int D, const double pitch[3], int dropSamples = 0) {
  std::vector<uint8_t> b(36);
  int32_t dims[3] = {W, H, D};
  std::memcpy(b.data(), dims, 12);
  std::memcpy(b.data() + 12, pitch, 24);
  for (int i = 0; i < W * H * D - dropSamples; ++i) {
    int16_t v = int16_t(i - 5);
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(uint16_t(v) >> 8));
  }
  writeFile(path, b);
}

struct ProgressLog : TProgressSink {
  std::vector<std::string> calls;
  void progressStart(int c, int p) override {
    calls.push_back("start " + std::to_string(c) + " " + std::to_string(p));
  }
  void progressStep(int p) override { calls.push_back("step " + std::to_string(p)); }
  void progressEnd() override { calls.push_back("end"); }
};

}  // namespace

TEST(LoadVolume, EmptyListAndUnknownTypeInstallTheDefaultVolume) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  ProgressLog progress;
  t_setProgressSink(&progress);
  TextureManager tm;
  Loaded l = load(tm, {}, 2);
  t_setProgressSink(nullptr);
  EXPECT_EQ(l.type, 0);
  expectDefaultVolume(tm, l);
  EXPECT_EQ(l.colours.size(), 1024u);
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"start 1 0", "start 1 50", "start 1 80", "end"}));
  TempDir t;
  expectDefaultVolume(tm, load(tm, {greyTiff(t, "a.tif")}, 0));
  EXPECT_TRUE(prompts.texts().empty());
}

TEST(LoadVolume, TiffRowsAreReversedAndOurPitchTagsArePassedOn) {
  TempDir t;
  TextureManager tm;
  Loaded l = load(tm, {greyTiff(t, "g.tif")}, 2);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(tm.filePath, t / "g.tif");
  ASSERT_EQ(tm.vol1.W, 4);
  ASSERT_EQ(tm.vol1.H, 3);
  ASSERT_EQ(tm.vol1.D, 2);
  // Row y of the volume is row H-1-y of the file.
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) ASSERT_EQ(tm.val1[(z * 3 + y) * 4 + x], float(100 * z + 4 * (2 - y) + x));
  EXPECT_EQ(l.pitch[0], 1.0);
  EXPECT_EQ(l.mn[0], 0.0);
  EXPECT_EQ(l.mx[0], 111.0);
  EXPECT_EQ(l.mx[1], 0.0);
  EXPECT_EQ(tm.vol1.data[0], uint8_t(int(8.0 / 111.0 * 255)));
  EXPECT_EQ(tm.volMask.W, 4);
  EXPECT_EQ(tm.volFlag.H, 3);

  // A file of our writer (with pitch tags) reloads with its pitch: nothing is lost on a round trip.
  Image3D img(4, 3, 2);
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) img.voxels[z][y][x] = x + 4 * y + 12 * z;
  img.pitchX = 0.5;
  img.pitchY = 0.5;
  img.pitchZ = 2.0;
  TTiffIO target(t / "p.tif");
  ASSERT_TRUE(t_writeTiffDouble(target, img));
  l = load(tm, {t / "p.tif"}, 2);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.pitch[0], 0.5);
  EXPECT_EQ(l.pitch[2], 2.0);
  EXPECT_EQ(tm.val1[0], 8.f);  // file row 2 of slice 0
}

TEST(LoadVolume, ColourTiffAsksGreyOrColour) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  Image3D r(2, 2, 2), g(2, 2, 2), b(2, 2, 2);
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) {
        r.voxels[z][y][x] = 10 * x;
        g.voxels[z][y][x] = 7;
        b.voxels[z][y][x] = 20 * y + z;
      }
  TTiffIO target(t / "c.tif");
  ASSERT_TRUE(t_writeTiff(target, r, g, b, 255, 0, 8));
  TextureManager tm;
  prompts.choices = {0, 1};
  Loaded grey = load(tm, {t / "c.tif"}, 2);
  ASSERT_TRUE(grey.ok);
  EXPECT_EQ(tm.channelCount, 1);
  // max(R, G, B) of file pixel (1, 1) of slice 1 lands on row 0.
  EXPECT_EQ(tm.val1[4 + 1], 21.f);
  EXPECT_EQ(tm.val1[4 + 2], 7.f);
  Loaded colour = load(tm, {t / "c.tif"}, 2);
  ASSERT_TRUE(colour.ok);
  EXPECT_EQ(tm.channelCount, 3);
  ASSERT_NE(tm.val3, nullptr);
  EXPECT_EQ(tm.val3[4 + 1], 21.f);
  EXPECT_EQ(tm.val1[4 + 1], 10.f);
  EXPECT_EQ(tm.vol3.W, 2);
  ASSERT_EQ(prompts.shown.size(), 2u);
  for (const auto& s : prompts.shown) {
    EXPECT_EQ(s.kind, "choose");
    EXPECT_EQ(s.text, kQuestion);
    EXPECT_EQ(s.buttons, (std::vector<std::string>{"輝度値", "Color "}));
  }
  EXPECT_EQ(t_askGrayOrColor("q"), 7);  // closed without a button
  prompts.choices = {0};
  EXPECT_EQ(t_askGrayOrColor("q"), 6);
}

TEST(LoadVolume, BrokenFilesOfEveryTypeGiveAMessageAndTheDefaultVolume) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  TextureManager tm;
  const std::vector<uint8_t> junk = {'n', 'o', 't', ' ', 'a', ' ', 'v', 'o', 'l', 'u', 'm', 'e', '\n'};
  writeFile(t / "junk", junk);
  writeFile(t / "tiny.raw", {1});
  std::vector<uint8_t> tif = readFile(greyTiff(t, "cut.tif"));
  tif.resize(tif.size() / 2);
  writeFile(t / "cut.tif", tif);
  const double pitch[3] = {1, 1, 1};
  writeTraw(t / "short.traw3D_ss", 3, 2, 2, pitch, 1);
  // Sizes whose product is 2^64: a 64-bit count wraps to 0 voxels, which this header "holds".
  std::vector<uint8_t> wrap(36, 0);
  const int32_t wrapDims[3] = {1 << 21, 1 << 21, 1 << 22};
  std::memcpy(wrap.data(), wrapDims, 12);
  std::memcpy(wrap.data() + 12, pitch, 24);
  writeFile(t / "wrap.traw3D_ss", wrap);

  struct Case {
    std::vector<std::string> names;
    int type;
  } cases[] = {{{t / "cut.tif"}, 2},      {{t / "junk"}, 2},    {{t / "junk"}, 1},
               {{t / "short.traw3D_ss"}, 6}, {{t / "junk"}, 6}, {{t / "tiny.raw"}, 5},
               {{t / "junk"}, 3},         {{t / "junk"}, 7},    {{t / "junk"}, 4},
               {{t / "missing"}, 6},      {{t / "wrap.traw3D_ss"}, 6}};
  size_t messages = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    // Start from a loaded three-channel state so that the reset to one channel shows.
    tm.channelCount = 3;
    Loaded l = load(tm, c.names, c.type);
    expectDefaultVolume(tm, l);
    EXPECT_GT(prompts.shown.size(), messages);
    messages = prompts.shown.size();
  }
}

// A volume file that cannot be read is told in one message that names the file once.
TEST(LoadVolume, AnUnreadableVolumeFileIsNamedOnceInOneMessage) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  TextureManager tm;
  writeFile(t / "text.tif", {'h', 'e', 'l', 'l', 'o', ' ', 't', 'i', 'f', 'f', '\n'});
  writeFile(t / "text.muxa", {'P', 'E', 'L', 'K', 'O', '\n'});
  for (const std::string& name : {t / "missing.tif", t / "text.muxa", t / "text.tif"}) {
    SCOPED_TRACE(name);
    prompts.shown.clear();
    expectDefaultVolume(tm, load(tm, {name}, name.back() == 'a' ? 7 : 2));
    ASSERT_EQ(prompts.shown.size(), 1u);
    const std::string& text = prompts.shown[0].text;
    size_t named = 0;
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) ++named;
    EXPECT_EQ(named, 1u) << text;
  }
  // The reason is given too (the last file is no TIFF at all).
  EXPECT_NE(prompts.shown[0].text.find("not a TIFF"), std::string::npos) << prompts.shown[0].text;
}

TEST(LoadVolume, RawStacksAndTraw3dVolumes) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  TextureManager tm;
  // Four samples: column x = 0 holds (a, b), column x = 1 holds (c, d), from y = 0 down.
  writeFile(t / "s0.raw", {1, 0, 2, 0, 3, 0, 0xFE, 0xFF});
  writeFile(t / "s1.raw", {5, 0, 6, 0, 7, 0, 8, 0});
  Loaded l = load(tm, {t / "s0.raw", t / "s1.raw"}, 5);
  ASSERT_TRUE(l.ok);
  ASSERT_EQ(tm.vol1.W, 2);
  ASSERT_EQ(tm.vol1.D, 2);
  // After the row reversal, row 0 is y = 1: (b, d).
  EXPECT_EQ(tm.val1[0], 2.f);
  EXPECT_EQ(tm.val1[1], -2.f);
  EXPECT_EQ(tm.val1[2], 1.f);
  EXPECT_EQ(tm.val1[3], 3.f);
  EXPECT_EQ(tm.val1[4 + 1], 8.f);

  writeFile(t / "big.raw", std::vector<uint8_t>(131072, 0));
  writeFile(t / "odd.raw", std::vector<uint8_t>(131070, 0));
  l = load(tm, {t / "big.raw"}, 5);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(tm.vol1.W, 256);
  EXPECT_EQ(tm.vol1.H, 256);
  l = load(tm, {t / "big.raw", t / "odd.raw"}, 5);
  expectDefaultVolume(tm, l);
  EXPECT_NE(prompts.texts().back().find("differ in size"), std::string::npos);

  const double pitch[3] = {0.25, 0.5, 3.0};
  writeTraw(t / "v.traw3D_ss", 3, 2, 2, pitch);
  tm.channelCount = 3;
  l = load(tm, {t / "v.traw3D_ss"}, 6);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(tm.channelCount, 1);
  EXPECT_EQ(l.pitch[0], 0.25);
  EXPECT_EQ(l.pitch[1], 0.5);
  EXPECT_EQ(l.pitch[2], 3.0);
  EXPECT_EQ(l.mn[0], -5.0);
  EXPECT_EQ(l.mx[0], 6.0);
  EXPECT_EQ(tm.val1[0], float(3 - 5));  // file row 1 of slice 0
}

TEST(LoadVolume, BmpStacksInGreyOrColour) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  for (int z = 0; z < 3; ++z)
    writeBmp(t / ("b" + std::to_string(z) + ".bmp"), 3, 2, [z](int x, int y) {
      return std::array<uint8_t, 3>{uint8_t(10 * x + y), uint8_t(50 + z), uint8_t(200)};
    });
  writeBmp(t / "wide.bmp", 4, 2, [](int, int) { return std::array<uint8_t, 3>{0, 0, 0}; });
  const std::vector<std::string> names = {t / "b0.bmp", t / "b1.bmp", t / "b2.bmp"};
  TextureManager tm;
  prompts.choices = {0, 1, 0};
  Loaded l = load(tm, names, 3);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(tm.channelCount, 1);
  ASSERT_EQ(tm.vol1.W, 3);
  ASSERT_EQ(tm.vol1.H, 2);
  ASSERT_EQ(tm.vol1.D, 3);
  EXPECT_EQ(tm.val1[2], 21.f);  // red of picture pixel (2, 1), now row 0
  EXPECT_EQ(tm.val1[3 + 2], 20.f);
  l = load(tm, names, 3);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(tm.channelCount, 3);
  EXPECT_EQ(tm.val2[2 * 6], 52.f);
  EXPECT_EQ(tm.val3[0], 200.f);
  l = load(tm, {t / "b0.bmp", t / "wide.bmp"}, 3);
  expectDefaultVolume(tm, l);
  EXPECT_EQ(prompts.texts().back(), "error サイズの異なる画像が含まれています");
  EXPECT_EQ(prompts.shown[0].text, kQuestion);
}

TEST(LoadVolume, MuxaKeepsItsMaskPitchAndColours) {
  TempDir t;
  // 8-bit 2 x 2 x 1 volume, mask, colour table, as the host application writes it.
  std::string text = "PELKO-MUXA\n8\nI\n2,2,1\n0.500000,0.500000,1.000000\n";
  std::vector<uint8_t> f(text.begin(), text.end());
  for (uint8_t v : {10, 20, 30, 40}) f.push_back(v);
  for (uint8_t v : {0, 1, 2, 3}) f.push_back(v);
  for (int i = 0; i < 1024; ++i) f.push_back(uint8_t(i));
  for (int i = 0; i < 3; ++i) f.push_back('\n');
  writeFile(t / "m.muxa", f);
  TextureManager tm;
  Loaded l = load(tm, {t / "m.muxa"}, 7);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(tm.channelCount, 1);
  EXPECT_EQ(l.pitch[0], 0.5);
  EXPECT_EQ(l.pitch[2], 1.0);
  EXPECT_EQ(tm.val1[0], 30.f);
  ASSERT_EQ(tm.volMask.W, 2);
  EXPECT_EQ(tm.volMask.data[0], 2);
  EXPECT_EQ(tm.volMask.data[3], 1);
  EXPECT_EQ(l.colours.size(), 1024u);
  EXPECT_EQ(l.colours[1023], 255);
}

TEST(LoadChannel, SameSizeOnlyAndInChannelOrder) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  TextureManager tm;
  ASSERT_TRUE(load(tm, {greyTiff(t, "a.tif")}, 2).ok);
  double mn = -1, mx = -1;

  // Channel 3 over one channel would leave channel 2 empty.
  EXPECT_FALSE(t_loadChannel(tm, 3, {greyTiff(t, "b.tif")}, 2, &mn, &mx));
  EXPECT_EQ(prompts.texts().back(), "Channel 3 cannot be loaded before channel 2.");
  EXPECT_EQ(tm.channelCount, 1);

  EXPECT_FALSE(t_loadChannel(tm, 2, {greyTiff(t, "c.tif", 5, 3)}, 2, &mn, &mx));
  EXPECT_EQ(prompts.texts().back(), "解像度が異なるファイルは読み込めません");
  EXPECT_EQ(tm.channelCount, 1);
  EXPECT_EQ(tm.val2, nullptr);

  EXPECT_FALSE(t_loadChannel(tm, 2, {t / "c.tif"}, 5, &mn, &mx));  // not a channel type

  ASSERT_TRUE(t_loadChannel(tm, 2, {greyTiff(t, "d.tif")}, 2, &mn, &mx));
  EXPECT_EQ(tm.channelCount, 2);
  EXPECT_EQ(mn, 0.0);
  EXPECT_EQ(mx, 111.0);
  ASSERT_NE(tm.val2, nullptr);
  EXPECT_EQ(tm.val2[0], 8.f);
  EXPECT_EQ(tm.vol2.W, 4);

  // A failing read keeps the channel that was there.
  const float* before = tm.val2;
  EXPECT_FALSE(t_loadChannel(tm, 2, {t / "missing.tif"}, 2, &mn, &mx));
  EXPECT_EQ(tm.val2, before);
  EXPECT_EQ(tm.channelCount, 2);
}

TEST(FlipVolumeY, ReversesRowsOfEverySlice) {
  TOGL3DImage im;
  im.allocate(2, 3, 2);
  for (int i = 0; i < 12; ++i) im.data[i] = uint8_t(i);
  t_flipVolumeY(im);
  EXPECT_EQ(std::vector<uint8_t>(im.data, im.data + 12),
            (std::vector<uint8_t>{4, 5, 2, 3, 0, 1, 10, 11, 8, 9, 6, 7}));
  TOGL3DImage empty;
  t_flipVolumeY(empty);
  EXPECT_TRUE(empty.empty());
}
