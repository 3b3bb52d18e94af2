// The built-in BMP reader against Qt's reading of the same files (the program read every picture
// through QImage before): every header, depth and mask layout resolves to the colours QImage
// shows.  The Qt codec reads the formats the built-in one refuses.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/ImageCodec.h"
#include "platform/qt/QtImageCodec.h"

namespace {

std::string tempPath(const std::string& name) {
  return std::string(testing::TempDir()) + "/kestrin_qtcodec_" + name;
}

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
}

// A BMP of random pixel bytes built field by field.
struct BmpSpec {
  int W = 11, H = 6;
  bool topDown = false;
  uint32_t dibSize = 40;       // 12, 40, 108, 124
  uint32_t bits = 24;
  uint32_t compression = 0;    // 0 BI_RGB, 3 BI_BITFIELDS
  uint32_t masks[4] = {0, 0, 0, 0};
  uint32_t colorsUsed = 0;     // palette entries written (0: 1 << bits)
  uint32_t gap = 0;            // bytes between the headers and the pixels
  unsigned seed = 1;
};

std::vector<uint8_t> makeBmp(const BmpSpec& s) {
  std::mt19937 rng(s.seed);
  const bool core = s.dibSize == 12;
  const uint32_t paletteCount = s.bits <= 8 ? (s.colorsUsed ? s.colorsUsed : 1u << s.bits) : 0;
  const uint32_t maskBytes = (!core && s.dibSize == 40 && s.compression == 3) ? 12 : 0;
  const uint32_t offset = 14 + s.dibSize + maskBytes + paletteCount * (core ? 3 : 4) + s.gap;
  const uint32_t stride = (uint32_t(s.W) * s.bits + 31) / 32 * 4;
  std::vector<uint8_t> b = {'B', 'M'};
  put32(b, offset + stride * s.H);
  put32(b, 0);
  put32(b, offset);
  put32(b, s.dibSize);
  if (core) {
    put16(b, s.W);
    put16(b, s.H);
    put16(b, 1);
    put16(b, s.bits);
  } else {
    put32(b, uint32_t(s.W));
    put32(b, uint32_t(s.topDown ? -s.H : s.H));
    put16(b, 1);
    put16(b, s.bits);
    put32(b, s.compression);
    put32(b, stride * s.H);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.colorsUsed);
    put32(b, 0);
    if (s.dibSize >= 108) {
      for (uint32_t m : s.masks) put32(b, m);
      put32(b, 0x73524742);  // 'sRGB'
      while (b.size() < 14 + s.dibSize) b.push_back(0);
    }
  }
  if (maskBytes)
    for (int k = 0; k < 3; ++k) put32(b, s.masks[k]);
  for (uint32_t i = 0; i < paletteCount; ++i)
    for (int k = 0; k < (core ? 3 : 4); ++k) b.push_back(uint8_t(rng()));
  for (uint32_t i = 0; i < s.gap; ++i) b.push_back(0xEE);
  for (int r = 0; r < s.H; ++r)
    for (uint32_t k = 0; k < stride; ++k) b.push_back(uint8_t(rng()));
  return b;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

// The colours Qt shows for the file, as the program took them before: RGB32, then R, G, B.
bool qtColours(const std::string& path, TRgbPicture& out) {
  QImage src;
  if (!src.load(QString::fromStdString(path)) || src.isNull()) return false;
  const QImage rgb = src.convertToFormat(QImage::Format_RGB32);
  out.W = rgb.width();
  out.H = rgb.height();
  out.rgb.clear();
  for (int y = 0; y < out.H; ++y)
    for (int x = 0; x < out.W; ++x) {
      const QRgb c = rgb.pixel(x, y);
      out.rgb.push_back(uint8_t(qRed(c)));
      out.rgb.push_back(uint8_t(qGreen(c)));
      out.rgb.push_back(uint8_t(qBlue(c)));
    }
  return true;
}

void expectSameAsQt(const BmpSpec& spec, const char* what) {
  SCOPED_TRACE(what);
  const std::string path = tempPath("variant.bmp");
  writeFile(path, makeBmp(spec));
  TRgbPicture qt, ours;
  ASSERT_TRUE(qtColours(path, qt));
  ASSERT_TRUE(t_readBmp(path, ours));
  EXPECT_EQ(ours.W, qt.W);
  EXPECT_EQ(ours.H, qt.H);
  EXPECT_EQ(ours.rgb, qt.rgb);
  std::remove(path.c_str());
}

}  // namespace

TEST(BmpReaderAgainstQt, PaletteAndGreyPictures) {
  BmpSpec s;
  for (uint32_t bits : {1u, 4u, 8u}) {
    s.bits = bits;
    s.colorsUsed = 0;
    s.seed = bits;
    expectSameAsQt(s, "full palette");
    // A short palette: indices past its end show black in Qt.
    s.colorsUsed = bits == 1 ? 1 : 5;
    expectSameAsQt(s, "short palette");
  }
  s.bits = 8;
  s.colorsUsed = 0;
  s.topDown = true;
  expectSameAsQt(s, "top-down 8-bit");
  s.topDown = false;
  s.dibSize = 12;
  expectSameAsQt(s, "core header, 3-byte palette entries");
  s.gap = 10;
  s.dibSize = 40;
  expectSameAsQt(s, "pixels after a gap");
}

TEST(BmpReaderAgainstQt, DirectColourPictures) {
  BmpSpec s;
  s.W = 13;
  s.bits = 24;
  expectSameAsQt(s, "24-bit");
  s.topDown = true;
  expectSameAsQt(s, "24-bit top-down");
  s.topDown = false;
  s.dibSize = 12;
  expectSameAsQt(s, "24-bit core header");
  s.dibSize = 40;
  s.bits = 32;
  expectSameAsQt(s, "32-bit, fourth byte ignored");
  s.dibSize = 124;
  s.masks[0] = 0xFF0000, s.masks[1] = 0xFF00, s.masks[2] = 0xFF, s.masks[3] = 0xFF000000;
  expectSameAsQt(s, "32-bit V5 header");
  s.compression = 3;
  expectSameAsQt(s, "32-bit V5 bit fields with alpha");
  s.dibSize = 40;
  s.masks[0] = 0xFF000000, s.masks[1] = 0xFF0000, s.masks[2] = 0xFF00;
  expectSameAsQt(s, "32-bit bit fields after the header");
  s.masks[0] = 0x3FF00000, s.masks[1] = 0xFFC00, s.masks[2] = 0x3FF;
  expectSameAsQt(s, "32-bit ten bits a colour");
  s.bits = 16;
  s.compression = 0;
  expectSameAsQt(s, "16-bit 5-5-5");
  s.compression = 3;
  s.masks[0] = 0xF800, s.masks[1] = 0x07E0, s.masks[2] = 0x001F;
  expectSameAsQt(s, "16-bit 5-6-5");
  s.dibSize = 108;
  s.masks[0] = 0x0F00, s.masks[1] = 0x00F0, s.masks[2] = 0x000F, s.masks[3] = 0xF000;
  expectSameAsQt(s, "16-bit 4-4-4-4 V4 header");
}

// An uncompressed BMP whose pixel data stop early is refused, never completed from memory,
// whatever its header; the whole file still reads.
TEST(QtImageCodec, CutShortUncompressedBmpIsRefused) {
  TQtImageCodec codec;
  for (uint32_t dibSize : {12u, 40u, 124u}) {
    BmpSpec spec;
    spec.dibSize = dibSize;
    const std::vector<uint8_t> whole = makeBmp(spec);
    const std::string path = tempPath("cut" + std::to_string(dibSize) + ".bmp");
    TRgbPicture pic;
    writeFile(path, whole);
    ASSERT_TRUE(codec.read(path, pic)) << dibSize;
    EXPECT_EQ(pic.H, spec.H);
    for (size_t cut : {size_t(1), size_t(40), whole.size() - 60}) {
      writeFile(path, std::vector<uint8_t>(whole.begin(), whole.end() - long(cut)));
      TRgbPicture none;
      testing::internal::CaptureStderr();
      EXPECT_FALSE(codec.read(path, none)) << dibSize << " cut " << cut;
      EXPECT_NE(testing::internal::GetCapturedStderr().find("pixel data are cut short"),
                std::string::npos);
      EXPECT_TRUE(none.rgb.empty());
    }
  }
}

TEST(QtImageCodec, ReadsOtherFormatsAndWritesTheSameBmp) {
  TQtImageCodec codec;
  // A PNG only Qt reads.
  QImage png(3, 2, QImage::Format_RGB32);
  const QRgb colours[6] = {qRgb(1, 2, 3), qRgb(250, 0, 9), qRgb(7, 128, 255),
                           qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(99, 98, 97)};
  for (int i = 0; i < 6; ++i) png.setPixel(i % 3, i / 3, colours[i]);
  const std::string pngPath = tempPath("p.png");
  ASSERT_TRUE(png.save(QString::fromStdString(pngPath), "PNG"));
  TRgbPicture pic;
  EXPECT_FALSE(t_readBmp(pngPath, pic));
  ASSERT_TRUE(codec.read(pngPath, pic));
  ASSERT_EQ(pic.W, 3);
  ASSERT_EQ(pic.H, 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pic.rgb[3 * i], qRed(colours[i]));
    EXPECT_EQ(pic.rgb[3 * i + 1], qGreen(colours[i]));
    EXPECT_EQ(pic.rgb[3 * i + 2], qBlue(colours[i]));
  }

  // A run-length BMP only Qt reads: two rows of runs, bottom row first.
  std::vector<uint8_t> rle = {'B', 'M'};
  const std::vector<uint8_t> runs = {3, 1, 0, 0, 1, 0, 2, 1, 0, 1};  // (3 x 1) eol (1 x 0)(2 x 1) eof
  put32(rle, 14 + 40 + 8 + uint32_t(runs.size()));
  put32(rle, 0);
  put32(rle, 14 + 40 + 8);
  put32(rle, 40);
  put32(rle, 3);
  put32(rle, 2);
  put16(rle, 1);
  put16(rle, 8);
  put32(rle, 1);  // BI_RLE8
  put32(rle, uint32_t(runs.size()));
  put32(rle, 0);
  put32(rle, 0);
  put32(rle, 2);
  put32(rle, 0);
  for (uint8_t v : {10, 20, 30, 0, 200, 100, 50, 0}) rle.push_back(v);  // B, G, R, 0
  rle.insert(rle.end(), runs.begin(), runs.end());
  const std::string rlePath = tempPath("rle.bmp");
  writeFile(rlePath, rle);
  EXPECT_FALSE(t_readBmp(rlePath, pic));
  TRgbPicture qt;
  ASSERT_TRUE(qtColours(rlePath, qt));
  ASSERT_TRUE(codec.read(rlePath, pic));
  EXPECT_EQ(pic.rgb, qt.rgb);
  EXPECT_EQ(pic.rgb[0], 30);  // top row: index 0 then 1, 1
  EXPECT_EQ(pic.rgb[3], 50);

  // Writing: the built-in 24-bit BMP, which Qt reads back unchanged.
  const std::string bmpPath = tempPath("w.jpg");  // a BMP whatever the extension
  ASSERT_TRUE(codec.writeBmp(bmpPath, pic));
  {
    std::ifstream f(bmpPath, std::ios::binary);
    unsigned char h[30] = {};
    f.read(reinterpret_cast<char*>(h), 30);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(h[28] | (h[29] << 8), 24);
  }
  TRgbPicture viaQt;
  ASSERT_TRUE(qtColours(bmpPath, viaQt));
  EXPECT_EQ(viaQt.rgb, pic.rgb);
  for (const std::string& p : {pngPath, rlePath, bmpPath}) std::remove(p.c_str());

  // Nothing readable: false, picture unchanged.
  pic.W = 77;
  EXPECT_FALSE(codec.read(tempPath("missing.png"), pic));
  EXPECT_EQ(pic.W, 77);
}
