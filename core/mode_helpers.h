#pragma once
// Small steps that many modes take when they are entered.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ModeViewHost.h"

// The console banners printed at the start and at the end of a mode object's construction; the
// start banner sets itself apart from the traces before it with an empty line.
inline void t_traceModeBanner(const char* className, bool start) {
  if (start)
    std::fprintf(stderr, "\nTState TState TState %s↓↓↓↓↓↓↓\n", className);
  else
    std::fprintf(stderr, "TState TState TState %s↑↑↑↑↑↑↑\n", className);
}

inline void t_modeRedrawAll() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
}

// The wheel over the main view: steps the slice plane (or moves the cut surface) under the cursor
// and redraws every view.
inline void t_modeWheelStepsSlice(int delta, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  h->stepSliceByWheel(p, delta);
  h->redrawAll();
}

inline void t_modeHideSlicePanes() {
  if (TModeViewHost* h = t_modeViewHost()) h->hideSlicePanes();
}

// Sum over the axes of (box extent / voxel count): the size of one voxel in box units, summed.
inline double t_modeVoxelSizeSum() {
  double ext[3] = {1, 1, 1};
  int W = 1, H = 1, D = 1;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->volumeExtent(ext);
    h->volumeSize(W, H, D);
  } else {
    return 3.0;
  }
  return ext[0] / (W > 0 ? W : 1) + ext[1] / (H > 0 ? H : 1) + ext[2] / (D > 0 ? D : 1);
}

// The status-bar note for a cut stroke of `points` points, too short for a cut surface.
inline std::string t_shortCutStrokeText(int points) {
  return "The cut stroke has " + std::to_string(points) + " point" + (points == 1 ? "" : "s") +
         ": a cut surface needs at least " + std::to_string(TModeViewHost::kCutStrokeMinPoints) +
         ". Draw a longer stroke.";
}

// Says in the status bar that a cut stroke of `points` points was too short for a cut surface.
inline void t_modeNoteShortCutStroke(int points) {
  if (TModeViewHost* h = t_modeViewHost()) h->showStatusText(t_shortCutStrokeText(points));
}

// Builds the cut surface from a stroke drawn with Ctrl.  The renderer builds none from fewer
// points than its minimum, so a shorter stroke clears the surface (the old one must not stand in
// for the one just drawn) and the status bar says why there is none.
template <class Points>
inline void t_modeCutSurfaceFromStroke(const Points& stroke) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  if (static_cast<int>(stroke.size()) < TModeViewHost::kCutStrokeMinPoints) {
    h->clearCutSurface();
    t_modeNoteShortCutStroke(static_cast<int>(stroke.size()));
    return;
  }
  std::vector<std::array<double, 3>> points;
  points.reserve(stroke.size());
  for (const auto& q : stroke) points.push_back({q[0], q[1], q[2]});
  h->genCutSurfaceFromStroke(points);
}

// Ends a drag of the main view: the held flag off, the camera released, every view redrawn.
inline void t_modeEndViewDrag() {
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(false);
    h->camBtnUp();
    h->redrawAll();
  }
}

// Of the points whose distance from the cursor ray is below radius, the one nearest the ray's
// origin; -1 when there is none.  point(i) gives point i as something indexable by 0..2.
template <class PointAt>
inline int t_modePickNearRay(const TModeRay& ray, int count, double radius, PointAt point) {
  const double* o = ray.org;
  const double* d = ray.dir;
  const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  if (!(dd > 0)) return -1;
  int index = -1;
  double best = 0;
  for (int i = 0; i < count; ++i) {
    const auto c = point(i);
    double co[3];
    for (int k = 0; k < 3; ++k) co[k] = c[k] - o[k];
    const double t = (co[0] * d[0] + co[1] * d[1] + co[2] * d[2]) / dd;
    double off = 0;
    for (int k = 0; k < 3; ++k) off += (co[k] - t * d[k]) * (co[k] - t * d[k]);
    if (!(std::sqrt(off) < radius)) continue;
    const double eye = co[0] * co[0] + co[1] * co[1] + co[2] * co[2];
    if (index < 0 || eye < best) {
      index = i;
      best = eye;
    }
  }
  return index;
}

// The refusal of a volume above a computation's voxel limit: what the limit is, and the size.
inline std::string t_modeVoxelLimitText(const char* computation, long long limit, int W, int H, int D) {
  const long long n = static_cast<long long>(W) * H * D;
  return std::string(computation) + " works on volumes of at most " + std::to_string(limit) +
         " voxels; this volume has " + std::to_string(W) + " x " + std::to_string(H) + " x " +
         std::to_string(D) + " = " + std::to_string(n) + " voxels.";
}
