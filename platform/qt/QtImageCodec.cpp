#include "platform/qt/QtImageCodec.h"

#include <QImage>
#include <QString>
#include <cstdio>

namespace {

// True for a BMP whose pixels are stored uncompressed.  The built-in reader reads every such
// picture; one it refuses is damaged or cut short, and Qt would fill the rows missing from the
// file with whatever its memory held.
bool isUncompressedBmp(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char h[34];
  const size_t n = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  if (n < 18 || h[0] != 'B' || h[1] != 'M') return false;
  const uint32_t dibSize = h[14] | h[15] << 8 | h[16] << 16 | uint32_t(h[17]) << 24;
  if (dibSize == 12) return true;  // the old core header has no compression field
  if (n < 34) return true;         // too short to say otherwise: damaged
  const uint32_t compression = h[30] | h[31] << 8 | h[32] << 16 | uint32_t(h[33]) << 24;
  return compression == 0 || compression == 3 || compression == 6;
}

}  // namespace

bool TQtImageCodec::read(const std::string& path, TRgbPicture& out) {
  if (t_readBmp(path, out)) return true;
  if (isUncompressedBmp(path)) {
    std::fprintf(stderr, "picture refused: %s: the BMP file is damaged or its pixel data are cut short\n",
                 path.c_str());
    return false;
  }
  QImage src;
  if (!src.load(QString::fromStdString(path)) || src.isNull()) return false;
  // Palette, grey, 16-bit and 24/32-bit pictures all resolve to their displayed colours here.
  const QImage rgb = src.convertToFormat(QImage::Format_RGB32);
  if (rgb.isNull()) return false;
  TRgbPicture pic;
  pic.W = rgb.width();
  pic.H = rgb.height();
  pic.rgb.resize(size_t(pic.W) * size_t(pic.H) * 3);
  for (int y = 0; y < pic.H; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uint8_t* o = &pic.rgb[size_t(y) * size_t(pic.W) * 3];
    for (int x = 0; x < pic.W; ++x) {
      o[3 * x] = uint8_t(qRed(line[x]));
      o[3 * x + 1] = uint8_t(qGreen(line[x]));
      o[3 * x + 2] = uint8_t(qBlue(line[x]));
    }
  }
  out = std::move(pic);
  return true;
}

bool TQtImageCodec::writeBmp(const std::string& path, const TRgbPicture& picture) {
  return t_writeBmp24(path, picture);
}
