#include "volume/TextureManager.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <vector>

#include "platform/Progress.h"

namespace {
const char* const kPseudoColorFiles[3] = {"shader/psued1.bmp", "shader/psued2.bmp", "shader/psued3.bmp"};

// Reverses the slice order of a volume of D slices of sliceBytes bytes each.
void flipSlices(uint8_t* v, int64_t sliceBytes, int D) {
  if (!v || sliceBytes <= 0 || D <= 1) return;
#pragma omp parallel
  {
    std::vector<uint8_t> tmp(static_cast<size_t>(sliceBytes));
#pragma omp for schedule(static)
    for (int k = 0; k < D / 2; ++k) {
      uint8_t* a = v + sliceBytes * k;
      uint8_t* b = v + sliceBytes * (D - 1 - k);
      std::memcpy(tmp.data(), a, sliceBytes);
      std::memcpy(a, b, sliceBytes);
      std::memcpy(b, tmp.data(), sliceBytes);
    }
  }
}

void flipImageZ(TOGL3DImage& img) {
  if (img.data) flipSlices(img.data, int64_t(img.W) * img.H, img.D);
}

void flipValuesZ(float* v, int W, int H, int D) {
  if (v) flipSlices(reinterpret_cast<uint8_t*>(v), int64_t(W) * H * int64_t(sizeof(float)), D);
}

void normaliseLog(double* bins, int n) {
  double mx = 0;
  for (int i = 0; i < n; ++i) {
    bins[i] = bins[i] > 0 ? std::log(bins[i]) : 0.0;
    if (bins[i] > mx) mx = bins[i];
  }
  if (mx > 0)
    for (int i = 0; i < n; ++i) bins[i] /= mx;
}
}  // namespace

TextureManager& TextureManager::getInst() {
  static TextureManager inst;
  return inst;
}

TextureManager::TextureManager() : histJoint(256 * 256, 0.0) {
  fprintf(stderr, "TextureManager-----\u2193\u2193\n");
  std::memset(hist, 0, sizeof(hist));
  for (int i = 0; i < 3; ++i) {
    TOGL2DImage bmp;
    bool bottomUp = false;
    if (!bmp.allocateFromFile(t_makeAppPath(kPseudoColorFiles[i]), &bottomUp, nullptr)) continue;
    pseudoColor[i].allocate(bmp.W, nullptr);
    if (pseudoColor[i].data) std::memcpy(pseudoColor[i].data, bmp.data, size_t(bmp.W) * 4);
  }
  tfI.initRamp(nullptr);
  tfIG.initRamp(nullptr);
  tf2D.init(nullptr);
  channelCount = 1;
  vol1.allocate(10, 10, 10, nullptr);
  val1 = new float[1000]();
  valGrad = new float[1000]();
  volGrad = vol1;
  updateHistogram();
  fprintf(stderr, "TextureManager Fin----\u2191\u2191\n");
}

TextureManager::~TextureManager() {
  delete[] val1;
  delete[] val2;
  delete[] val3;
  delete[] valGrad;
  val1 = val2 = val3 = valGrad = nullptr;
  // The members (transfer functions, pseudo-colour tables, textures, file name) go in the
  // reverse order of their declaration, each deleting its GL texture.
}

void TextureManager::updateHistogram() {
  std::memset(hist, 0, sizeof(hist));
  histJoint.assign(256 * 256, 0.0);
  const int64_t n = vol1.data ? vol1.size() : 0;
  if (n > 0) {
    const uint8_t* a = vol1.data;
    const uint8_t* b = (channelCount >= 2 && vol2.data && vol2.size() == n) ? vol2.data : nullptr;
    const uint8_t* c = (channelCount >= 3 && vol3.data && vol3.size() == n) ? vol3.data : nullptr;
    const uint8_t* g = (volGrad.data && volGrad.size() == n) ? volGrad.data : nullptr;
    const int channels = channelCount;
    std::vector<int64_t> total(5 * 256 + 256 * 256, 0);
#pragma omp parallel
    {
      std::vector<int64_t> cnt(5 * 256 + 256 * 256, 0);
      int64_t* h = cnt.data();
      int64_t* joint = h + 5 * 256;
#pragma omp for schedule(static)
      for (int64_t i = 0; i < n; ++i) {
        const int av = a[i], bv = b ? b[i] : 0, cv = c ? c[i] : 0, gv = g ? g[i] : 0;
        int m;
        if (channels <= 1)
          m = av;
        else if (channels == 2)
          m = int((av + bv) * 0.5);
        else
          m = int((av + bv + cv) / 3.0);
        ++h[av];
        ++h[256 + bv];
        ++h[512 + cv];
        ++h[768 + m];
        ++h[1024 + gv];
        ++joint[m * 256 + gv];
      }
#pragma omp critical
      for (size_t k = 0; k < cnt.size(); ++k) total[k] += cnt[k];
    }
    for (int k = 0; k < 5 * 256; ++k) hist[k / 256][k % 256] = double(total[k]);
    for (int k = 0; k < 256 * 256; ++k) histJoint[k] = double(total[5 * 256 + k]);
  }
  for (int k = 0; k < 5; ++k) normaliseLog(hist[k], 256);
  normaliseLog(histJoint.data(), 256 * 256);
}

void TextureManager::applyWindowLevel(const double* minimum, const double* maximum) {
  vol1.unbind(nullptr);
  vol2.unbind(nullptr);
  vol3.unbind(nullptr);
  volGrad.unbind(nullptr);
  t_progressStart(4);

  // Channels that take part: those within the count that hold values and a texture of the
  // volume's size.
  const int64_t n = vol1.data ? vol1.size() : 0;
  uint8_t* tex[3] = {nullptr, nullptr, nullptr};
  const float* val[3] = {nullptr, nullptr, nullptr};
  double mn[3] = {0, 0, 0}, mx[3] = {0, 0, 0};
  int channels = 0;
  for (int c = 0; c < channelCount && c < 3; ++c) {
    TOGL3DImage& t = channelTexture(c);
    const float* v = channelValues(c);
    if (!t.data || t.size() != n || !v) continue;
    tex[channels] = t.data;
    val[channels] = v;
    mn[channels] = minimum[c];
    mx[channels] = maximum[c];
    ++channels;
  }
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < n; ++i)
    for (int k = 0; k < channels; ++k) tex[k][i] = t_windowLevelByte(val[k][i], mn[k], mx[k]);

  t_progressStep(50);
  updateHistogram();
  notifyHistogramChanged();
  t_progressEnd();
}

void TextureManager::flipZ() {
  const int W = vol1.W, H = vol1.H, D = vol1.D;
  for (int c = 0; c < channelCount && c < 3; ++c) {
    flipImageZ(channelTexture(c));
    flipValuesZ(channelValues(c), W, H, D);
  }
  flipImageZ(volGrad);
  flipValuesZ(valGrad, W, H, D);
  flipImageZ(volFlag);
  flipImageZ(volMask);
  vol1.unbind(nullptr);
  vol2.unbind(nullptr);
  vol3.unbind(nullptr);
  volFlag.unbind(nullptr);
  volGrad.unbind(nullptr);
  volMask.unbind(nullptr);
}

void TextureManager::computeGradientVolume(int W, int H, int D, int channels) {
  delete[] valGrad;
  valGrad = nullptr;
  volGrad.allocate(W, H, D, nullptr);
  if (W <= 0 || H <= 0 || D <= 0) return;
  const int64_t slice = int64_t(W) * H;
  const int64_t n = slice * D;
  valGrad = new float[static_cast<size_t>(n)];  // every voxel is written below

  // Grey sample of one row; a channel that is missing counts as 0.
  const float* c1 = val1;
  const float* c2 = channels >= 2 ? val2 : nullptr;
  const float* c3 = channels >= 3 ? val3 : nullptr;
  auto sampleRow = [&](int64_t o, double* out) {
    if (!c1 && !c2 && !c3) {
      for (int x = 0; x < W; ++x) out[x] = 0;
    } else if (channels <= 1) {
      for (int x = 0; x < W; ++x) out[x] = c1[o + x];
    } else if (channels == 2) {
      for (int x = 0; x < W; ++x) out[x] = ((c1 ? c1[o + x] : 0.0) + (c2 ? c2[o + x] : 0.0)) * 0.5;
    } else {
      for (int x = 0; x < W; ++x)
        out[x] = ((c1 ? c1[o + x] : 0.0) + (c2 ? c2[o + x] : 0.0) + (c3 ? c3[o + x] : 0.0)) * 0.3333333333;
    }
  };

  // The 3x3x3 kernels are separable: gx = D(x) S(y) S(z), gy = S(x) D(y) S(z),
  // gz = S(x) S(y) D(z) with S = (1 2 1) and D = (-1 0 1); voxels outside count as 0, which the
  // zero padding of every pass reproduces exactly.  Each slice is swept row by row with the
  // z and x passes of three rows kept in a small ring, so the work stays in cache.
  const double kBorder = 0.66666;
  float gmax = -FLT_MAX;
#pragma omp parallel reduction(max : gmax)
  {
    std::vector<double> sm(W), s0(W), sp(W), sz(W), dz(W);
    std::vector<double> ring(size_t(9) * W);  // per slot: x-derivative of S(z), S(x)S(z), S(x)D(z)
    auto axRow = [&](int y) { return ring.data() + size_t(y % 3) * 3 * W; };
#pragma omp for schedule(static)
    for (int z = 0; z < D; ++z) {
      const int64_t o = slice * z;
      auto passRow = [&](int y) {
        const int64_t r = o + int64_t(y) * W;
        sampleRow(r, s0.data());
        if (z > 0) sampleRow(r - slice, sm.data()); else std::fill(sm.begin(), sm.end(), 0.0);
        if (z < D - 1) sampleRow(r + slice, sp.data()); else std::fill(sp.begin(), sp.end(), 0.0);
        for (int x = 0; x < W; ++x) {
          sz[x] = sm[x] + 2 * s0[x] + sp[x];
          dz[x] = sp[x] - sm[x];
        }
        double* ax = axRow(y);
        double* as = ax + W;
        double* bs = as + W;
        for (int x = 0; x < W; ++x) {
          const double lz = x > 0 ? sz[x - 1] : 0.0, rz = x < W - 1 ? sz[x + 1] : 0.0;
          const double ld = x > 0 ? dz[x - 1] : 0.0, rd = x < W - 1 ? dz[x + 1] : 0.0;
          ax[x] = rz - lz;
          as[x] = lz + 2 * sz[x] + rz;
          bs[x] = ld + 2 * dz[x] + rd;
        }
      };
      passRow(0);
      if (H > 1) passRow(1);
      const bool zBorder = z == 0 || z == D - 1;
      for (int y = 0; y < H; ++y) {
        if (y + 1 < H && y + 1 >= 2) passRow(y + 1);  // overwrites row y - 2, no longer needed
        const double* c = axRow(y);
        const double* u = y > 0 ? axRow(y - 1) : nullptr;
        const double* d = y + 1 < H ? axRow(y + 1) : nullptr;
        const bool yBorder = y == 0 || y == H - 1;
        float* out = valGrad + o + int64_t(y) * W;
        for (int x = 0; x < W; ++x) {
          // Along y.
          double gx = 2 * c[x], gy = 0, gz = 2 * c[2 * W + x];
          if (u) {
            gx += u[x];
            gy -= u[W + x];
            gz += u[2 * W + x];
          }
          if (d) {
            gx += d[x];
            gy += d[W + x];
            gz += d[2 * W + x];
          }
          double f = 1.0;
          if (x == 0 || x == W - 1) {
            gx = 0;
            f *= kBorder;
          }
          if (yBorder) {
            gy = 0;
            f *= kBorder;
          }
          if (zBorder) {
            gz = 0;
            f *= kBorder;
          }
          float v = float(std::sqrt(gx * gx + gy * gy + gz * gz) * f);
          if (!std::isfinite(v)) v = 0;  // infinite or NaN input values carry no edge
          out[x] = v;
          if (v > gmax) gmax = v;
        }
      }
    }
  }

  // A volume without any gradient (constant values) keeps all zeros: there is nothing to
  // normalise, and dividing by 0 would fill it with NaN.
  if (!(gmax > 0)) return;
  uint8_t* tex = volGrad.data;
  // A local pointer: through the member, every byte stored to tex could change valGrad itself,
  // and the loop would reload it per voxel.
  float* grad = valGrad;
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < n; ++i) {
    const float v = grad[i] / gmax;
    grad[i] = v;
    const double t = double(v) * 600;
    tex[i] = !(t > 0) ? 0 : t >= 255 ? 255 : uint8_t(int(t));
  }
}

void TextureManager::setPitchSource(std::function<void(double[3])> source) {
  m_pitchSource = std::move(source);
}

void TextureManager::getPitch(double pitch[3]) const {
  pitch[0] = pitch[1] = pitch[2] = 1.0;
  if (m_pitchSource) m_pitchSource(pitch);
}

void TextureManager::setHistogramListener(std::function<void()> listener) {
  m_histogramListener = std::move(listener);
}

void TextureManager::notifyHistogramChanged() const {
  if (m_histogramListener) m_histogramListener();
}
