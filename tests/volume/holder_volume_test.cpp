// The volume holder: gradient against a direct evaluation of the kernels, histograms, window
// level, z flip, the default volume, constant volumes, construction and hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "holder_test_util.h"
#include "platform/Progress.h"
#include "volume/TextureManager.h"

namespace {

// Gradient written straight from the kernel tables: 27 explicit weights per component, only
// neighbours inside the volume, border axes zeroed and scaled.
std::vector<double> referenceGradient(int W, int H, int D, const std::vector<double>& s) {
  // [dz+1][dy+1][dx+1]
  const int kx[3][3][3] = {{{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}},
                           {{-2, 0, 2}, {-4, 0, 4}, {-2, 0, 2}},
                           {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}}};
  const int ky[3][3][3] = {{{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}},
                           {{-2, -4, -2}, {0, 0, 0}, {2, 4, 2}},
                           {{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}}};
  const int kz[3][3][3] = {{{-1, -2, -1}, {-2, -4, -2}, {-1, -2, -1}},
                           {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
                           {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}};
  std::vector<double> g(s.size());
  double mx = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double gx = 0, gy = 0, gz = 0;
        for (int c = -1; c <= 1; ++c)
          for (int b = -1; b <= 1; ++b)
            for (int a = -1; a <= 1; ++a) {
              const int xx = x + a, yy = y + b, zz = z + c;
              if (xx < 0 || yy < 0 || zz < 0 || xx >= W || yy >= H || zz >= D) continue;
              const double v = s[(size_t(zz) * H + yy) * W + xx];
              gx += v * kx[c + 1][b + 1][a + 1];
              gy += v * ky[c + 1][b + 1][a + 1];
              gz += v * kz[c + 1][b + 1][a + 1];
            }
        double f = 1;
        if (x == 0 || x == W - 1) gx = 0, f *= 0.66666;
        if (y == 0 || y == H - 1) gy = 0, f *= 0.66666;
        if (z == 0 || z == D - 1) gz = 0, f *= 0.66666;
        const double m = std::sqrt(gx * gx + gy * gy + gz * gz) * f;
        g[(size_t(z) * H + y) * W + x] = m;
        mx = std::max(mx, m);
      }
  for (double& v : g) v /= mx;
  return g;
}

std::vector<float> randomVolume(size_t n, unsigned seed, float lo, float hi) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  std::vector<float> v(n);
  for (float& x : v) x = d(rng);
  return v;
}

struct RecordingSink : TProgressSink {
  std::vector<int> events;  // start: 1000 + caption, step: percent, end: -1
  void progressStart(int c, int) override { events.push_back(1000 + c); }
  void progressStep(int p) override { events.push_back(p); }
  void progressEnd() override { events.push_back(-1); }
};

}  // namespace

TEST(HolderGradient, MatchesDirectKernelEvaluation) {
  const int W = 7, H = 6, D = 5;
  const size_t n = size_t(W) * H * D;
  for (int channels = 1; channels <= 3; ++channels) {
    std::vector<std::vector<float>> ch;
    for (int c = 0; c < channels; ++c) ch.push_back(randomVolume(n, 11 + c, -100, 300));
    TextureManager tm;
    installVolume(tm, W, H, D, ch);
    std::vector<double> s(n);
    for (size_t i = 0; i < n; ++i) {
      if (channels == 1) s[i] = ch[0][i];
      if (channels == 2) s[i] = (double(ch[0][i]) + ch[1][i]) * 0.5;
      if (channels == 3) s[i] = (double(ch[0][i]) + ch[1][i] + ch[2][i]) * 0.3333333333;
    }
    const std::vector<double> ref = referenceGradient(W, H, D, s);
    ASSERT_NE(tm.valGrad, nullptr);
    ASSERT_EQ(tm.volGrad.W * tm.volGrad.H * tm.volGrad.D, int(n));
    float mx = 0;
    for (size_t i = 0; i < n; ++i) {
      ASSERT_NEAR(tm.valGrad[i], ref[i], 2e-6) << "channels " << channels << " voxel " << i;
      mx = std::max(mx, tm.valGrad[i]);
      const double t = std::min(double(tm.valGrad[i]) * 600, 255.0);
      // Bytes saturate at 255/600 of the maximum; allow one step where float rounding sits on an
      // integer boundary.
      ASSERT_NEAR(tm.volGrad.data[i], int(t), 1) << i;
    }
    EXPECT_FLOAT_EQ(mx, 1.0f);
  }
}

TEST(HolderGradient, EdgeVoxelOfARampAndSaturation) {
  // s = z: interior |g| = gz = 16 * 2 = 32; on the x = 0, y = 0 edge only the 2 x 2 in-volume
  // columns count: gz = 9 * 2 = 18, times 0.66666^2.
  const int W = 4, H = 4, D = 5;
  std::vector<float> v(size_t(W) * H * D);
  for (int z = 0; z < D; ++z)
    for (int i = 0; i < W * H; ++i) v[size_t(z) * W * H + i] = float(z);
  TextureManager tm;
  installVolume(tm, W, H, D, {v});
  const auto at = [&](int x, int y, int z) { return size_t(z) * W * H + size_t(y) * W + x; };
  EXPECT_NEAR(tm.valGrad[at(1, 2, 2)], 1.0, 1e-6);
  EXPECT_NEAR(tm.valGrad[at(0, 0, 2)], 18 * 0.66666 * 0.66666 / 32, 1e-6);
  EXPECT_NEAR(tm.valGrad[at(0, 2, 2)], 24 * 0.66666 / 32, 1e-6);
  EXPECT_EQ(tm.valGrad[at(1, 1, 0)], 0.0f);  // z border: gz dropped, nothing else
  EXPECT_EQ(tm.volGrad.data[at(1, 2, 2)], 255);
  EXPECT_EQ(tm.volGrad.data[at(0, 0, 2)], 149);  // 0.249995 * 600, truncated
}

TEST(HolderGradient, ConstantVolumeStaysZeroAndFinite) {
  const int W = 5, H = 4, D = 3;
  TextureManager tm;
  installVolume(tm, W, H, D, {std::vector<float>(W * H * D, 42.0f)});
  for (int i = 0; i < W * H * D; ++i) {
    ASSERT_TRUE(std::isfinite(tm.valGrad[i]));
    ASSERT_EQ(tm.valGrad[i], 0.0f);
    ASSERT_EQ(tm.volGrad.data[i], 0);
    ASSERT_EQ(tm.vol1.data[i], 0);  // window of no width
  }
  const double mn[3] = {42, 0, 0}, mx[3] = {42, 0, 0};
  tm.applyWindowLevel(mn, mx);
  for (int i = 0; i < W * H * D; ++i) ASSERT_EQ(tm.vol1.data[i], 0);
  for (int k = 0; k < 5; ++k)
    for (int b = 0; b < 256; ++b) ASSERT_TRUE(std::isfinite(tm.hist[k][b]));
  EXPECT_DOUBLE_EQ(tm.hist[TextureManager::HIST_CH1][0], 1.0);
}

TEST(HolderHistogram, BinsLogAndNormalisation) {
  TextureManager tm;
  const int W = 4, H = 3, D = 2;  // 24 voxels
  tm.channelCount = 1;
  tm.vol1.allocate(W, H, D);
  tm.volGrad.allocate(W, H, D);
  // 12 x 10, 8 x 20, 3 x 30, 1 x 40
  for (int i = 0; i < 24; ++i) tm.vol1.data[i] = i < 12 ? 10 : i < 20 ? 20 : i < 23 ? 30 : 40;
  for (int i = 0; i < 24; ++i) tm.volGrad.data[i] = i < 20 ? 0 : 9;
  tm.updateHistogram();
  const double l12 = std::log(12.0);
  EXPECT_DOUBLE_EQ(tm.hist[0][10], 1.0);
  EXPECT_NEAR(tm.hist[0][20], std::log(8.0) / l12, 1e-12);
  EXPECT_NEAR(tm.hist[0][30], std::log(3.0) / l12, 1e-12);
  EXPECT_EQ(tm.hist[0][40], 0.0);  // a single count is log 1 = 0
  EXPECT_EQ(tm.hist[0][0], 0.0);
  // One channel: channels 2 and 3 count 0 for every voxel.
  EXPECT_DOUBLE_EQ(tm.hist[1][0], 1.0);
  EXPECT_DOUBLE_EQ(tm.hist[2][0], 1.0);
  for (int b = 1; b < 256; ++b) ASSERT_EQ(tm.hist[1][b] + tm.hist[2][b], 0.0);
  for (int b = 0; b < 256; ++b) EXPECT_DOUBLE_EQ(tm.hist[3][b], tm.hist[0][b]);
  EXPECT_DOUBLE_EQ(tm.hist[4][0], 1.0);
  EXPECT_NEAR(tm.hist[4][9], std::log(4.0) / std::log(20.0), 1e-12);
  // Joint: (10, 0) x 12, (20, 0) x 8, (30, 9) x 3, (40, 9) x 1.
  EXPECT_DOUBLE_EQ(tm.histJoint[10 * 256 + 0], 1.0);
  EXPECT_NEAR(tm.histJoint[20 * 256 + 0], std::log(8.0) / l12, 1e-12);
  EXPECT_NEAR(tm.histJoint[30 * 256 + 9], std::log(3.0) / l12, 1e-12);
  EXPECT_EQ(tm.histJoint[40 * 256 + 9], 0.0);
  EXPECT_EQ(tm.histJoint[40 * 256 + 0], 0.0);

  // Two and three channels: truncated means.
  tm.vol2.allocate(W, H, D);
  tm.vol3.allocate(W, H, D);
  for (int i = 0; i < 24; ++i) {
    tm.vol1.data[i] = 10;
    tm.vol2.data[i] = 21;
    tm.vol3.data[i] = 31;
  }
  tm.channelCount = 2;
  tm.updateHistogram();
  EXPECT_DOUBLE_EQ(tm.hist[3][15], 1.0);   // (10 + 21) * 0.5 = 15.5
  EXPECT_DOUBLE_EQ(tm.hist[2][0], 1.0);    // channel 3 counts 0
  tm.channelCount = 3;
  tm.updateHistogram();
  EXPECT_DOUBLE_EQ(tm.hist[3][20], 1.0);   // 62 / 3 = 20.67
  EXPECT_DOUBLE_EQ(tm.hist[2][31], 1.0);
  EXPECT_DOUBLE_EQ(tm.histJoint[20 * 256 + 0], 1.0);  // 20 voxels of gradient 0
  EXPECT_NEAR(tm.histJoint[20 * 256 + 9], std::log(4.0) / std::log(20.0), 1e-12);

  // Empty histograms stay 0 (no division by a zero maximum).
  tm.vol1.clear();
  tm.updateHistogram();
  for (int k = 0; k < 5; ++k)
    for (int b = 0; b < 256; ++b) ASSERT_EQ(tm.hist[k][b], 0.0);
}

TEST(HolderWindowLevel, BytesClampProgressAndListener) {
  TextureManager tm;
  const std::vector<float> a = {0, 50, 100, 150, 200, 250, -10, 1e9f};
  const std::vector<float> b = {0, 1, 2, 3, 4, 5, 6, 7};
  installVolume(tm, 2, 2, 2, {a, b});
  DeleteLog::install();
  tm.vol1.texName = 1;
  tm.vol2.texName = 2;
  tm.volGrad.texName = 3;
  tm.volMask.texName = 4;
  int heard = 0;
  tm.setHistogramListener([&] { ++heard; });
  RecordingSink sink;
  t_setProgressSink(&sink);
  const double mn[3] = {50, 2, 0}, mx[3] = {250, 6, 1};
  tm.applyWindowLevel(mn, mx);
  t_setProgressSink(nullptr);
  const uint8_t e1[8] = {0, 0, 63, 127, 191, 255, 0, 255};
  const uint8_t e2[8] = {0, 0, 0, 63, 127, 191, 255, 255};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(tm.vol1.data[i], e1[i]) << i;
    EXPECT_EQ(tm.vol2.data[i], e2[i]) << i;
  }
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(sink.events, (std::vector<int>{1004, 50, -1}));
  // Channel and gradient textures dropped, the mask left alone.
  EXPECT_EQ(DeleteLog::names(), (std::vector<unsigned int>{1, 2, 3}));
  EXPECT_EQ(tm.volMask.texName, 4u);
  tm.volMask.texName = TOGL3DImage::kNoTexture;
  // Histograms follow the new bytes: channel 1 bin 0 holds 3 voxels, bin 255 two.
  EXPECT_DOUBLE_EQ(tm.hist[0][0], 1.0);
  EXPECT_NEAR(tm.hist[0][255], std::log(2.0) / std::log(3.0), 1e-12);
}

TEST(HolderFlipZ, OddAndEvenDepthTwiceIsIdentity) {
  for (int D : {5, 4}) {
    const int W = 3, H = 2;
    const size_t n = size_t(W) * H * D, slice = size_t(W) * H;
    TextureManager tm;
    installVolume(tm, W, H, D, {randomVolume(n, 3, 0, 1), randomVolume(n, 4, 0, 1)});
    for (size_t i = 0; i < n; ++i) {
      tm.volFlag.data[i] = uint8_t(i);
      tm.volMask.data[i] = uint8_t(3 * i);
    }
    const std::vector<float> v1(tm.val1, tm.val1 + n), v2(tm.val2, tm.val2 + n), g(tm.valGrad, tm.valGrad + n);
    const std::vector<uint8_t> t1(tm.vol1.data, tm.vol1.data + n), t2(tm.vol2.data, tm.vol2.data + n),
        tg(tm.volGrad.data, tm.volGrad.data + n), fl(tm.volFlag.data, tm.volFlag.data + n),
        mk(tm.volMask.data, tm.volMask.data + n);
    DeleteLog::install();
    TOGL3DImage* six[6] = {&tm.vol1, &tm.vol2, &tm.vol3, &tm.volFlag, &tm.volGrad, &tm.volMask};
    for (int k = 0; k < 6; ++k) six[k]->texName = 100 + k;
    tm.flipZ();
    EXPECT_EQ(DeleteLog::names().size(), 6u);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(six[k]->texName, TOGL3DImage::kNoTexture);
    for (int z = 0; z < D; ++z)
      for (size_t i = 0; i < slice; ++i) {
        const size_t now = z * slice + i, was = (D - 1 - z) * slice + i;
        ASSERT_EQ(tm.val1[now], v1[was]);
        ASSERT_EQ(tm.val2[now], v2[was]);
        ASSERT_EQ(tm.valGrad[now], g[was]);
        ASSERT_EQ(tm.vol1.data[now], t1[was]);
        ASSERT_EQ(tm.vol2.data[now], t2[was]);
        ASSERT_EQ(tm.volGrad.data[now], tg[was]);
        ASSERT_EQ(tm.volFlag.data[now], fl[was]);
        ASSERT_EQ(tm.volMask.data[now], mk[was]);
      }
    tm.flipZ();
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(tm.val1[i], v1[i]);
      ASSERT_EQ(tm.val2[i], v2[i]);
      ASSERT_EQ(tm.valGrad[i], g[i]);
      ASSERT_EQ(tm.vol1.data[i], t1[i]);
      ASSERT_EQ(tm.volFlag.data[i], fl[i]);
      ASSERT_EQ(tm.volMask.data[i], mk[i]);
    }
  }
}

TEST(HolderValues, FlipYMinMaxAndDefaultVolume) {
  const int W = 2, H = 3, D = 2;
  std::vector<float> v(W * H * D);
  for (size_t i = 0; i < v.size(); ++i) v[i] = float(i);
  t_flipVolumeY32(W, H, D, v.data());
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(v[(z * H + y) * W + x], float((z * H + (H - 1 - y)) * W + x));
  v[5] = -7.5f;
  double mn, mx;
  t_getMinMax(W, H, D, v.data(), &mn, &mx);
  EXPECT_EQ(mn, -7.5);
  EXPECT_EQ(mx, 11.0);

  int dw = 0, dh = 0, dd = 0;
  float* d = nullptr;
  ASSERT_TRUE(t_makeDefaultVolume(&dw, &dh, &dd, &d));
  ASSERT_EQ(dw, 64);
  ASSERT_EQ(dh, 64);
  ASSERT_EQ(dd, 64);
  const auto at = [&](int x, int y, int z) { return d[(64 * z + y) * 64 + x]; };
  EXPECT_EQ(at(32, 32, 32), 0.0f);  // centre of the box, far inside the shell
  EXPECT_EQ(at(0, 0, 0), 0.0f);     // corner, far outside
  EXPECT_GT(at(51, 32, 32), 799.0f);  // x = 7.97: distance 2.97 from the centre
  float peak = 0;
  for (int i = 0; i < 64 * 64 * 64; ++i) {
    ASSERT_GE(d[i], 0.0f);
    peak = std::max(peak, d[i]);
  }
  EXPECT_LE(peak, 800.0f);
  for (int k = 0; k < 32; ++k) {  // symmetric in the three axes
    ASSERT_EQ(at(32 + k, 32, 32), at(32, 32 + k, 32));
    ASSERT_EQ(at(32 + k, 32, 32), at(32, 32, 32 + k));
  }
  delete[] d;
}

TEST(HolderLifecycle, ConstructionTablesAndHooks) {
  g_appDir = std::string(KESTRIN_SOURCE_DIR) + "/";
  {
    TextureManager tm;
    EXPECT_EQ(tm.channelCount, 1);
    EXPECT_EQ(tm.getW(), 10);
    EXPECT_EQ(tm.vol1.W * tm.vol1.H * tm.vol1.D, 1000);
    EXPECT_EQ(tm.volGrad.W * tm.volGrad.H * tm.volGrad.D, 1000);
    EXPECT_NE(tm.volGrad.data, tm.vol1.data);
    EXPECT_DOUBLE_EQ(tm.hist[0][0], 1.0);
    ASSERT_EQ(tm.tfI.N, 256);
    ASSERT_EQ(tm.tfIG.N, 256);
    EXPECT_EQ(tm.tf2D.points.size(), 1u);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(tm.pseudoColor[i].N, 256) << i;
      EXPECT_EQ(tm.pseudoColor[i].data[3], 128);
    }
    // Rainbow: blue to red; hot metal: black to white.
    const uint8_t* r = tm.pseudoColor[0].data;
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[2], 255);
    EXPECT_EQ(r[4 * 255 + 0], 255);
    EXPECT_EQ(r[4 * 255 + 2], 0);
    const uint8_t* h = tm.pseudoColor[1].data;
    EXPECT_EQ(h[0] + h[1] + h[2], 0);
    EXPECT_EQ(h[4 * 255] + h[4 * 255 + 1] + h[4 * 255 + 2], 3 * 255);

    double p[3];
    tm.getPitch(p);
    EXPECT_EQ(p[0] + p[1] + p[2], 3.0);
    tm.setPitchSource([](double q[3]) { q[0] = 0.5, q[1] = 0.25, q[2] = 2; });
    tm.getPitch(p);
    EXPECT_EQ(p[0], 0.5);
    EXPECT_EQ(p[1], 0.25);
    EXPECT_EQ(p[2], 2.0);
  }
  g_appDir = "/nonexistent/";
  TextureManager missing;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(missing.pseudoColor[i].N, 0);
  g_appDir.clear();
  EXPECT_EQ(t_makeAppPath("shader/psued1.bmp"), "shader/psued1.bmp");
}
