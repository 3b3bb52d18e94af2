#pragma once
// Feature volumes of the contour-mesh mode: the loaded channels mapped to [0, 1] by their value
// ranges (a colour volume converted to L*a*b* first), then smoothed, so that the joint-space
// fields read image values of comparable scale.
#include <memory>
#include <vector>

// out[i] = (in[i] - min) / (max - min), in double, stored as float; no clamping.  A flat range
// (max <= min, or not finite) maps every value to 0.
void t_normalizeToUnitRange(float* out, const float* in, int n, double min, double max);

// Mean over the axes of extent / voxel count (counts below 1 taken as 1).
double t_meanVoxelSize(const double extent[3], int W, int H, int D);

using TFeatureVolume = std::shared_ptr<const std::vector<float>>;

// What the contour modes say when the features could not be built (memory ran out at entry): at
// entry, and again for every computation that reads them, which is refused.
inline constexpr const char* kFeaturesMissingMessage =
    "Not enough memory for the image features of this volume: computations that read them are "
    "refused until the mode is entered again.";

// The features of channels ch[0..channels-1] (W*H*D values each) with their ranges lo/hi:
// features 1..channels; null for the others.  Three channels are R, G, B and become L*, a*, b*,
// each mapped to [0, 1] over its own range (a flat one to 0).  Every feature is smoothed with
// three passes.  Throws std::bad_alloc when memory runs out.
void t_buildFeatureVolumes(int W, int H, int D, int channels, const float* const ch[3], const double lo[3],
                           const double hi[3], TFeatureVolume out[3]);
