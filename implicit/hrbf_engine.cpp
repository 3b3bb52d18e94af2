#include "implicit/hrbf_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "geom/marching_cubes.h"
#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"
#include "platform/Progress.h"

namespace {

bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_acquire); }

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void buildMatrix(int nChannels, int kernel, int N, const THrbfSample* s, TDenseSqMat* m) {
  if (nChannels == 3) t_hrbfJoint6_buildMatrix(kernel, N, s, m);
  else t_hrbfJoint4_buildMatrix(kernel, N, s, m);
}

void buildNewRows(int nChannels, int kernel, int Nold, int N, const THrbfSample* s, TDenseSqMat* m) {
  if (nChannels == 3) t_hrbfJoint6_buildNewRows(kernel, Nold, N, s, m);
  else t_hrbfJoint4_buildNewRows(kernel, Nold, N, s, m);
}

void progressFraction(double f) { t_progressToMainFrame(f); }

// Builds and factorises the system of the first N samples; `out` only receives a good factor.
THrbfStatus factorFresh(int nc, int kernel, int N, const THrbfSample* s, const int* limits,
                        const std::atomic<bool>* stop, std::unique_ptr<TDenseSqMat>& out) {
  auto m = std::make_unique<TDenseSqMat>((nc + 4) * (N + 1));
  buildMatrix(nc, kernel, N, s, m.get());
  if (stopped(stop)) return THrbfStatus::Stopped;
  if (!m->factorLU(limits, progressFraction)) return THrbfStatus::Singular;
  out = std::move(m);
  return THrbfStatus::Ok;
}

bool allFinite(const std::vector<double>& v) {
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace

const char* t_hrbfStatusMessage(THrbfStatus s) {
  switch (s) {
    case THrbfStatus::Ok: return "";
    case THrbfStatus::NoSamples: return "No contour gives samples: draw at least three control points.";
    case THrbfStatus::Singular:
      return "The contours give no unique surface (samples coincide); the region was not computed.";
    case THrbfStatus::Stopped: return "The region computation was stopped.";
  }
  return "";
}

THrbfStatus t_hrbfSolveIncremental(const THrbfRegionOrder& o, THrbfFactorCache& cache, std::vector<double>& coef,
                                   const std::atomic<bool>* stop) {
  const int nc = o.nChannels == 3 ? 3 : 1;
  const int k = nc + 4;
  const int pre = static_cast<int>(o.prePt), N = static_cast<int>(o.prePt + o.newPt);
  if (N <= 0 || static_cast<int>(o.samples.size()) < N) return THrbfStatus::NoSamples;
  const int n = (N + 1) * k, n0 = (pre + 1) * k;
  const int* limits = static_cast<int>(o.rowBlockEnd.size()) >= n ? o.rowBlockEnd.data() : nullptr;
  const THrbfSample* s = o.samples.data();

  std::vector<double> rhs(static_cast<size_t>(n));
  if (nc == 3) t_hrbfJoint6_buildRhs(N, s, rhs.data());
  else t_hrbfJoint4_buildRhs(N, s, rhs.data());
  coef.assign(static_cast<size_t>(n), 0.0);

  if (pre == 0) {
    std::printf("領域計算中(LU)-No Pre contours\n\n");
    t_progressStart(13, 10);
    cache.drop();
    std::unique_ptr<TDenseSqMat> m;
    const THrbfStatus st = factorFresh(nc, o.kernel, N, s, limits, stop, m);
    if (st != THrbfStatus::Ok) return st;
    if (!m->solveLU(rhs.data(), coef.data()) || !allFinite(coef)) return THrbfStatus::Singular;
    if (o.store) {
      cache.factor = std::move(m);
      cache.kernel = o.kernel;
      cache.k = k;
    }
    return THrbfStatus::Ok;
  }

  if (!cache.matches(o.kernel, k, n0)) {
    std::printf("領域計算中(LU)- LU full factorization\n\n");
    t_progressStart(13, 10);
    cache.drop();
    std::unique_ptr<TDenseSqMat> m;
    const THrbfStatus st = factorFresh(nc, o.kernel, pre, s, limits, stop, m);
    if (st != THrbfStatus::Ok) return st;
    cache.factor = std::move(m);
    cache.kernel = o.kernel;
    cache.k = k;
  }
  if (stopped(stop)) return THrbfStatus::Stopped;
  if (o.newPt == 0) {
    if (!cache.factor->solveLU(rhs.data(), coef.data()) || !allFinite(coef)) return THrbfStatus::Singular;
    return THrbfStatus::Ok;
  }
  std::printf("領域計算中(LU)- LU patial factorization\n\n");
  t_progressStart(13, 10);
  auto m = std::make_unique<TDenseSqMat>(n);
  m->copyFrom(*cache.factor, n0);
  buildNewRows(nc, o.kernel, pre, N, s, m.get());
  if (stopped(stop)) return THrbfStatus::Stopped;
  if (!m->factorLUPartial(n0, limits)) return THrbfStatus::Singular;
  if (!m->solveLU(rhs.data(), coef.data()) || !allFinite(coef)) return THrbfStatus::Singular;
  if (o.store) cache.factor = std::move(m);
  return THrbfStatus::Ok;
}

THrbfStatus t_hrbfComputeRegion(const THrbfRegionOrder& o, THrbfFactorCache& cache, THrbfRegionResult& out,
                                const std::atomic<bool>* stop) {
  const double t0 = wallSeconds();
  THrbfStatus st = t_hrbfSolveIncremental(o, cache, out.coef, stop);
  if (st != THrbfStatus::Ok) {
    t_progressEnd();
    return st;
  }
  const double t1 = wallSeconds();
  std::printf("領域計算中(RegionGrow)- with Pre contours\n");
  t_progressStart(14, 20);

  const size_t nv = static_cast<size_t>(o.W) * o.H * o.D;
  const int N = static_cast<int>(o.prePt + o.newPt);
  out.label.assign(nv, 0);
  out.field.assign(nv, 0.0f);
  for (size_t i = 0; i < nv && i < o.target.size(); ++i) out.label[i] = o.target[i] ? 1 : 0;
  const THrbfSample* s = o.samples.data();
  const double* c = out.coef.data();
  const bool six = o.nChannels == 3;
  if (o.surfaceTrack) {
    if (six)
      t_hrbfJoint6_surfaceTrack(o.kernel, o.W, o.H, o.D, o.vol[0], o.vol[1], o.vol[2], o.extent, o.weight, N, c, s,
                                o.lo, o.hi, out.label.data(), out.field.data(), stop);
    else
      t_hrbfJoint4_surfaceTrack(o.kernel, o.W, o.H, o.D, o.vol[0], o.extent, o.weight, N, c, s, o.lo, o.hi,
                                out.label.data(), out.field.data(), stop);
  } else {
    if (six)
      t_hrbfJoint6_regionGrow(o.kernel, o.W, o.H, o.D, o.vol[0], o.vol[1], o.vol[2], o.extent, o.weight, N, c, s,
                              o.lo, o.hi, out.label.data(), out.field.data(), stop);
    else
      t_hrbfJoint4_regionGrow(o.kernel, o.W, o.H, o.D, o.vol[0], o.extent, o.weight, N, c, s, o.lo, o.hi,
                              out.label.data(), out.field.data(), stop);
  }
  if (stopped(stop)) {
    t_progressEnd();
    return THrbfStatus::Stopped;
  }
  t_progressStep(70);
  const double t2 = wallSeconds();
  // The surface: of the tracked labels (three smoothing passes), or of the grown field at 0 (one).
  if (o.surfaceTrack) {
    t_marchingCubesByte(uint32_t(o.W), uint32_t(o.H), uint32_t(o.D), out.label.data(), o.extent, out.mesh, o.lo,
                        o.hi);
    out.mesh.smoothUmbrella(3);
  } else {
    t_marchingCubesFloat(uint32_t(o.W), uint32_t(o.H), uint32_t(o.D), out.field.data(), 0.0f, o.extent, out.mesh,
                         o.lo, o.hi);
    out.mesh.smoothUmbrella(1);
  }
  // Target voxels: 255 inside, 1 outside; the others 0.
  const bool hasTarget = o.target.size() >= nv;
  for (size_t i = 0; i < nv; ++i) {
    const bool target = hasTarget && o.target[i] != 0;
    const bool in = o.surfaceTrack ? out.label[i] == 255 : out.label[i] == 2;
    out.label[i] = target ? (in ? 255 : 1) : 0;
  }
  t_progressStep(80);
  const double t3 = wallSeconds();
  out.solveSeconds = t1 - t0;
  out.labelSeconds = t2 - t1;
  out.meshSeconds = t3 - t2;
  std::printf("LU:%.10f eval1:%.10f eval2:%.10f\n", out.solveSeconds, out.labelSeconds, out.meshSeconds);
  // Voxels of the region on its boundary: on the volume's border or beside a voxel outside it.
  long boundary = 0;
  const size_t sW = size_t(o.W), sWH = sW * size_t(o.H);
  for (int z = 0; z < o.D; ++z)
    for (int y = 0; y < o.H; ++y)
      for (int x = 0; x < o.W; ++x) {
        const size_t i = x + sW * y + sWH * z;
        if (out.label[i] != 255) continue;
        const bool border = x == 0 || y == 0 || z == 0 || x == o.W - 1 || y == o.H - 1 || z == o.D - 1;
        if (border || out.label[i - 1] != 255 || out.label[i + 1] != 255 || out.label[i - sW] != 255 ||
            out.label[i + sW] != 255 || out.label[i - sWH] != 255 || out.label[i + sWH] != 255)
          ++boundary;
      }
  std::printf("prePt %u  newPt %u vox%ld\n", o.prePt, o.newPt, boundary);
  t_progressEnd();
  return THrbfStatus::Ok;
}

THrbfStatus t_hrbfEraseFromFactor(THrbfFactorCache& cache, unsigned a, unsigned b, unsigned c, int kernel,
                                  int nChannels, const std::vector<THrbfSample>& remaining,
                                  const std::vector<int>& remainingRowBlockEnd, const std::atomic<bool>* stop,
                                  bool* eliminated) {
  if (eliminated) *eliminated = false;
  const int k = nChannels == 3 ? 7 : 5;
  const int A = static_cast<int>(a), B = static_cast<int>(b), C = static_cast<int>(c);
  const int total = A + B + C;
  bool done = false;
  if (B == 0 && cache.factor && cache.kernel == kernel && cache.k == k && cache.factor->n == total) {
    if (eliminated) *eliminated = true;  // the erased contour had no unknowns
    return THrbfStatus::Ok;
  }
  if (cache.factor && cache.kernel == kernel && cache.k == k && cache.factor->n == total && A > 500 && B <= 500 &&
      B > 0) {
    TDenseSqMat& F = *cache.factor;
    // Columns: carry each erased unknown, the last first, to the end of the kept ones.
    t_progressStart(15, 0);
    std::vector<int> inv(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i) inv[static_cast<size_t>(F.colPerm[i])] = i;
    std::vector<int> S;
    for (int u = A; u < A + B; ++u) S.push_back(inv[static_cast<size_t>(u)]);
    std::sort(S.begin(), S.end());
    int e = total - 2;
    // An exchange that fails leaves the factor half-moved: the factor is rebuilt instead.
    bool colsOk = true;
    for (int j = static_cast<int>(S.size()) - 1, doneCount = 0; j >= 0 && colsOk; --j, ++doneCount) {
      for (int r = S[static_cast<size_t>(j)]; r <= e && colsOk; ++r) colsOk = t_flipRow(F, r);
      --e;
      t_progressStep(100 * (doneCount + 1) / static_cast<int>(S.size()));
      if (stopped(stop)) {
        cache.drop();
        t_progressEnd();
        return THrbfStatus::Stopped;
      }
    }
    // Rows likewise; the exchange across the last kept position may not move columns.
    t_progressStart(15, 0);
    for (int i = 0; i < total; ++i) inv[static_cast<size_t>(F.rowPerm[i])] = i;
    S.clear();
    for (int u = A; u < A + B; ++u) S.push_back(inv[static_cast<size_t>(u)]);
    std::sort(S.begin(), S.end());
    e = total - 2;
    bool ok = colsOk;
    for (int j = static_cast<int>(S.size()) - 1, doneCount = 0; j >= 0 && ok; --j, ++doneCount) {
      for (int r = S[static_cast<size_t>(j)]; r <= e && ok; ++r) ok = t_flipRowEx(F, r, r != A + C - 1);
      --e;
      t_progressStep(100 * (doneCount + 1) / static_cast<int>(S.size()));
      if (stopped(stop)) {
        cache.drop();
        t_progressEnd();
        return THrbfStatus::Stopped;
      }
    }
    t_progressEnd();
    if (ok) {
      const int m = A + C;
      auto R = std::make_unique<TDenseSqMat>(m);
      R->copyFrom(F, m);
      for (int i = 0; i < m; ++i) {
        if (R->rowPerm[i] >= A + B) R->rowPerm[i] -= B;
        if (R->colPerm[i] >= A + B) R->colPerm[i] -= B;
      }
      // The leading block must hold exactly the kept unknowns; anything else means a broken
      // exchange, and the factor is rebuilt.
      std::vector<char> seenR(static_cast<size_t>(m), 0), seenC(static_cast<size_t>(m), 0);
      for (int i = 0; i < m && ok; ++i) {
        const int pr = R->rowPerm[i], pc = R->colPerm[i];
        if (pr < 0 || pr >= m || pc < 0 || pc >= m || seenR[static_cast<size_t>(pr)] || seenC[static_cast<size_t>(pc)])
          ok = false;
        else
          seenR[static_cast<size_t>(pr)] = seenC[static_cast<size_t>(pc)] = 1;
      }
      if (ok) {
        cache.factor = std::move(R);
        done = true;
      }
    }
  }
  if (done) {
    if (eliminated) *eliminated = true;
    return THrbfStatus::Ok;
  }

  // Full refactorisation of what is left.
  t_progressStart(13, 0);
  cache.drop();
  const int Nrem = static_cast<int>(remaining.size());
  const int m = (Nrem + 1) * k;
  if (Nrem == 0) {
    t_progressEnd();
    return THrbfStatus::NoSamples;
  }
  auto F = std::make_unique<TDenseSqMat>(m);
  buildMatrix(nChannels == 3 ? 3 : 1, kernel, Nrem, remaining.data(), F.get());
  const int* limits = static_cast<int>(remainingRowBlockEnd.size()) >= m ? remainingRowBlockEnd.data() : nullptr;
  const bool ok = F->factorLU(limits, progressFraction);
  t_progressEnd();
  if (!ok) return THrbfStatus::Singular;
  cache.factor = std::move(F);
  cache.kernel = kernel;
  cache.k = k;
  return THrbfStatus::Ok;
}
