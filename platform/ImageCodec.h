#pragma once
// Reading and writing picture files (bitmap slices, the pseudo-colour tables, slice exports).
// Code below the GUI layer calls t_imageCodec(); the built-in codec reads uncompressed BMP files
// and writes 24-bit BMP files with no window system.  The application installs a Qt-backed codec
// at start-up that reads the other formats too; tests may install their own.
#include <cstdint>
#include <string>
#include <vector>

// W x H pixels of 3 bytes R, G, B, top row first, no row padding.
struct TRgbPicture {
  int W = 0;
  int H = 0;
  std::vector<uint8_t> rgb;
};

class TImageCodec {
 public:
  virtual ~TImageCodec() = default;
  // Reads a picture file as the colours it shows (palette and grey pictures give their palette
  // colours, an alpha channel is ignored).  False, with out unchanged, when the file cannot be
  // read.
  virtual bool read(const std::string& path, TRgbPicture& out) = 0;
  // Writes a 24-bit BMP (bottom row first, rows padded to four bytes) whatever the extension;
  // false when the picture is empty or the file cannot be written completely.
  virtual bool writeBmp(const std::string& path, const TRgbPicture& picture) = 0;
};

// nullptr restores the built-in codec.
void t_setImageCodec(TImageCodec* codec);
TImageCodec& t_imageCodec();

// The built-in codec's two halves, for codecs that add formats on top of it.  The reader knows
// uncompressed BMP files: core and info headers up to V5, 1, 4 and 8 bits with a palette,
// 16 and 32 bits with or without bit masks, 24 bits, bottom-up or top-down.
bool t_readBmp(const std::string& path, TRgbPicture& out);
bool t_writeBmp24(const std::string& path, const TRgbPicture& picture);
