#pragma once
// Smoothing of the right part of a float volume (voxel (x, y, z) at x + W * (y + H * z)): ten
// passes of a 5 x 5 x 5 Gaussian-like kernel, weight exp(-2 (dx^2 + dy^2 + dz^2)), over the voxels
// with x in [x0, x1), y in [0, y1), z in [0, z1); kernel cells outside the volume are left out of
// both sums.  Each mean is truncated toward zero to an integer.  Voxels outside the range keep
// their values.
void t_smoothVolRightHalf(int W, int H, int D, int x0, int x1, int y1, int z1, float* volume);
