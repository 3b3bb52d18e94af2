#pragma once
// ".sph" volumes: six Fortran sequential unformatted records (each framed by 4-byte length
// markers) holding precision, grid size, origin, pitch, step and time, and the voxel values in
// single or double precision, little- or big-endian (told apart by the first marker, which is 8).
#include <string>

// Reverses the order of n bytes in place.
void t_reverseBytes(void* buffer, int n);

// Reads a ".sph" file into a new float volume values[z*W*H + y*W + x] and its pitch.  A file that
// cannot be opened, is not a ".sph" file, is truncated or whose sizes do not fit its length gives
// a message and false (nothing allocated).
bool t_loadVolSph(const std::string& path, int* W, int* H, int* D, float** values, double pitch[3]);
