// Volume and mask exports, read back by tifffile (Debian's python3-tifffile) and by a small BMP
// parser; the resampling kernel and its pitch question; the progress every export shows.
#include <csignal>
#include <cmath>
#include <sstream>
#include <sys/resource.h>

#include <mutex>

#include "platform/Progress.h"
#include "regions_test_util.h"
#include "volume/TTiffIO.h"
#include "volume/io/exports.h"
#include "volume/io/muxa_save.h"
#include "volume/volume_export.h"
#include "volume/volume_readers.h"

namespace {

using namespace regions_test;

const char* kPython = "/usr/bin/python3";

bool haveTifffile() {
  static const int rc =
      std::system((std::string(kPython) + " -c 'import tifffile' >/dev/null 2>&1").c_str());
  return rc == 0;
}

struct TiffData {
  std::string dtype;
  std::vector<int> shape;
  std::vector<double> v;
};

class Export : public RegionsFixture {
 protected:
  void TearDown() override {
    t_setExportWindowSource(nullptr);
    t_setResamplePitchAsker(nullptr);
    RegionsFixture::TearDown();
  }
  // tifffile's view of a file.
  TiffData readTiff(const std::string& file) {
    TiffData t;
    const std::string head = tmp_.path("head.txt"), data = tmp_.path("data.f64");
    const std::string cmd = std::string(kPython) + " '" KESTRIN_REGIONS_SCRIPTS "/tiff_dump.py' '" +
                            file + "' '" + head + "' '" + data + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream h(head);
    h >> t.dtype;
    int s;
    size_t n = 1;
    while (h >> s) {
      t.shape.push_back(s);
      n *= size_t(s);
    }
    std::ifstream d(data, std::ios::binary);
    t.v.resize(n);
    d.read(reinterpret_cast<char*>(t.v.data()), std::streamsize(n * 8));
    return t;
  }
  TempDir tmp_;
};

float ramp(int x, int y, int z) { return float(x + 10 * y + 100 * z) + 0.25f; }

std::vector<float> rampVolume(int W, int H, int D, float scale = 1.0f) {
  std::vector<float> v(size_t(W) * H * D);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) v[idx(W, H, x, y, z)] = ramp(x, y, z) * scale;
  return v;
}

TEST_F(Export, RawValuesAsDoubles) {
  if (!haveTifffile()) GTEST_SKIP() << "/usr/bin/python3 lacks tifffile";
  const int W = 5, H = 4, D = 3;
  installVolume(W, H, D, {rampVolume(W, H, D)});
  const std::string f1 = tmp_.path("one.tif");
  ASSERT_TRUE(t_exportVolumeTif(TextureManager::getInst(), f1));
  TiffData t = readTiff(f1);
  EXPECT_EQ(t.dtype, "float64");
  ASSERT_EQ(t.shape, (std::vector<int>{D, H, W, 3}));
  for (int z = 0; z < D; ++z)
    for (int r = 0; r < H; ++r)
      for (int x = 0; x < W; ++x)
        for (int s = 0; s < 3; ++s)  // three identical samples; the first row is the last one
          ASSERT_EQ(t.v[((size_t(z) * H + r) * W + x) * 3 + s], ramp(x, H - 1 - r, z));

  installVolume(W, H, D, {rampVolume(W, H, D), rampVolume(W, H, D, -2.0f)});
  const std::string f2 = tmp_.path("two.tif");
  ASSERT_TRUE(t_exportVolumeTif(TextureManager::getInst(), f2));
  t = readTiff(f2);
  ASSERT_EQ(t.shape, (std::vector<int>{D, H, W, 3}));
  const size_t p = ((size_t(2) * H + 0) * W + 4) * 3;
  EXPECT_EQ(t.v[p], ramp(4, 3, 2));
  EXPECT_EQ(t.v[p + 1], -2.0 * ramp(4, 3, 2));
  EXPECT_EQ(t.v[p + 2], 0.0);
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(Export, WindowLevelledTiffAndMask) {
  if (!haveTifffile()) GTEST_SKIP() << "/usr/bin/python3 lacks tifffile";
  const int W = 4, H = 3, D = 2;
  std::vector<float> v(W * H * D, 150.0f);
  v[idx(W, H, 0, 0, 0)] = 99;
  v[idx(W, H, 1, 0, 0)] = 250;
  v[idx(W, H, 2, 0, 0)] = 175;
  installVolume(W, H, D, {v});
  t_setExportWindowSource([](double lo[3], double hi[3]) {
    for (int c = 0; c < 3; ++c) lo[c] = 100, hi[c] = 200;
  });
  const std::string f = tmp_.path("wl.tif");
  ASSERT_TRUE(t_exportVolumeTifChannels(TextureManager::getInst(), f));
  TiffData t = readTiff(f);
  EXPECT_EQ(t.dtype, "uint8");
  ASSERT_EQ(t.shape, (std::vector<int>{D, H, W, 3}));
  auto at = [&](int x, int row, int z) { return t.v[((size_t(z) * H + row) * W + x) * 3]; };
  EXPECT_EQ(at(0, 2, 0), 0);     // below the window
  EXPECT_EQ(at(1, 2, 0), 255);   // above it
  EXPECT_EQ(at(2, 2, 0), 191);   // 191.25
  EXPECT_EQ(at(3, 2, 0), 127);   // 150 maps to 127.5
  EXPECT_EQ(at(3, 0, 1), 127);

  uint8_t* m = TextureManager::getInst().volMask.data;
  for (int i = 0; i < W * H * D; ++i) m[i] = uint8_t(i * 11);
  const std::string fm = tmp_.path("mask.tif");
  ASSERT_TRUE(t_exportMaskTif(TextureManager::getInst(), fm));
  t = readTiff(fm);
  EXPECT_EQ(t.dtype, "uint8");
  ASSERT_EQ(t.shape, (std::vector<int>{D, H, W, 3}));
  for (int z = 0; z < D; ++z)
    for (int r = 0; r < H; ++r)
      for (int x = 0; x < W; ++x)
        for (int s = 0; s < 3; ++s)
          ASSERT_EQ(t.v[((size_t(z) * H + r) * W + x) * 3 + s], m[idx(W, H, x, H - 1 - r, z)]);

  EXPECT_FALSE(t_exportMaskTif(TextureManager::getInst(), "/nonexistent-folder/m.tif"));
  EXPECT_EQ(prompts_.shown.size(), 1u);  // the writer says why
}

// A 24-bit BMP: (width, height, pixel (x, y) with y from the top as R, G, B).
struct Bmp {
  int W = 0, H = 0;
  std::vector<uint8_t> b;
  uint32_t offset = 0;
  bool load(const std::string& path) {
    b = readFile(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    auto u32 = [&](size_t p) { return uint32_t(b[p]) | b[p + 1] << 8 | b[p + 2] << 16 | uint32_t(b[p + 3]) << 24; };
    offset = u32(10);
    W = int(u32(18));
    H = int(u32(22));
    return (b[28] | b[29] << 8) == 24;
  }
  const uint8_t* bgr(int x, int yTop) const {
    const size_t stride = (size_t(W) * 3 + 3) & ~size_t(3);
    const int row = H > 0 ? H - 1 - yTop : yTop;  // positive height: stored bottom row first
    return b.data() + offset + row * stride + 3 * size_t(x);
  }
};

TEST_F(Export, BmpSlices) {
  const int W = 5, H = 3, D = 4;
  std::vector<float> a(W * H * D, 150.0f), b(W * H * D, 200.0f);
  a[idx(W, H, 1, 0, 2)] = 175;
  installVolume(W, H, D, {a, b});
  t_setExportWindowSource([](double lo[3], double hi[3]) {
    for (int c = 0; c < 3; ++c) lo[c] = 100, hi[c] = 200;
  });
  const std::string prefix = tmp_.path("P");
  ASSERT_TRUE(t_exportSlicesBmp(TextureManager::getInst(), prefix));
  for (int z = 0; z < D; ++z) {
    Bmp bmp;
    ASSERT_TRUE(bmp.load(prefix + std::to_string(z) + ".bmp")) << z;
    EXPECT_EQ(bmp.W, W);
    EXPECT_EQ(std::abs(bmp.H), H);
    const uint8_t* p = bmp.bgr(0, 0);
    EXPECT_EQ(p[2], 127);  // 150 -> 127.5, truncated
    EXPECT_EQ(p[1], 255);
    EXPECT_EQ(p[0], 0);    // two channels: blue 0
  }
  EXPECT_FALSE(fileExists(prefix + std::to_string(D) + ".bmp"));
  Bmp s2;
  ASSERT_TRUE(s2.load(prefix + "2.bmp"));
  EXPECT_EQ(s2.bgr(1, H - 1)[2], 191);  // volume row 0 is the picture's bottom row

  EXPECT_FALSE(t_exportSlicesBmp(TextureManager::getInst(), "/nonexistent-folder/P"));
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].text.rfind("4 of 4 slice files could not be written", 0), 0u);

  // A write that fails part way (the file-size limit stands in for a full disk) keeps the
  // earlier slice files whole and leaves nothing beside them.
  std::vector<std::vector<uint8_t>> good;
  for (int z = 0; z < D; ++z) good.push_back(readFile(prefix + std::to_string(z) + ".bmp"));
  installVolume(W, H, D, {b, a});
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 80;  // a slice file is 54 + 16 * 3 bytes
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const bool saved = t_exportSlicesBmp(TextureManager::getInst(), prefix);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(saved);
  ASSERT_EQ(prompts_.shown.size(), 2u);
  EXPECT_EQ(prompts_.shown[1].text.rfind("4 of 4 slice files could not be written", 0), 0u);
  for (int z = 0; z < D; ++z) EXPECT_EQ(readFile(prefix + std::to_string(z) + ".bmp"), good[z]) << z;
  const std::string ls = "ls -A '" + tmp_.dir() + "' | wc -l";
  FILE* p = popen(ls.c_str(), "r");
  int entries = -1;
  ASSERT_EQ(fscanf(p, "%d", &entries), 1);
  pclose(p);
  EXPECT_EQ(entries, D);
}

TEST_F(Export, ResampledSizes) {
  EXPECT_EQ(t_resampledSize(64, 1, 2), 32);
  EXPECT_EQ(t_resampledSize(32, 2, 2), 32);
  EXPECT_EQ(t_resampledSize(64, 1, 0.5), 128);
  EXPECT_EQ(t_resampledSize(32, 2, 0.5), 128);
  EXPECT_EQ(t_resampledSize(10, 1, 3), 3);
}

TEST_F(Export, ResamplingWritesTheTrilinearVolume) {
  if (!haveTifffile()) GTEST_SKIP() << "/usr/bin/python3 lacks tifffile";
  const int W = 16, H = 12, D = 8;
  std::vector<float> v(W * H * D);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) v[idx(W, H, x, y, z)] = float(x + 2 * y + 3 * z);
  installVolume(W, H, D, {v});
  const double oldPitch[3] = {1, 1, 2}, newPitch[3] = {2, 2, 2};
  const std::string f = tmp_.path("res.tif");
  ASSERT_TRUE(t_resampleAndExport(TextureManager::getInst(), f, oldPitch, newPitch));
  EXPECT_EQ(prompts_.texts(), std::vector<std::string>{"export new volume 8 6 8"});
  TiffData t = readTiff(f);
  EXPECT_EQ(t.dtype, "float64");
  ASSERT_EQ(t.shape, (std::vector<int>{8, 6, 8}));
  // A linear field is reproduced exactly between the voxel centres and clamped outside them.
  auto clampTo = [](double f, int n) { return std::min(std::max(f, 0.0), double(n - 1)); };
  for (int k = 0; k < 8; ++k)
    for (int j = 0; j < 6; ++j)
      for (int i = 0; i < 8; ++i) {
        const double fx = clampTo((i + 0.5) * 2 - 0.5, W), fy = clampTo((j + 0.5) * 2 - 0.5, H),
                     fz = clampTo((k + 0.5) * 2 / 2 - 0.5, D);
        ASSERT_NEAR(t.v[(size_t(k) * 6 + (5 - j)) * 8 + i], fx + 2 * fy + 3 * fz, 1e-12)
            << i << " " << j << " " << k;
      }

  // Three channels: RGB doubles.
  installVolume(W, H, D, {v, v, v});
  ASSERT_TRUE(t_resampleAndExport(TextureManager::getInst(), f, oldPitch, newPitch));
  EXPECT_EQ(readTiff(f).shape, (std::vector<int>{8, 6, 8, 3}));
}

TEST_F(Export, ResamplingOneSliceAndFailures) {
  // One slice: every sample comes from that slice (nothing is read beyond it).
  const int W = 6, H = 4, D = 1;
  installVolume(W, H, D, {rampVolume(W, H, D)});
  const double oldPitch[3] = {1, 1, 1}, newPitch[3] = {0.5, 0.5, 0.5};
  const std::string f = tmp_.path("slice.tif");
  ASSERT_TRUE(t_resampleAndExport(TextureManager::getInst(), f, oldPitch, newPitch));
  EXPECT_EQ(prompts_.texts(), std::vector<std::string>{"export new volume 12 8 2"});

  // The writer fails: no success message, false.
  prompts_.shown.clear();
  EXPECT_FALSE(t_resampleAndExport(TextureManager::getInst(), "/nonexistent-folder/r.tif", oldPitch,
                                   newPitch));
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_NE(prompts_.shown[0].text, "export new volume 12 8 2");

  // A pitch so coarse that no voxel is left, or not positive: refused with a message.
  prompts_.shown.clear();
  const double coarse[3] = {100, 1, 1}, zero[3] = {1, 0, 1};
  EXPECT_FALSE(t_resampleAndExport(TextureManager::getInst(), f, oldPitch, coarse));
  EXPECT_FALSE(t_resampleAndExport(TextureManager::getInst(), f, oldPitch, zero));
  EXPECT_EQ(prompts_.shown.size(), 2u);
}

// The pitch tags of every page of a file, as our reader and as tifffile read them.
struct FilePitch {
  bool ours = false;
  int pages = 0;
  double pitch[3] = {0, 0, 0};
  std::vector<double> tifffile;  // x, y, z of each page in turn (empty without tifffile)
};

FilePitch readPitch(const std::string& file) {
  FilePitch r;
  TTiffIO io(file);
  TTiffVolumeInfo info;
  if (io.countPages() > 0 && io.inspect(&info) && info.hasPitch) {
    r.ours = true;
    r.pages = info.D;
    for (int a = 0; a < 3; ++a) r.pitch[a] = info.pitch[a];
  }
  if (!haveTifffile()) return r;
  std::ostringstream cmd;
  cmd << kPython << " -c 'import sys, tifffile\n"
      << "for p in tifffile.TiffFile(sys.argv[1]).pages:\n"
      << " print(*[p.tags[t].value for t in (" << TTiffIO::tagIdByName("B_PITCHX") << ", "
      << TTiffIO::tagIdByName("B_PITCHY") << ", " << TTiffIO::tagIdByName("B_PITCHZ")
      << ")])' '" << file << "'";
  FILE* p = popen(cmd.str().c_str(), "r");
  double v;
  while (p && fscanf(p, "%lf", &v) == 1) r.tifffile.push_back(v);
  if (p) {
    EXPECT_EQ(pclose(p), 0) << cmd.str();
  }
  return r;
}

void expectPitch(const std::string& file, double x, double y, double z) {
  SCOPED_TRACE(file);
  const FilePitch r = readPitch(file);
  ASSERT_TRUE(r.ours) << "no pitch tags";
  // The tags are 32-bit floats.
  EXPECT_EQ(r.pitch[0], double(float(x)));
  EXPECT_EQ(r.pitch[1], double(float(y)));
  EXPECT_EQ(r.pitch[2], double(float(z)));
  if (!haveTifffile()) return;
  ASSERT_EQ(r.tifffile.size(), size_t(3 * r.pages));
  for (int k = 0; k < r.pages; ++k) {
    EXPECT_FLOAT_EQ(r.tifffile[3 * k], x) << "page " << k;
    EXPECT_FLOAT_EQ(r.tifffile[3 * k + 1], y) << "page " << k;
    EXPECT_FLOAT_EQ(r.tifffile[3 * k + 2], z) << "page " << k;
  }
}

TEST_F(Export, EveryTiffExportCarriesThePitch) {
  const int W = 6, H = 4, D = 3;
  const TextureManager& tm = TextureManager::getInst();
  setPitch(0.3, 0.45, 2.5);  // as the rendering panel holds it
  installVolume(W, H, D, {rampVolume(W, H, D)});
  tm.volMask.data[5] = 7;
  const std::string raw = tmp_.path("raw.tif"), wl = tmp_.path("wl.tif"), mask = tmp_.path("m.tif");
  ASSERT_TRUE(t_exportVolumeTif(tm, raw));
  ASSERT_TRUE(t_exportVolumeTifChannels(tm, wl));
  ASSERT_TRUE(t_exportMaskTif(tm, mask));  // also the plug-in result
  for (const std::string& f : {raw, wl, mask}) expectPitch(f, 0.3, 0.45, 2.5);

  // Two and three channels take the other branches of the writers.
  setPitch(1.25, 0.7, 0.1);
  installVolume(W, H, D, {rampVolume(W, H, D), rampVolume(W, H, D, 2.0f)});
  ASSERT_TRUE(t_exportVolumeTif(tm, raw));
  ASSERT_TRUE(t_exportVolumeTifChannels(tm, wl));
  expectPitch(raw, 1.25, 0.7, 0.1);
  expectPitch(wl, 1.25, 0.7, 0.1);

  // A file read back comes in at the exported pitch: the loader hands it on.
  float* v = nullptr;
  int w = 0, h = 0, d = 0;
  double back[3] = {1, 1, 1};
  ASSERT_TRUE(t_loadVolTIFgry(mask, &w, &h, &d, &v, back));
  delete[] v;
  EXPECT_EQ(back[0], double(0.3f));
  EXPECT_EQ(back[2], double(2.5f));

  // The resampled file carries its new pitch, one channel and three.
  const double oldPitch[3] = {1.25, 0.7, 0.1}, newPitch[3] = {2.5, 0.35, 0.15};
  const std::string res = tmp_.path("res.tif");
  ASSERT_TRUE(t_resampleAndExport(TextureManager::getInst(), res, oldPitch, newPitch));
  expectPitch(res, 2.5, 0.35, 0.15);
  installVolume(W, H, D, {rampVolume(W, H, D), rampVolume(W, H, D), rampVolume(W, H, D)});
  ASSERT_TRUE(t_resampleAndExport(TextureManager::getInst(), res, oldPitch, newPitch));
  expectPitch(res, 2.5, 0.35, 0.15);
}

TEST_F(Export, ResamplingAsksThePitch) {
  const int W = 8, H = 6, D = 4;
  installVolume(W, H, D, {rampVolume(W, H, D)});
  setPitch(1, 1, 2);
  const std::string f = tmp_.path("asked.tif");
  double offered[3] = {0, 0, 0};
  t_setResamplePitchAsker([&](const double oldPitch[3], double newPitch[3]) {
    for (int a = 0; a < 3; ++a) offered[a] = newPitch[a];
    EXPECT_EQ(oldPitch[2], 2.0);
    return false;  // cancelled
  });
  EXPECT_FALSE(t_resampleAndExportAsking(TextureManager::getInst(), f));
  EXPECT_FALSE(fileExists(f));
  EXPECT_EQ(offered[2], 2.0);  // the dialog starts from the current pitch
  t_setResamplePitchAsker([](const double*, double newPitch[3]) {
    newPitch[0] = newPitch[1] = newPitch[2] = 2.0;
    return true;
  });
  EXPECT_TRUE(t_resampleAndExportAsking(TextureManager::getInst(), f));
  EXPECT_TRUE(prompts_.sawText("export new volume 4 3 4"));
}

}  // namespace

TEST_F(Export, EveryExportShowsItsProgressUntilItEnds) {
  struct Log : TProgressSink {
    std::mutex lock;
    std::vector<std::string> calls;
    std::vector<int> steps;
    void progressStart(int caption, int percent) override {
      std::lock_guard<std::mutex> g(lock);
      calls.push_back("start " + std::to_string(caption) + " " + std::to_string(percent));
    }
    void progressStep(int percent) override {
      std::lock_guard<std::mutex> g(lock);
      calls.push_back("step");
      steps.push_back(percent);
    }
    void progressEnd() override {
      std::lock_guard<std::mutex> g(lock);
      calls.push_back("end");
    }
  } log;
  const int W = 5, H = 4, D = 40;
  installVolume(W, H, D, {rampVolume(W, H, D), rampVolume(W, H, D, 2.0f)});
  const TextureManager& tm = TextureManager::getInst();
  const double pitch[3] = {1, 1, 1};
  const std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> exports = {
      {"raw.tif", [&](const std::string& f) { return t_exportVolumeTif(tm, f); }},
      {"wl.tif", [&](const std::string& f) { return t_exportVolumeTifChannels(tm, f); }},
      {"slice", [&](const std::string& f) { return t_exportSlicesBmp(tm, f); }},
      {"mask.tif", [&](const std::string& f) { return t_exportMaskTif(tm, f); }},
      {"res.tif",
       [&](const std::string& f) { return t_resampleAndExport(TextureManager::getInst(), f, pitch, pitch); }},
      {"both.muxa", [&](const std::string& f) { return t_saveMuxa(tm, f); }},
  };
  t_setProgressSink(&log);
  for (const auto& e : exports) {
    SCOPED_TRACE(e.first);
    for (const bool writable : {true, false}) {
      log.calls.clear();
      log.steps.clear();
      const std::string f = writable ? tmp_.path(e.first) : tmp_.path("missing/" + e.first);
      EXPECT_EQ(e.second(f), writable);
      ASSERT_FALSE(log.calls.empty());
      EXPECT_EQ(log.calls.front(), "start 19 0");
      EXPECT_EQ(log.calls.back(), "end");  // also when nothing could be written
      EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "end"), 1);
      if (!writable) continue;
      // The bar moves with the slices, forward only, and is full before it ends.
      EXPECT_GE(log.steps.size(), 10u);
      EXPECT_TRUE(std::is_sorted(log.steps.begin(), log.steps.end()));
      ASSERT_FALSE(log.steps.empty());
      EXPECT_EQ(log.steps.back(), 100);
    }
  }
  t_setProgressSink(nullptr);
}
