// The TIFF writers: the page layout byte for byte, read back by tifffile and by our reader, and
// failures that must never leave a truncated file under the chosen name.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <csignal>
#include <cstring>
#include <sstream>

#include "files_test_util.h"
#include "platform/ScriptedPrompts.h"
#include "volume/Image3D.h"
#include "volume/TTiffIO.h"
#include "volume/tiff_write.h"

using namespace files_test;

namespace {

void fill(Image3D& im, double base) {
  for (int z = 0; z < im.D; ++z)
    for (int y = 0; y < im.H; ++y)
      for (int x = 0; x < im.W; ++x) im.voxels[z][y][x] = base + x + 10 * y + 100 * z;
}

std::vector<std::string> dirEntries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

struct Checked {
  int pages = 0;
  std::vector<int> shape;
  std::string dtype;
  double pitch[3] = {0, 0, 0};
  int sizez = 0;
  int photometric = -1;
  std::vector<double> values;
};

// What tifffile reads from the file.
bool checkWithTifffile(const std::string& path, Checked* c) {
  std::string out;
  if (run({"/usr/bin/python3", scriptPath("files_check_tiff.py"), path}, &out, false) != 0) return false;
  std::istringstream in(out);
  std::string key;
  while (in >> key) {
    if (key == "pages") in >> c->pages;
    else if (key == "shape") {
      std::string line;
      std::getline(in, line);
      std::istringstream l(line);
      int v;
      while (l >> v) c->shape.push_back(v);
    } else if (key == "dtype") in >> c->dtype;
    else if (key == "pitch") in >> c->pitch[0] >> c->pitch[1] >> c->pitch[2];
    else if (key == "sizez") in >> c->sizez;
    else if (key == "photometric") in >> c->photometric;
    else if (key == "values") {
      double v;
      while (in >> v) c->values.push_back(v);
    }
  }
  return true;
}

}  // namespace

TEST(TiffWrite, EightBitLayoutIsByteForByte) {
  TempDir t;
  const int W = 3, H = 2, D = 2;
  Image3D r(W, H, D), g(W, H, D), b(W, H, D);
  fill(r, 0);
  fill(g, 1);
  fill(b, 2);
  r.voxels[0][0][0] = 12.7;   // truncated
  r.voxels[0][0][1] = 300.0;  // above upper
  r.voxels[0][0][2] = -5.0;   // below lower
  r.pitchX = 0.5;
  r.pitchY = 0.25;
  r.pitchZ = 1.1;
  TTiffIO target(t / "v8.tif");
  ASSERT_TRUE(t_writeTiff(target, r, g, b, 255, 0, 8));
  const std::vector<uint8_t> f = readFile(t / "v8.tif");
  ASSERT_EQ(f.size(), 8u + D * (344u + 8 * H + 3 * W * H));
  EXPECT_EQ(f.size(), t_tiffFileSize(W, H, D, 1));
  EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 8), (std::vector<uint8_t>{0x49, 0x49, 0x2A, 0, 8, 0, 0, 0}));

  const uint16_t tags[20] = {256, 257, 258, 259, 262, 273, 277, 278, 279, 284,
                             315, 339, 65003, 65004, 65006, 65007, 65008, 65012, 65013, 65014};
  const uint16_t types[20] = {3, 3, 3, 3, 3, 4, 3, 3, 4, 3, 2, 3, 3, 3, 11, 11, 11, 11, 4, 11};
  uint32_t P = 8;
  for (int z = 0; z < D; ++z) {
    SCOPED_TRACE(z);
    ASSERT_EQ(le16(f, P), 20);
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(le16(f, P + 2 + 12 * i), tags[i]);
      EXPECT_EQ(le16(f, P + 4 + 12 * i), types[i]);
    }
    auto value = [&](int i) { return le32(f, P + 2 + 12 * i + 8); };
    auto count = [&](int i) { return le32(f, P + 2 + 12 * i + 4); };
    const uint32_t E = P + 246;
    EXPECT_EQ(value(0), uint32_t(W));
    EXPECT_EQ(value(1), uint32_t(H));
    EXPECT_EQ(count(2), 3u);
    EXPECT_EQ(value(2), E);
    EXPECT_EQ(le16(f, E), 8);
    EXPECT_EQ(le16(f, E + 4), 8);
    EXPECT_EQ(value(4), 2u);
    EXPECT_EQ(value(5), E + 6);
    EXPECT_EQ(count(5), uint32_t(H));
    EXPECT_EQ(value(7), 1u);
    EXPECT_EQ(value(8), E + 6 + 4 * H);
    EXPECT_EQ(count(10), 92u);
    EXPECT_EQ(value(10), E + 6 + 8 * H);
    EXPECT_EQ(f[E + 6 + 8 * H + 91], 0);  // the credit line is zero-padded
    EXPECT_EQ(value(11), 1u);
    EXPECT_EQ(value(12), uint32_t(D));
    float px, pz;
    uint32_t u = value(14);
    std::memcpy(&px, &u, 4);
    u = value(16);
    std::memcpy(&pz, &u, 4);
    EXPECT_EQ(px, 0.5f);
    EXPECT_EQ(pz, 1.1f);
    const uint32_t rows = E + 6 + 8 * H + 92;
    for (int y = 0; y < H; ++y) {
      EXPECT_EQ(le32(f, E + 6 + 4 * y), rows + uint32_t(y) * 3 * W);
      EXPECT_EQ(le32(f, E + 6 + 4 * H + 4 * y), uint32_t(3 * W));
    }
    const uint32_t next = le32(f, P + 242);
    const uint32_t end = P + 242 + 102 + (3 * W + 8) * H;
    EXPECT_EQ(next, z + 1 < D ? end : 0u);
    // Samples r, g, b of each pixel.
    if (z == 0) {
      EXPECT_EQ(f[rows + 0], 12);
      EXPECT_EQ(f[rows + 3], 255);
      EXPECT_EQ(f[rows + 6], 0);
      EXPECT_EQ(f[rows + 1], 1);
      EXPECT_EQ(f[rows + 2], 2);
    } else {
      EXPECT_EQ(f[rows + 3 * W + 3 * 1 + 2], 100 + 10 + 1 + 2);  // b at x 1, y 1, z 1
    }
    P = end;
  }
}

TEST(TiffWrite, DoubleFilesHaveTheirSizesAndReadBack) {
  TempDir t;
  const int W = 4, H = 3, D = 2;
  Image3D r(W, H, D), g(W, H, D), b(W, H, D), one(W, H, D);
  fill(r, -0.125);
  fill(g, 1e10);
  fill(b, -7);
  fill(one, 0.1);
  r.pitchX = 1.1;
  one.pitchY = 3.0;
  TTiffIO t64(t / "v64.tif"), td(t / "vd.tif");
  ASSERT_TRUE(t_writeTiff(t64, r, g, b, DBL_MAX, -DBL_MAX, 64));
  ASSERT_TRUE(t_writeTiffDouble(td, one));
  EXPECT_EQ(readFile(t / "v64.tif").size(), 8u + D * (344u + 8 * H + 3 * 8 * W * H));
  EXPECT_EQ(readFile(t / "vd.tif").size(), 8u + D * (338u + 8 * H + 8 * W * H));
  const std::vector<uint8_t> fd = readFile(t / "vd.tif");
  EXPECT_EQ(le32(fd, 8 + 242), 8u + 242 + 96 + (W + 1) * 8 * H);

  // Our reader: a t_writeTiff file is colour (three samples) with the pitch as 32-bit floats.
  TTiffIO in64(t / "v64.tif");
  EXPECT_TRUE(t_isTiffColor(t / "v64.tif"));
  Image3D rr, gg, bb;
  ASSERT_TRUE(in64.readColor(&rr, &gg, &bb)) << in64.lastError();
  EXPECT_EQ(rr.D, D);
  EXPECT_EQ(rr.pitchX, double(1.1f));
  EXPECT_EQ(gg.pitchX, double(1.1f));
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        ASSERT_EQ(rr.voxels[z][y][x], r.voxels[z][y][x]);
        ASSERT_EQ(gg.voxels[z][y][x], g.voxels[z][y][x]);
        ASSERT_EQ(bb.voxels[z][y][x], b.voxels[z][y][x]);
      }
  TTiffIO ind(t / "vd.tif");
  Image3D back;
  ASSERT_TRUE(ind.readGray(&back)) << ind.lastError();
  EXPECT_EQ(back.voxels[1][2][3], one.voxels[1][2][3]);
  EXPECT_EQ(back.pitchY, 3.0);
}

TEST(TiffWrite, TifffileReadsOurFilesWithTheirPitchTags) {
  if (!havePython("tifffile, numpy")) GTEST_SKIP() << "/usr/bin/python3 with tifffile is not available";
  TempDir t;
  const int W = 5, H = 3, D = 4;
  Image3D r(W, H, D), g(W, H, D), b(W, H, D);
  fill(r, 0);
  fill(g, 0.5);
  fill(b, 3);
  r.pitchX = 0.3;
  r.pitchY = 0.4;
  r.pitchZ = 2.5;
  TTiffIO t8(t / "a8.tif"), t64(t / "a64.tif"), td(t / "ad.tif");
  ASSERT_TRUE(t_writeTiff(t8, r, g, b, 255, 0, 8));
  ASSERT_TRUE(t_writeTiff(t64, r, g, b, DBL_MAX, -DBL_MAX, 64));
  ASSERT_TRUE(t_writeTiffDouble(td, r));

  Checked c8, c64, cd;
  ASSERT_TRUE(checkWithTifffile(t / "a8.tif", &c8));
  ASSERT_TRUE(checkWithTifffile(t / "a64.tif", &c64));
  ASSERT_TRUE(checkWithTifffile(t / "ad.tif", &cd));
  EXPECT_EQ(c8.pages, D);
  EXPECT_EQ(c8.shape, (std::vector<int>{D, H, W, 3}));
  EXPECT_EQ(c8.dtype, "uint8");
  EXPECT_EQ(c64.dtype, "float64");
  EXPECT_EQ(cd.shape, (std::vector<int>{D, H, W}));
  EXPECT_EQ(cd.photometric, 1);
  EXPECT_EQ(c8.sizez, D);
  for (const Checked* c : {&c8, &c64, &cd}) {
    EXPECT_EQ(c->pitch[0], double(0.3f));
    EXPECT_EQ(c->pitch[1], double(0.4f));
    EXPECT_EQ(c->pitch[2], 2.5);
  }
  ASSERT_EQ(c64.values.size(), size_t(3 * W * H * D));
  ASSERT_EQ(cd.values.size(), size_t(W * H * D));
  for (int z = 0, i = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x, ++i) {
        EXPECT_EQ(c64.values[size_t(3 * i)], r.voxels[z][y][x]);
        EXPECT_EQ(c64.values[size_t(3 * i + 1)], g.voxels[z][y][x]);
        const double gv = g.voxels[z][y][x];
        EXPECT_EQ(c8.values[size_t(3 * i + 1)], gv > 255 ? 255.0 : double(int(gv)));
        EXPECT_EQ(cd.values[size_t(i)], r.voxels[z][y][x]);
      }
}

// A page of one row has a single strip, whose offset and byte count fit the entry itself: readers
// take them from there, not from the tables.
TEST(TiffWrite, SingleRowPagesReadBack) {
  TempDir t;
  const int W = 5, H = 1, D = 3;
  Image3D r(W, H, D), g(W, H, D), b(W, H, D);
  fill(r, 0);
  fill(g, 1);
  fill(b, 2);
  TTiffIO t8(t / "row8.tif"), td(t / "rowd.tif");
  ASSERT_TRUE(t_writeTiff(t8, r, g, b, 255, 0, 8));
  ASSERT_TRUE(t_writeTiffDouble(td, r));
  EXPECT_EQ(readFile(t / "row8.tif").size(), t_tiffFileSize(W, H, D, 1));
  EXPECT_EQ(readFile(t / "rowd.tif").size(), t_tiffDoubleFileSize(W, H, D));

  TTiffIO in8(t / "row8.tif"), ind(t / "rowd.tif");
  Image3D rr, gg, bb, back;
  ASSERT_TRUE(in8.readColor(&rr, &gg, &bb)) << in8.lastError();
  ASSERT_TRUE(ind.readGray(&back)) << ind.lastError();
  for (int z = 0; z < D; ++z)
    for (int x = 0; x < W; ++x) {
      EXPECT_EQ(rr.voxels[z][0][x], r.voxels[z][0][x]);
      EXPECT_EQ(bb.voxels[z][0][x], b.voxels[z][0][x]);
      EXPECT_EQ(back.voxels[z][0][x], r.voxels[z][0][x]);
    }

  if (!havePython("tifffile, numpy")) GTEST_SKIP() << "/usr/bin/python3 with tifffile is not available";
  Checked c8, cd;
  ASSERT_TRUE(checkWithTifffile(t / "row8.tif", &c8));
  ASSERT_TRUE(checkWithTifffile(t / "rowd.tif", &cd));
  ASSERT_EQ(c8.values.size(), size_t(3 * W * D));
  ASSERT_EQ(cd.values.size(), size_t(W * D));
  for (int z = 0, i = 0; z < D; ++z)
    for (int x = 0; x < W; ++x, ++i) {
      EXPECT_EQ(c8.values[size_t(3 * i + 1)], g.voxels[z][0][x]);
      EXPECT_EQ(cd.values[size_t(i)], r.voxels[z][0][x]);
    }
}

TEST(TiffWrite, EmptyVolumeGivesTheHeaderOnly) {
  TempDir t;
  Image3D e;
  TTiffIO target(t / "e.tif");
  ASSERT_TRUE(t_writeTiff(target, e, e, e, 255, 0, 8));
  EXPECT_EQ(readFile(t / "e.tif").size(), 8u);
  EXPECT_EQ(target.countPages(), 0);
}

TEST(TiffWrite, FailuresAreReportedAndLeaveNoTruncatedFile) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TempDir t;
  Image3D small(4, 4, 2);
  fill(small, 0);

  TTiffIO noDir(t / "missing/dir/x.tif");
  EXPECT_FALSE(t_writeTiff(noDir, small, small, small, 255, 0, 8));
  EXPECT_TRUE(prompts.sawText("The file cannot be created: " + (t / "missing/dir/x.tif") +
                              " (No such file or directory)"));

  // Through a link the linked file is replaced and the link stays.
  writeFile(t / "real.tif", {'o', 'l', 'd'});
  ASSERT_EQ(symlink((t / "real.tif").c_str(), (t / "link.tif").c_str()), 0);
  TTiffIO viaLink(t / "link.tif");
  ASSERT_TRUE(t_writeTiff(viaLink, small, small, small, 255, 0, 8));
  struct stat st;
  ASSERT_EQ(lstat((t / "link.tif").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(t / "real.tif").size(), t_tiffFileSize(4, 4, 2, 1));
  std::remove((t / "link.tif").c_str());
  std::remove((t / "real.tif").c_str());
  // A file the user may not write is not replaced behind its back (root may write anything).
  if (geteuid() != 0) {
    writeFile(t / "ro.tif", {'o', 'l', 'd'});
    chmod((t / "ro.tif").c_str(), 0444);
    TTiffIO ro(t / "ro.tif");
    EXPECT_FALSE(t_writeTiff(ro, small, small, small, 255, 0, 8));
    EXPECT_EQ(readFile(t / "ro.tif").size(), 3u);
    std::remove((t / "ro.tif").c_str());
  }

  TTiffIO bits(t / "b.tif");
  EXPECT_FALSE(t_writeTiff(bits, small, small, small, 255, 0, 16));
  EXPECT_FALSE(exists(t / "b.tif"));

  // Sizes the classic layout cannot hold are refused before anything is written.  The image
  // only pretends to be that large: the writer checks the sizes before it reads a voxel.
  {
    Image3D huge;
    double* row = nullptr;
    double** rows = &row;
    huge.W = 30000;  // 30000^2 doubles: 7.2 GB
    huge.H = 30000;
    huge.D = 1;
    huge.voxels = &rows;
    TTiffIO big(t / "big.tif");
    EXPECT_FALSE(t_writeTiffDouble(big, huge));
    EXPECT_FALSE(t_writeTiff(big, huge, huge, huge, DBL_MAX, -DBL_MAX, 64));
    huge.voxels = nullptr;
    huge.W = huge.H = huge.D = 0;
    EXPECT_FALSE(exists(t / "big.tif"));
    EXPECT_NE(prompts.texts().back().find("cannot exceed 4 GiB"), std::string::npos) << prompts.texts().back();
  }

  // A write that fails part way (file size limit) keeps the earlier file and leaves no
  // temporary file behind.
  const std::string keep = t / "keep.tif";
  writeFile(keep, {'o', 'l', 'd'});
  Image3D large(256, 256, 8);
  fill(large, 0);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit lim = old;
  lim.rlim_cur = 100000;
  void (*prev)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
  TTiffIO target(keep);
  const bool written = t_writeTiff(target, large, large, large, DBL_MAX, -DBL_MAX, 64);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, prev);
  EXPECT_FALSE(written);
  EXPECT_EQ(readFile(keep), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_NE(prompts.texts().back().find("Writing the file failed"), std::string::npos) << prompts.texts().back();
  std::vector<std::string> left = dirEntries(t.path());
  EXPECT_EQ(left, std::vector<std::string>{"keep.tif"});

  // And the same export without the limit replaces the file.
  ASSERT_TRUE(t_writeTiff(target, large, large, large, DBL_MAX, -DBL_MAX, 64));
  EXPECT_EQ(readFile(keep).size(), t_tiffFileSize(256, 256, 8, 8));
}
