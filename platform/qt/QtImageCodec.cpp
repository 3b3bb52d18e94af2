#include "platform/qt/QtImageCodec.h"

#include <QImage>
#include <QString>

bool TQtImageCodec::read(const std::string& path, TRgbPicture& out) {
  if (t_readBmp(path, out)) return true;
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
