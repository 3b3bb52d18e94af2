#pragma once
// Whole-volume helpers on float value volumes (voxel (x, y, z) at x + W * (y + H * z)).

// Reverses the row order (y) of every slice in place.
void t_flipVolumeY32(int W, int H, int D, float* values);
// Smallest and largest value (minimum starts at the largest double, maximum at its negative).
void t_getMinMax(int W, int H, int D, const float* values, double* minimum, double* maximum);
// The placeholder volume: 64^3 floats, a spherical shell of radius 3 in a box of side 10 around
// its centre, peak 800, 0 far from it.  *values is allocated with new[].  Always true.
bool t_makeDefaultVolume(int* W, int* H, int* D, float** values);
