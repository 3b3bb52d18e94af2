#pragma once
// The canvas of the contour-mesh modes in the main view.
#include "geom/ClipSurface.h"

class VolRendManager;

// Both faces of the canvas showing the volume (clip 1: non-target voxels dark) and its boundary
// edges in white; nothing for a canvas without triangles.  Leaves lighting off.
void t_drawContourCanvas(VolRendManager& vr, const ClipSurface& canvas, int clip);
