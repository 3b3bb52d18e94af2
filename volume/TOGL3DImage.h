#pragma once
// An 8-bit volume in main memory together with the GL 3-D texture made from it (channel
// textures, work volume, gradient, mask).  Voxel (x, y, z) at x + W * (y + H * z).
// Whoever changes the voxels calls unbind(); the next draw uploads them again.
#include <cmath>
#include <cstdint>

class TGLContextHost;

class TOGL3DImage {
 public:
  static constexpr unsigned int kNoTexture = 0xFFFFFFFFu;

  uint8_t* data = nullptr;         // W x H x D bytes
  unsigned int texName = kNoTexture;
  int W = 0;
  int H = 0;
  int D = 0;
  bool linear = true;

  TOGL3DImage() = default;
  ~TOGL3DImage();
  // A copy owns its own voxels and never shares the original's GL texture.
  TOGL3DImage(const TOGL3DImage& src);
  TOGL3DImage& operator=(const TOGL3DImage& src);

  bool empty() const { return data == nullptr; }
  int64_t size() const { return int64_t(W) * H * D; }

  // Texture dropped (context made current around it; null = the main view's), voxels freed,
  // sizes 0.
  void clear(TGLContextHost* context = nullptr);
  // Only the GL texture is dropped; voxels and sizes stay.
  void unbind(TGLContextHost* context = nullptr);
  // clear, then W x H x D zero bytes; a zero size leaves the image empty.
  void allocate(int w, int h, int d, TGLContextHost* context = nullptr);
  // clear, then every byte := (int)(clamp((v - minimum) / (maximum - minimum), 0, 1) * 255).
  // A window of zero width (or a non-finite value) gives 0.
  void allocateFromVolume(int w, int h, int d, const float* values, double minimum, double maximum,
                          TGLContextHost* context = nullptr);

  // GL (kvolume_gl): binds, creating and uploading the texture on first use.  Needs a current
  // context.  Does nothing without voxels.
  void bindTexture();
};

// One byte of a window-levelled value: (int)(clamp((v - minimum) / (maximum - minimum), 0, 1) * 255).
// A window of no width maps values above it to 255 and the rest to 0; NaN maps to 0.
// Inline: the window-level loops call it once per voxel, and a call there halves their speed.
// The cast never sees a value outside [0, 255], whatever the window.
inline uint8_t t_windowLevelByte(double v, double minimum, double maximum) {
  const double range = maximum - minimum;
  if (!(range > 0) || !std::isfinite(range)) return v > maximum ? 255 : 0;
  const double t = (v - minimum) / range;
  if (!(t > 0)) return 0;
  if (t >= 1) return 255;
  return static_cast<uint8_t>(static_cast<int>(t * 255));
}

// Hook through which the plain part deletes GL textures.  kvolume_gl installs it the first time
// it creates a texture; while no texture was ever made there is nothing to delete.
using TGLTextureDeleter = void (*)(unsigned int name);
void t_setTextureDeleter(TGLTextureDeleter deleter);
// Deletes the named texture (when name is not kNoTexture) with the context made current; null
// context means the main view's.
void t_deleteTexture(unsigned int name, TGLContextHost* context);
