#pragma once
// What the thresholding and region-growing kernels read and how they answer.
//
// The working flag volume holds one byte per voxel: 0 not eligible, 1 eligible, 255 extracted.
// Channel values and the gradient magnitude are float volumes of the same size; voxel (x, y, z)
// sits at x + W * (y + H * z).
#include <cstddef>
#include <cstdint>
#include <functional>

// The most voxels the kernels take: voxel indices are ints.
constexpr long long kRgrowMaxVoxels = INT32_MAX;

// The loaded volume as the kernels see it.  Channels beyond `channels` are not read; the gradient
// is read only by the threshold tests.
struct TRgrowVolume {
  int W = 0, H = 0, D = 0;
  int channels = 1;
  const float* ch[3] = {nullptr, nullptr, nullptr};
  const float* gradient = nullptr;

  size_t voxelCount() const {
    return W > 0 && H > 0 && D > 0 ? static_cast<size_t>(W) * H * D : 0;
  }
  // Sizes positive, voxel indices within int range, 1 to 3 channels each present.
  bool valid() const {
    if (W <= 0 || H <= 0 || D <= 0 || channels < 1 || channels > 3) return false;
    if (voxelCount() > static_cast<size_t>(kRgrowMaxVoxels)) return false;
    for (int k = 0; k < channels; ++k)
      if (!ch[k]) return false;
    return true;
  }
  // valid() and a gradient volume.
  bool validWithGradient() const { return valid() && gradient != nullptr; }
};

// The eight bounds of a threshold (all included): channel k in [minv[k], maxv[k]] for the channels
// the volume has, gradient magnitude in [gMin, gMax].
struct TRgrowThresholds {
  double minv[3] = {0, 0, 0};
  double maxv[3] = {0, 0, 0};
  double gMin = 0, gMax = 0;
};

// Data range of each channel (minimum and maximum), used to normalise channels for HSV.
struct TRgrowChannelRanges {
  double lo[3] = {0, 0, 0};
  double hi[3] = {0, 0, 0};
};

enum class TRgrowStatus {
  Ok,
  BadInput,      // missing volume, flags or a needed channel; nothing changed
  TooManySeeds,  // more seeds than a run accepts; nothing changed
  OutOfMemory,   // a scratch volume could not be allocated; nothing changed
};

// Volumes below this many voxels are processed on one thread: starting a team costs more.
constexpr long long kRgrowParallelMin = 1 << 18;

// Progress of a long kernel as a fraction 0..1, called on the thread that runs the kernel.
using TRgrowProgress = std::function<void(double fraction)>;

inline void t_rgrowReport(const TRgrowProgress& progress, double fraction) {
  if (progress) progress(fraction);
}
