// Texture images: window bytes, copies, texture dropping with the right context, bitmap files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "holder_test_util.h"
#include "volume/TOGL1DImage.h"
#include "volume/TOGL2DImage.h"
#include "volume/TOGL3DImage.h"

namespace {

std::string tempPath(const std::string& name) {
  return std::string(testing::TempDir()) + "/kestrin_holder_" + name;
}

void put16(std::vector<unsigned char>& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<unsigned char>& b, int64_t v) {
  for (int k = 0; k < 4; ++k) b.push_back((uint32_t(v) >> (8 * k)) & 0xFF);
}

// An 8-bit palette BMP written byte by byte: palette[i] = {r, g, b}; indices top row first.
// height < 0 writes a top-down file.
void writePaletteBmp(const std::string& path, int W, int height, const std::vector<std::array<int, 3>>& palette,
                     const std::vector<int>& indicesTopFirst) {
  const int H = std::abs(height);
  const int stride = (W + 3) / 4 * 4;
  const int offset = 14 + 40 + 4 * int(palette.size());
  std::vector<unsigned char> b;
  b.push_back('B');
  b.push_back('M');
  put32(b, offset + stride * H);
  put32(b, 0);
  put32(b, offset);
  put32(b, 40);
  put32(b, W);
  put32(b, height);
  put16(b, 1);
  put16(b, 8);
  put32(b, 0);
  put32(b, stride * H);
  put32(b, 2835);
  put32(b, 2835);
  put32(b, int(palette.size()));
  put32(b, 0);
  for (const auto& c : palette) {
    b.push_back(c[2]);
    b.push_back(c[1]);
    b.push_back(c[0]);
    b.push_back(0);
  }
  for (int r = 0; r < H; ++r) {
    const int y = height > 0 ? H - 1 - r : r;  // file row r
    for (int x = 0; x < stride; ++x) b.push_back(x < W ? indicesTopFirst[y * W + x] : 0);
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace

TEST(TOGL3DImage, WindowBytesClampAndTruncate) {
  const std::vector<float> v = {0, 50, 100, 150, 200, 250, -10, 1e9f};
  TOGL3DImage img;
  img.allocateFromVolume(8, 1, 1, v.data(), 50, 250);
  ASSERT_NE(img.data, nullptr);
  const uint8_t expect[8] = {0, 0, 63, 127, 191, 255, 0, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(img.data[i], expect[i]) << "value " << v[i];
}

TEST(TOGL3DImage, ConstantWindowAndNaNGiveDefinedBytes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> v = {5, 5, 4, 6, nan};
  TOGL3DImage img;
  img.allocateFromVolume(5, 1, 1, v.data(), 5, 5);
  const uint8_t expect[5] = {0, 0, 0, 255, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(img.data[i], expect[i]) << i;
  EXPECT_EQ(t_windowLevelByte(nan, 0, 1), 0);
  EXPECT_EQ(t_windowLevelByte(1, 0, std::numeric_limits<double>::infinity()), 0);
}

TEST(TOGL3DImage, AllocateZeroSizeLeavesEmpty) {
  TOGL3DImage img;
  img.allocate(4, 4, 4);
  ASSERT_NE(img.data, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(img.data[i], 0);
  img.allocate(4, 0, 4);
  EXPECT_EQ(img.data, nullptr);
  EXPECT_EQ(img.W + img.H + img.D, 0);
}

TEST(TOGL3DImage, AllocateZeroesEveryBlockOfALargeVolume) {
  // Over a megabyte, with a partial last block; the second allocation may reuse the freed,
  // dirtied memory of the first.
  TOGL3DImage img;
  for (int round = 0; round < 2; ++round) {
    img.allocate(130, 130, 65);
    ASSERT_NE(img.data, nullptr);
    const int64_t n = img.size();
    int64_t nonZero = 0;
    for (int64_t i = 0; i < n; ++i) nonZero += img.data[i] != 0;
    EXPECT_EQ(nonZero, 0) << "round " << round;
    std::memset(img.data, 0xAB, static_cast<size_t>(n));
  }
}

TEST(TOGL3DImage, CopyOwnsDataAndNeverSharesTheTexture) {
  DeleteLog::install();
  TOGL3DImage a;
  a.allocate(2, 2, 2);
  a.data[3] = 77;
  a.linear = false;
  a.texName = 41;  // as if bound
  {
    TOGL3DImage b(a);
    EXPECT_EQ(b.texName, TOGL3DImage::kNoTexture);
    EXPECT_NE(b.data, a.data);
    EXPECT_EQ(b.data[3], 77);
    EXPECT_FALSE(b.linear);
    TOGL3DImage c;
    c = a;
    EXPECT_EQ(c.texName, TOGL3DImage::kNoTexture);
    EXPECT_EQ(c.W * c.H * c.D, 8);
  }
  // Destroying the copies deleted nothing: the original's texture is still its own.
  EXPECT_TRUE(DeleteLog::names().empty());
  EXPECT_EQ(a.texName, 41u);

  TOGL1DImage one;
  one.allocate(3);
  one.texName = 5;
  TOGL1DImage oneCopy(one);
  EXPECT_EQ(oneCopy.texName, TOGL1DImage::kNoTexture);
  TOGL2DImage two;
  two.allocate(2, 2);
  two.texName = 6;
  TOGL2DImage twoCopy(two);
  EXPECT_EQ(twoCopy.texName, TOGL2DImage::kNoTexture);
  EXPECT_TRUE(DeleteLog::names().empty());
  one.texName = two.texName = a.texName = TOGL3DImage::kNoTexture;
}

TEST(TOGL3DImage, UnbindDeletesOnceWithTheContextCurrent) {
  DeleteLog::install();
  CountingHost host;
  TOGL3DImage img;
  img.allocate(2, 2, 2);
  img.texName = 9;
  img.unbind(&host);
  EXPECT_EQ(DeleteLog::names(), std::vector<unsigned int>{9});
  EXPECT_EQ(host.made, 1);
  EXPECT_EQ(host.done, 1);
  EXPECT_NE(img.data, nullptr);  // voxels stay
  img.unbind(&host);             // second unbind: nothing to do
  EXPECT_EQ(DeleteLog::names().size(), 1u);
  EXPECT_EQ(host.made, 1);

  // Inside a frame the context is current already and is left so.
  host.frame = true;
  img.texName = 10;
  img.clear(&host);
  EXPECT_EQ(DeleteLog::names().back(), 10u);
  EXPECT_EQ(host.made, 1);
  EXPECT_EQ(img.data, nullptr);

  // No context given: the main view's.
  CountingHost mainHost;
  t_setMainGLContext(&mainHost);
  TOGL1DImage tf;
  tf.allocate(4);
  tf.texName = 11;
  tf.unbind();
  EXPECT_EQ(mainHost.made, 1);
  EXPECT_EQ(mainHost.done, 1);
  tf.texName = 12;
  {
    TOGL1DImage gone;
    std::swap(gone.texName, tf.texName);
  }  // the destructor deletes too
  EXPECT_EQ(DeleteLog::names().back(), 12u);
  t_setMainGLContext(nullptr);
}

TEST(TOGL2DImage, Bmp24RoundTrip) {
  const int W = 5, H = 3;  // odd width: rows are padded in the file
  TOGL2DImage img;
  img.allocate(W, H);
  for (int i = 0; i < W * H; ++i) {
    img.data[4 * i + 0] = uint8_t(i * 17);
    img.data[4 * i + 1] = uint8_t(255 - i * 9);
    img.data[4 * i + 2] = uint8_t(i * 5 + 3);
    img.data[4 * i + 3] = 0;
  }
  const std::string path = tempPath("rt.png");  // written as BMP whatever the extension
  ASSERT_TRUE(img.saveAsFile(path));
  {
    std::ifstream f(path, std::ios::binary);
    unsigned char h[30];
    f.read(reinterpret_cast<char*>(h), 30);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(h[28] | (h[29] << 8), 24);
  }
  TOGL2DImage back;
  bool bottomUp = false;
  ASSERT_TRUE(back.allocateFromFile(path, &bottomUp));
  EXPECT_TRUE(bottomUp);
  ASSERT_EQ(back.W, W);
  ASSERT_EQ(back.H, H);
  for (int i = 0; i < W * H; ++i) {
    EXPECT_EQ(back.data[4 * i + 0], img.data[4 * i + 0]);
    EXPECT_EQ(back.data[4 * i + 1], img.data[4 * i + 1]);
    EXPECT_EQ(back.data[4 * i + 2], img.data[4 * i + 2]);
    EXPECT_EQ(back.data[4 * i + 3], 128);
  }
  std::remove(path.c_str());
}

TEST(TOGL2DImage, PaletteAndGreyBitmapsGiveTheirColours) {
  const std::string path = tempPath("pal.bmp");
  const std::vector<std::array<int, 3>> palette = {{10, 20, 30}, {200, 0, 100}, {0, 255, 7}, {90, 90, 90}};
  const std::vector<int> idx = {0, 1, 2, 3, 3, 2, 1, 0, 1};  // 3 x 3, top row first
  writePaletteBmp(path, 3, 3, palette, idx);
  TOGL2DImage img;
  bool bottomUp = false;
  ASSERT_TRUE(img.allocateFromFile(path, &bottomUp));
  EXPECT_TRUE(bottomUp);
  ASSERT_EQ(img.W, 3);
  ASSERT_EQ(img.H, 3);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(img.data[4 * i + 0], palette[idx[i]][0]) << i;
    EXPECT_EQ(img.data[4 * i + 1], palette[idx[i]][1]) << i;
    EXPECT_EQ(img.data[4 * i + 2], palette[idx[i]][2]) << i;
    EXPECT_EQ(img.data[4 * i + 3], 128);
  }

  // A grey bitmap (identity grey palette), stored top-down.
  std::vector<std::array<int, 3>> grey(256);
  for (int g = 0; g < 256; ++g) grey[g] = {g, g, g};
  const std::vector<int> gidx = {0, 17, 128, 255, 3, 64};  // 3 x 2
  writePaletteBmp(path, 3, -2, grey, gidx);
  ASSERT_TRUE(img.allocateFromFile(path, &bottomUp));
  EXPECT_FALSE(bottomUp);
  ASSERT_EQ(img.W, 3);
  ASSERT_EQ(img.H, 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(img.data[4 * i + 0], gidx[i]);
    EXPECT_EQ(img.data[4 * i + 1], gidx[i]);
    EXPECT_EQ(img.data[4 * i + 2], gidx[i]);
    EXPECT_EQ(img.data[4 * i + 3], 128);
  }
  std::remove(path.c_str());
}

TEST(TOGL2DImage, FailuresAreReportedAndLeaveThePicture) {
  TOGL2DImage img;
  img.allocate(2, 1);
  img.data[0] = 42;
  bool bottomUp = true;
  EXPECT_FALSE(img.allocateFromFile(tempPath("does_not_exist.bmp"), &bottomUp));
  const std::string junk = tempPath("junk.bmp");
  std::ofstream(junk) << "not an image";
  EXPECT_FALSE(img.allocateFromFile(junk, &bottomUp));
  std::remove(junk.c_str());
  EXPECT_EQ(img.W, 2);
  EXPECT_EQ(img.data[0], 42);
  EXPECT_TRUE(bottomUp);

  EXPECT_FALSE(img.saveAsFile(tempPath("no_such_dir/x.bmp")));
  TOGL2DImage empty;
  EXPECT_FALSE(empty.saveAsFile(tempPath("empty.bmp")));
}
