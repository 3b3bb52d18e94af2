#pragma once
// Small steps that many modes take when they are entered.
#include <array>
#include <cstdio>
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

// Builds the cut surface from a stroke drawn with Ctrl.  The renderer builds none from fewer
// points than its minimum, so a shorter stroke clears the surface: the old one must not stand in
// for the one just drawn.
template <class Points>
inline void t_modeCutSurfaceFromStroke(const Points& stroke) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  if (static_cast<int>(stroke.size()) < TModeViewHost::kCutStrokeMinPoints) {
    h->clearCutSurface();
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
