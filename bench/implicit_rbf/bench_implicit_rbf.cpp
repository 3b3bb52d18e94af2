// Hermite-RBF systems as the contour-mesh mode builds them (24 cross-sections of a sphere in a
// 256^3 volume, 4-D joint space), at about 1.3k, 4k and 10k unknowns: matrix build, LU factor
// with the contours' row limits, solve, and labelling of the 256^3 volume by region growing and
// by surface tracking.  The same matrix is handed to scipy.linalg.lu_factor (OpenBLAS) in the
// same run; its time and the ratio are printed.
//
// usage: bench_implicit_rbf [unknowns ...]      (default 1300 4000 10000)
#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "geom/TTriangleMesh.h"
#include "implicit/TCanvasContour.h"
#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"

namespace {

constexpr int kDim = 256;
const double kExtent[3] = {256, 256, 256};
const double kCentre[3] = {128, 128, 128};
constexpr double kRadius = 90;

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

TCanvasContour section(int a, double t, int nCtrl) {
  const int e1 = (a + 1) % 3, e2 = (a + 2) % 3;
  std::vector<TVec3> v(4);
  for (int i = 0; i < 4; ++i) {
    v[size_t(i)][a] = t;
    v[size_t(i)][e1] = (i == 1 || i == 2) ? kExtent[e1] : 0.0;
    v[size_t(i)][e2] = (i >= 2) ? kExtent[e2] : 0.0;
  }
  TTriangleMesh quad;
  quad.initFromVertsPolys(v, {TPolyIdx{0, 1, 2}, TPolyIdx{0, 2, 3}});
  double frame[9] = {0};
  for (int k = 0; k < 3; ++k) {
    frame[3 + k] = k == a ? t : kExtent[k] / 2;
    frame[k] = frame[3 + k] - (k == a ? 6.0 : 0.0);
  }
  TCanvasContour c;
  c.setCanvas(quad, frame);
  c.bInsideDir = true;
  c.bClosed = true;
  const double u = (t - kCentre[a]) / kRadius, s = kRadius * std::sqrt(1 - u * u);
  for (int i = 0; i < nCtrl; ++i) {
    const double th = 2 * M_PI * i / nCtrl;
    TVec3 p;
    p[a] = t;
    p[e1] = kCentre[e1] + s * std::cos(th);
    p[e2] = kCentre[e2] + s * std::sin(th);
    c.controlPoints.push_back(p);
  }
  c.updateStroke();
  return c;
}

// Runs the OpenBLAS reference on the matrix file; returns its seconds (< 0 when it failed).
double reference(const std::string& file, int n) {
  const std::string cmd = std::string("env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 ") +
                          KESTRIN_LU_REFERENCE + " " + file + " " + std::to_string(n) + " 2";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char line[1024];
  double sec = -1;
  while (std::fgets(line, sizeof line, p)) {
    std::printf("  %s", line);
    int rn;
    double s;
    if (std::sscanf(line, "reference lu n=%d seconds=%lf", &rn, &s) == 2 && rn == n) sec = s;
  }
  pclose(p);
  return sec;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1300, 4000, 10000};
  std::printf("bench_implicit_rbf: %d OpenMP threads, volume %d^3\n", omp_get_max_threads(), kDim);
  // Other work on the machine skews every figure below (spinning OpenMP teams suffer most).
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char buf[128] = {0};
    if (std::fgets(buf, sizeof buf, f)) std::printf("load average at start: %s", buf);
    std::fclose(f);
  }

  // A bright ball with a soft edge: the joint coordinate varies across the surface.
  const size_t nv = size_t(kDim) * kDim * kDim;
  std::vector<float> vol(nv);
#pragma omp parallel for schedule(static)
  for (int z = 0; z < kDim; ++z)
    for (int y = 0; y < kDim; ++y)
      for (int x = 0; x < kDim; ++x) {
        const double d = std::sqrt((x + 0.5 - 128) * (x + 0.5 - 128) + (y + 0.5 - 128) * (y + 0.5 - 128) +
                                   (z + 0.5 - 128) * (z + 0.5 - 128));
        vol[x + size_t(kDim) * (y + size_t(kDim) * z)] = float(500.0 * (1.0 + std::tanh((kRadius - d) / 4.0)));
      }
  const double weight = 0.002;

  std::vector<TCanvasContour> base;
  for (int j = 0; j < 8; ++j)
    for (int a = 0; a < 3; ++a) base.push_back(section(a, kCentre[a] + 0.85 * kRadius * (2.0 * (j + 0.5) / 8 - 1), 8));
  double totalLength = 0;
  for (const auto& c : base) totalLength += c.stroke.length();

  for (int target : sizes) {
    std::vector<TCanvasContour> cs = base;
    const double spacing = totalLength / (target / 5.0 - 1.0);
    const float* v0 = vol.data();
    for (auto& c : cs) c.calcSamples(kExtent, 1, kDim, kDim, kDim, v0, nullptr, nullptr, spacing, weight, 1.0, 0.1);
    for (size_t i = 0; i < cs.size(); ++i)
      for (size_t j = i + 1; j < cs.size(); ++j) TCanvasContour::calcCrossPoints(int(i), cs[i], int(j), cs[j], 2.25);
    for (auto& c : cs) c.applyTiltAngles(1, 0.0, 0.1);
    std::vector<TCanvasContour> stored(cs.begin(), cs.end() - 1);
    unsigned nNew, nPrev;
    std::vector<int> rb;
    std::vector<THrbfSample> s;
    t_gatherContourConstraints(1, stored, cs.back(), nNew, nPrev, rb, s);
    const int N = int(s.size()), n = 5 * (N + 1);
    std::printf("\n== %d samples, %d unknowns ==\n", N, n);

    double t = now();
    TDenseSqMat m(n);
    t_hrbfJoint4_buildMatrix(1, N, s.data(), &m);
    const double tBuild = now() - t;

    const std::string file = "/dev/shm/kestrin_bench_lu_" + std::to_string(getpid()) + ".bin";
    double tRef = -1;
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
      bool ok = true;
      for (int i = 0; i < n && ok; ++i) ok = std::fwrite(m.rows[i], sizeof(double), size_t(n), f) == size_t(n);
      std::fclose(f);
      if (ok) tRef = reference(file, n);
      std::remove(file.c_str());
    }

    t = now();
    const bool factored = m.factorLU(rb.data());
    const double tFactor = now() - t;
    std::vector<double> rhs(static_cast<size_t>(n)), coef(static_cast<size_t>(n));
    t_hrbfJoint4_buildRhs(N, s.data(), rhs.data());
    t = now();
    const bool solved = factored && m.solveLU(rhs.data(), coef.data());
    const double tSolve = now() - t;
    std::printf("build %.3f s   factor %.3f s   solve %.3f s%s\n", tBuild, tFactor, tSolve,
                solved ? "" : "   (FAILED: singular)");
    if (tRef > 0)
      std::printf("factor vs OpenBLAS lu_factor (scipy.linalg, same matrix): %.3f s vs %.3f s, ratio %.2f\n", tFactor,
                  tRef, tFactor / tRef);
    else
      std::printf("OpenBLAS reference unavailable (Debian python3-scipy with libopenblas0-pthread)\n");
    if (!solved) continue;

    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::max(0, int(kCentre[a] - kRadius) - 3);
      hi[a] = std::min(kDim - 1, int(kCentre[a] + kRadius) + 3);
    }
    std::vector<uint8_t> label(nv);
    std::vector<float> field(nv);
    for (int mode = 0; mode < 2; ++mode) {
      std::fill(label.begin(), label.end(), uint8_t(1));
      t = now();
      if (mode == 0)
        t_hrbfJoint4_regionGrow(1, kDim, kDim, kDim, v0, kExtent, weight, N, coef.data(), s.data(), lo, hi,
                                label.data(), field.data());
      else
        t_hrbfJoint4_surfaceTrack(1, kDim, kDim, kDim, v0, kExtent, weight, N, coef.data(), s.data(), lo, hi,
                                  label.data(), field.data());
      const double tLabel = now() - t;
      const uint8_t in = mode == 0 ? 2 : 255;
      size_t both = 0, a = 0, b = 0;
      for (int z = 0; z < kDim; ++z)
        for (int y = 0; y < kDim; ++y)
          for (int x = 0; x < kDim; ++x) {
            const double dx = x + 0.5 - 128, dy = y + 0.5 - 128, dz = z + 0.5 - 128;
            const bool ref = dx * dx + dy * dy + dz * dz <= kRadius * kRadius;
            const bool got = label[x + size_t(kDim) * (y + size_t(kDim) * z)] == in;
            both += ref && got;
            a += ref;
            b += got;
          }
      std::printf("\nlabelling %d^3 by %s: %.3f s  (Dice against the sphere %.4f)\n", kDim,
                  mode == 0 ? "region growing" : "surface tracking", tLabel, 2.0 * double(both) / double(a + b));
    }
  }
  return 0;
}
