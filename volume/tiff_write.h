#pragma once
// Writers of multi-page TIFF volumes (one page per z slice, uncompressed, one row per strip) with
// our private tags carrying the depth and the voxel pitch.  Both write into a temporary file
// beside the target and rename it into place only when everything was written, so a failed export
// never leaves a truncated file under the chosen name.  Failures are shown to the user and give
// false: the file cannot be created, the volume does not fit the format (4 GiB of offsets, sizes
// above 65535), or a write fails.  With a progress display given, each written page steps its
// current part.
#include "volume/Image3D.h"
#include "volume/TTiffIO.h"

class TProgressScope;

// Three images as the three samples of an RGB file at target's path (a single channel is passed
// as three images holding the same values).  bits 8: v < lower -> 0, v > upper -> 255, otherwise
// v * 255 / max(1, |upper - lower|) truncated; bits 64: the doubles as they are.
bool t_writeTiff(TTiffIO& target, Image3D& r, Image3D& g, Image3D& b, double upper, double lower,
                 int bits, TProgressScope* progress = nullptr);
// One channel of 64-bit floats.
bool t_writeTiffDouble(TTiffIO& target, Image3D& image, TProgressScope* progress = nullptr);

// Size in bytes of the file each writer produces for a W x H x D volume.
unsigned long long t_tiffFileSize(int W, int H, int D, int bytesPerSample);
unsigned long long t_tiffDoubleFileSize(int W, int H, int D);
