#pragma once
// An RGBA picture in main memory together with the GL 2-D texture made from it (the 2-D transfer
// function, bitmap slices).  Pixel (x, y) at 4 * (y * W + x), row 0 is the top row.
#include <cstdint>
#include <string>

class TGLContextHost;

class TOGL2DImage {
 public:
  static constexpr unsigned int kNoTexture = 0xFFFFFFFFu;

  uint8_t* data = nullptr;         // W x H x 4 bytes, R, G, B, A
  unsigned int texName = kNoTexture;
  int W = 0;
  int H = 0;
  bool linear = true;

  TOGL2DImage() = default;
  ~TOGL2DImage();
  // A copy owns its own pixels and never shares the original's GL texture.
  TOGL2DImage(const TOGL2DImage& src);
  TOGL2DImage& operator=(const TOGL2DImage& src);

  void clear(TGLContextHost* context = nullptr);
  void unbind(TGLContextHost* context = nullptr);
  // W x H pixels of zero bytes (after clear); a zero size leaves the picture empty.
  void allocate(int w, int h, TGLContextHost* context = nullptr);

  // Reads an image file through the installed picture codec (platform/ImageCodec.h: BMP, and
  // whatever else the application's codec knows).  Grey pixels give (g, g, g, 128), colour
  // pixels (R, G, B, 128); palette images give their palette colours.
  // *bottomUp reports whether the file stores its rows bottom first (may be null).  False when
  // the file cannot be read; the picture is then unchanged.
  bool allocateFromFile(const std::string& path, bool* bottomUp, TGLContextHost* context = nullptr);
  // Writes the picture as a 24-bit BMP whatever the extension; false when it cannot be written.
  bool saveAsFile(const std::string& path) const;

  // GL (kvolume_gl): binds, creating and uploading the texture on first use.
  void bindTexture();
};
