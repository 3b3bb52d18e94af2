// The built-in picture codec against Pillow: files Pillow wrote read to the colours Pillow shows,
// and the 24-bit BMP the codec writes reads back in Pillow to the same pixels.  Installing a
// codec replaces the built-in one for every caller.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/ImageCodec.h"

namespace {

const char kPython[] = "/usr/bin/python3";
const std::string kScript = std::string(IMAGE_CODEC_SCRIPT_DIR) + "/bmp_reference.py";

bool havePillow() {
  static const int rc = std::system(
      (std::string(kPython) + " -c 'import PIL, numpy' >/dev/null 2>&1").c_str());
  return rc == 0;
}

std::string tempDir() {
  const std::string d = std::string(testing::TempDir()) + "/kestrin_codec_" + std::to_string(::getpid());
  std::system(("mkdir -p '" + d + "'").c_str());
  return d;
}

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (fgets(buf, sizeof buf, p)) out += buf;
  if (pclose(p) != 0) out.clear();
  return out;
}

}  // namespace

TEST(BuiltInBmpCodec, ReadsWhatPillowWrites) {
  if (!havePillow()) GTEST_SKIP() << "Debian's python3 lacks PIL or numpy";
  const std::string dir = tempDir();
  ASSERT_EQ(std::system((std::string(kPython) + " '" + kScript + "' make '" + dir + "'").c_str()), 0);
  for (const char* name : {"mono", "grey", "palette", "rgb", "rgba"}) {
    SCOPED_TRACE(name);
    TRgbPicture pic;
    ASSERT_TRUE(t_readBmp(dir + "/" + name + ".bmp", pic));
    EXPECT_EQ(pic.W, 13);
    EXPECT_EQ(pic.H, 7);
    const std::vector<uint8_t> expected = readBytes(dir + "/" + name + ".rgb");
    ASSERT_EQ(expected.size(), size_t(13 * 7 * 3));
    EXPECT_EQ(pic.rgb, expected);
  }
}

TEST(BuiltInBmpCodec, WritesA24BitBmpPillowReads) {
  if (!havePillow()) GTEST_SKIP() << "Debian's python3 lacks PIL or numpy";
  const std::string dir = tempDir();
  TRgbPicture pic;
  pic.W = 7;  // 21 bytes a row, padded to 24
  pic.H = 5;
  for (int i = 0; i < pic.W * pic.H * 3; ++i) pic.rgb.push_back(uint8_t(i * 37 + 11));
  const std::string path = dir + "/written.png";  // a BMP whatever the extension
  ASSERT_TRUE(t_writeBmp24(path, pic));
  EXPECT_EQ(readBytes(path).size(), size_t(54 + 24 * 5));
  const std::string out = dir + "/written.rgb";
  EXPECT_EQ(run(std::string(kPython) + " '" + kScript + "' read '" + path + "' '" + out + "'"),
            "7 5 24 BMP\n");
  EXPECT_EQ(readBytes(out), pic.rgb);

  // And back through the reader.
  TRgbPicture back;
  ASSERT_TRUE(t_readBmp(path, back));
  EXPECT_EQ(back.W, 7);
  EXPECT_EQ(back.H, 5);
  EXPECT_EQ(back.rgb, pic.rgb);
}

TEST(BuiltInBmpCodec, RefusesWhatItCannotReadAndLeavesThePicture) {
  const std::string dir = tempDir();
  TRgbPicture pic;
  pic.W = 2;
  pic.H = 1;
  pic.rgb = {1, 2, 3, 4, 5, 6};
  const std::string good = dir + "/good.bmp";
  ASSERT_TRUE(t_writeBmp24(good, pic));
  std::vector<uint8_t> bytes = readBytes(good);

  const auto refused = [&](const std::vector<uint8_t>& b, const char* what) {
    const std::string path = dir + "/bad.bmp";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    TRgbPicture out;
    out.W = 9;
    EXPECT_FALSE(t_readBmp(path, out)) << what;
    EXPECT_EQ(out.W, 9) << what;
  };
  refused(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1), "pixels cut short");
  std::vector<uint8_t> b = bytes;
  b[30] = 1;  // run-length compression
  refused(b, "run-length pixels");
  b = bytes;
  b[28] = 2;  // 2 bits per pixel does not exist
  refused(b, "bit depth");
  b = bytes;
  b[0] = 'X';
  refused(b, "magic");
  b = bytes;
  b[18] = b[19] = b[20] = b[21] = 0;  // width 0
  refused(b, "no width");
  b = bytes;
  b[14] = 20;  // unknown header size
  refused(b, "header size");
  refused({'B', 'M', 0, 0}, "truncated header");
  TRgbPicture out;
  EXPECT_FALSE(t_readBmp(dir + "/missing.bmp", out));

  // The writer refuses pictures without pixels or whose bytes do not match their size, and
  // files it cannot create.
  TRgbPicture empty;
  EXPECT_FALSE(t_writeBmp24(dir + "/empty.bmp", empty));
  TRgbPicture shortPic = pic;
  shortPic.rgb.pop_back();
  EXPECT_FALSE(t_writeBmp24(dir + "/short.bmp", shortPic));
  EXPECT_FALSE(t_writeBmp24(dir + "/no_such_dir/x.bmp", pic));
  // A full device: the buffered bytes fail when they are flushed.
  if (FILE* full = std::fopen("/dev/full", "wb")) {
    std::fclose(full);
    EXPECT_FALSE(t_writeBmp24("/dev/full", pic));
  }
}

TEST(ImageCodecService, InstalledCodecServesEveryCaller) {
  struct Fixed : TImageCodec {
    int reads = 0, writes = 0;
    bool read(const std::string&, TRgbPicture& out) override {
      ++reads;
      out.W = out.H = 1;
      out.rgb = {9, 8, 7};
      return true;
    }
    bool writeBmp(const std::string&, const TRgbPicture&) override { return ++writes, true; }
  } fixed;
  t_setImageCodec(&fixed);
  TRgbPicture pic;
  EXPECT_TRUE(t_imageCodec().read("/nowhere.png", pic));
  EXPECT_TRUE(t_imageCodec().writeBmp("/nowhere.bmp", pic));
  EXPECT_EQ(fixed.reads, 1);
  EXPECT_EQ(fixed.writes, 1);
  t_setImageCodec(nullptr);
  EXPECT_FALSE(t_imageCodec().read("/nowhere.png", pic));  // the built-in one again
}
