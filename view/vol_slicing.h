#pragma once
// Geometry of the volume box and its view-aligned slices.  No GL here: the renderer feeds the
// polygons to GL, the tests check them directly.
#include <functional>

// Box size in world units from voxel counts and pitch: longest side 10.  Returns false and leaves
// extent untouched when a count or a pitch is not positive (or not finite): such input would give
// a box of zero or non-finite size and texture coordinates of 0/0.
bool t_volumeExtent(const double pitch[3], int W, int H, int D, double extent[3]);

// Corners 0-3 go around the face z = 0, corners 4-7 around z = ez in the same order.
void t_boxCorners(const double extent[3], double corners[8][3]);

// Three neighbours of each corner along the box edges; the order fixes the polygon winding.
extern const int kCubeNeighbours[8][3];

// Number of slices for the "Slice Num" slider position (0..100); 30 % of it while a button is held.
int t_sliceCount(int sliderPos, bool buttonHeld);

// One slice polygon: n (3..6) world points in winding order, all at the same depth along the view
// direction.
struct TSlicePolygon {
  int n = 0;
  double p[6][3];
};

// Cuts the box into polygons perpendicular to viewDir (pointing from the centre towards the eye),
// spaced 23 / N apart, and hands them to emit from the far side to the near side.  Returns false
// (after the console line of the renderer) when the slicing went wrong and stopped early.
bool t_viewAlignedSlices(const double corners[8][3], const double viewDir[3], int N,
                         const std::function<void(const TSlicePolygon&)>& emit);
