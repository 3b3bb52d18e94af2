#pragma once
// The picture codec of the application: BMP files as the built-in codec reads them, every other
// format Qt's image plug-ins know (PNG, JPEG, run-length BMP, ...) through QImage.  Installed at
// start-up with t_setImageCodec.
#include "platform/ImageCodec.h"

class TQtImageCodec : public TImageCodec {
 public:
  bool read(const std::string& path, TRgbPicture& out) override;
  bool writeBmp(const std::string& path, const TRgbPicture& picture) override;
};
