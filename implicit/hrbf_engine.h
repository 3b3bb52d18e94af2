// The region computation of the contour-mesh mode as a worker runs it: solve the Hermite-RBF
// system of the gathered samples (reusing the cached LU factor of the stored contours and
// factorising only the appended rows), then label the voxels from the field.  Everything the
// worker reads comes in the order as its own copy; nothing here shows a message: the result is
// a status for the caller to show.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "geom/TDenseSqMat.h"
#include "geom/TTriangleMesh.h"
#include "implicit/TCanvasContour.h"

enum class THrbfStatus {
  Ok,
  NoSamples,  // nothing to solve: no contour contributes samples
  Singular,   // the system has no unique solution (e.g. coincident samples); nothing labelled
  Stopped,    // the stop flag was raised; outputs are meaningless
};

// What the caller shows for a status (empty for Ok).
const char* t_hrbfStatusMessage(THrbfStatus s);

// The LU factor of the system of the stored contours alone, (prePt + 1) k rows, with the kernel
// and the unknowns per sample it was built with.  Only successful factors are ever kept.
struct THrbfFactorCache {
  std::unique_ptr<TDenseSqMat> factor;
  int kernel = 0;
  int k = 0;

  void drop() { factor.reset(); }
  int size() const { return factor ? factor->n : 0; }
  bool matches(int kern, int kk, int n) const { return factor && kernel == kern && k == kk && factor->n == n; }
};

struct THrbfRegionOrder {
  bool store = false;         // the drawn contour is being stored: its factor is cached
  bool surfaceTrack = false;  // label by surface tracking instead of region growing
  int kernel = 1;             // 1 r^3, 2 r^4 log r, other r^5
  int nChannels = 1;          // 1: 4-D joint space (one or two channels), 3: 6-D
  unsigned prePt = 0, newPt = 0;
  int lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  double extent[3] = {1, 1, 1};
  double weight = 1.0;
  int W = 1, H = 1, D = 1;
  const float* vol[3] = {nullptr, nullptr, nullptr};  // feature volumes, W*H*D each
  std::vector<THrbfSample> samples;                   // prePt + newPt, from the gathering
  std::vector<int> rowBlockEnd;                       // (prePt + newPt + 1) k
  std::vector<uint8_t> target;                        // W*H*D: nonzero where the region may lie
};

struct THrbfRegionResult {
  std::vector<double> coef;    // the solution, (N + 1) k
  std::vector<uint8_t> label;  // W*H*D: 255 inside, 1 a target voxel outside, 0 not a target
  std::vector<float> field;    // W*H*D, as the labelling left it
  TTriangleMesh mesh;          // boundary surface: of the labels (tracking) or of the field at 0
  double solveSeconds = 0, labelSeconds = 0, meshSeconds = 0;
};

// Solves the system of the order's samples.  The cache follows the rules of the mode: with no
// stored samples the factor is cached only when storing; otherwise the stored contours' factor
// is reused (or rebuilt and cached) and the drawn contour's rows are factorised on top of a copy
// of it, which replaces the cache only when storing.  A failed factorisation is never cached.
THrbfStatus t_hrbfSolveIncremental(const THrbfRegionOrder& order, THrbfFactorCache& cache,
                                   std::vector<double>& coef, const std::atomic<bool>* stop = nullptr);

// Solve, then label (region growing or surface tracking) inside the order's box, then build the
// boundary surface.
THrbfStatus t_hrbfComputeRegion(const THrbfRegionOrder& order, THrbfFactorCache& cache,
                                THrbfRegionResult& out, const std::atomic<bool>* stop = nullptr);

// Removes the unknowns a .. a+b-1 of an erased contour from the cached factor (size a + b + c;
// a = (samples before it + 1) k, b = its samples x k, c = samples after it x k, samples counted as
// gathering counts them, TCanvasContour::activeSampleCount)
// by adjacent exchanges when that is cheaper (a > 500, b <= 500), else refactorises from the
// remaining stored samples (`remaining` with its row limits, as gathered without a drawn contour).
// The cache then holds the factor of size a + c.  Returns Ok, Singular (cache dropped) or Stopped
// (cache dropped).
THrbfStatus t_hrbfEraseFromFactor(THrbfFactorCache& cache, unsigned a, unsigned b, unsigned c, int kernel,
                                  int nChannels, const std::vector<THrbfSample>& remaining,
                                  const std::vector<int>& remainingRowBlockEnd,
                                  const std::atomic<bool>* stop = nullptr, bool* eliminated = nullptr);
