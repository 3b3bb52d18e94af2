#include "modes/region/kernels/gcut_precompute.h"

#include <cstdint>
#include <cstdio>

#include "modes/region/kernels/gcut_cache.h"
#include "platform/Progress.h"

TWatershedStatus t_precomputeGCut(const TGCutPrecomputeInput& in, TGCutPrecomp& out,
                                  const std::atomic<bool>* stop) {
  const std::int64_t N = std::int64_t(in.W) * in.H * in.D;
  // Region voxel lists and the cache file hold 32-bit voxel indices.
  if (in.W < 1 || in.H < 1 || in.D < 1 || N > INT32_MAX ||
      static_cast<std::int64_t>(in.gradient.size()) != N || static_cast<std::int64_t>(in.c1.size()) != N)
    return TWatershedStatus::TooBig;
  auto stopped = [&] { return stop && stop->load(); };
  const float* c2 = in.c2.empty() ? nullptr : in.c2.data();
  const float* c3 = in.c3.empty() ? nullptr : in.c3.data();

  TGCutPrecomp res;
  const TWatershedStatus st =
      t_calcWatershedBySlabs(in.W, in.H, in.D, in.gradient.data(), in.scale, res.labels, stop);
  if (st != TWatershedStatus::Ok) return st;
  if (stopped()) return TWatershedStatus::Stopped;
  if (t_compactLabels(res.labels) == 0) return TWatershedStatus::NoBasin;
  t_absorbWatershedLines(in.W, in.H, in.D, in.c1.data(), c2, c3, res.labels);
  if (stopped()) return TWatershedStatus::Stopped;
  for (int& l : res.labels) l -= 1;

  t_progressStart(7, 50);
  t_buildRegionsAndAdjacency(in.W, in.H, in.D, in.c1.data(), c2, c3, res.labels, res.regions,
                             res.adjacency);
  t_progressStep(7);
  if (stopped()) {
    t_progressEnd();
    return TWatershedStatus::Stopped;
  }
  if (!in.cachePath.empty() &&
      !t_writePrecompFile(in.W, in.H, in.D, in.cachePath, res.labels, res.regions, res.adjacency))
    std::fprintf(stderr, "could not write %s\n", in.cachePath.c_str());
  t_progressEnd();
  out.labels.swap(res.labels);
  out.regions.swap(res.regions);
  out.adjacency.swap(res.adjacency);
  return TWatershedStatus::Ok;
}
