#pragma once
// Whole-volume filters on flat volumes (x fastest, then y, then z; voxel (x, y, z) at
// z*W*H + y*W + x): Gaussian smoothing, 6-neighbour erosion and dilation, labelling of the
// 26-connected parts of one value and trilinear sampling.
//
// These run on the whole volume while the user waits, so they are written for speed: the
// smoothing is separable, the morphology and smoothing run in parallel over slices, and the
// labelling uses a union-find over slabs.  Each gives the result of the plain per-voxel
// definition documented at the function.
#include <cstdint>

class TOGL3DImage;

// The 5x5x5 smoothing weight w(dx, dy, dz) = exp(-2 (dx^2 + dy^2 + dz^2)), dx, dy, dz in -2..2,
// factors into exp(-2 dx^2) exp(-2 dy^2) exp(-2 dz^2).  t_gaussWeight1D(k) is one factor.
double t_gaussWeight1D(int k);

// Replaces every voxel, `iterations` times, by sum(w v) / sum(w) over the voxels of the 5x5x5
// block around it that lie inside the volume (outside voxels are left out of both sums, so a
// constant volume stays constant).  Computed as three 1-D passes: since both the weights and the
// inside part of the block factor per axis, this equals the 3-D sum up to float rounding.
// Prints "smoothing done %d / %d\n" after each iteration.
void t_smoothVolume(int W, int H, int D, int iterations, float* values);

// Binary morphology with the 6-neighbourhood inside the half-open box from <= c < to.
// Foreground is 255; the value 2 serves as a temporary mark, so a 2 already present anywhere in
// the volume ends as 0 (erosion) or 255 (dilation).  Other values are left alone.
//  Erosion: a 255 voxel is removed when it lies on a face of the volume or has a face neighbour
//  that is 0.  Dilation: a 0 voxel becomes 255 when a face neighbour inside the volume is 255.
void t_erode3D(uint8_t* volume, int W, int H, int D, const int from[3], const int to[3]);
void t_dilate3D(uint8_t* volume, int W, int H, int D, const int from[3], const int to[3]);

// Labels the 26-connected parts of the voxels equal to `value` with 1, 2, ... in the order in
// which a scan in index order first meets them (all other voxels get 0); returns the number of
// parts.  labels holds W*H*D ints.  Prints "start region growing!! %d\n" for every part.
int t_labelConnectedRegions(int W, int H, int D, const uint8_t* voxels, uint8_t value,
                            int* labels);
// The same over a texture image (sizes from the image); 0 for an image without voxels.
int t_labelConnectedRegions(const TOGL3DImage* volume, uint8_t value, int* labels);

// Trilinear sample of a float volume of size W x H x D and voxel pitch (px, py, pz) at a world
// position (voxel centres at (i + 0.5) * pitch).  Positions outside the voxel centres are
// clamped to the border values.  Volumes of one voxel along an axis are sampled as constant
// along that axis; a volume without voxels gives 0.
double t_sampleTrilinear(const int* W, const int* H, const int* D, const double* px,
                         const double* py, const double* pz, const double position[3],
                         const float* values);
