#pragma once
// What TModeState::selectTargetRegions and selectIdForRegion need of the volume holder and the
// mask-ID table.  The application installs the real one; tests install a small fake.
#include <cstddef>
#include <cstdint>

class TModeRegionData {
 public:
  virtual ~TModeRegionData() = default;
  // Voxel count of the mask (0 when it has no voxels) and the two byte volumes of that size.
  virtual std::size_t maskVoxelCount() = 0;
  virtual std::uint8_t* flagVoxels() = 0;   // working flag volume
  virtual std::uint8_t* maskVoxels() = 0;   // region id per voxel
  // Drop the GL textures so that the next frame uploads the changed voxels.
  virtual void dropFlagTexture() = 0;
  virtual void dropMaskTexture() = 0;
  virtual bool isIdUsed(int id) = 0;
  // Marks id used with opacity 200 and surface rendering off, rebuilds its surface (sampling 1,
  // three passes of each smoothing) and refreshes the colour texture.
  virtual void commitRegion(int id) = 0;
  // A used id whose voxels were partly taken by another region: its surface is built again.
  virtual void rebuildRegionSurface(int id) {}
  // A used id that has no voxels left: it becomes unused and loses its surface; its colour and
  // opacity stay as the user set them.
  virtual void releaseRegion(int id) {}

  // The loaded volume's values for the modes' kernels: size, channel values and gradient
  // magnitude (W*H*D floats each), each channel's data range and the voxel pitch.  False (and
  // nothing set) without a volume.
  struct VolumeValues {
    int W = 0, H = 0, D = 0;
    int channels = 0;
    const float* ch[3] = {nullptr, nullptr, nullptr};
    const float* gradient = nullptr;
    double rangeLo[3] = {0, 0, 0};
    double rangeHi[3] = {0, 0, 0};
    double pitch[3] = {1, 1, 1};
  };
  virtual bool volumeValues(VolumeValues& out) { return false; }
};

void t_setModeRegionData(TModeRegionData* data);
TModeRegionData* t_modeRegionData();

// Helpers over the installed region data (no-ops without one).
// Every flag := value; the flag texture is dropped.
void t_fillFlags(std::uint8_t value);
// flag := inside where the mask holds id, else outside; the flag texture is dropped.
void t_flagsFromMaskId(int id, std::uint8_t inside, std::uint8_t outside);
