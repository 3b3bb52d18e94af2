#pragma once
// A volume of doubles with its voxel pitch: the in-memory form of the TIFF reader and writers,
// the ".sph" reader and the resampling export.  Voxels are indexed [z][y][x]: an array of D slice
// pointers, each an array of H row pointers, each row W doubles.
#include <string>

class Image3D {
 public:
  int W = 0;
  int H = 0;
  int D = 0;
  double*** voxels = nullptr;
  double pitchX = 1.0;
  double pitchY = 1.0;
  double pitchZ = 1.0;

  // Empty image (no voxels), pitch (1, 1, 1); the readers fill it themselves.
  Image3D() = default;
  // Allocates W x H x D doubles (values not cleared), pitch (1, 1, 1).
  Image3D(int w, int h, int d);
  virtual ~Image3D();
  Image3D(const Image3D&) = delete;
  Image3D& operator=(const Image3D&) = delete;

  // Frees the voxels and allocates W x H x D doubles (not cleared).  Throws std::bad_alloc when
  // memory runs out (the image is then empty).
  void allocate(int w, int h, int d);
  // Frees rows, then slices, then the slice array; sizes become 0.  The pitch stays.
  void release();
  bool hasVoxels() const { return voxels != nullptr; }

  // Reads a ".sph" volume (volume/sph_reader.cpp).  On any failure the image is left without
  // voxels and *error (when given) holds the reason.
  bool loadSph(const std::string& path, std::string* error = nullptr);
};
