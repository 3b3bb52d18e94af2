#include "core/file_kinds.h"

#include <cstring>

namespace {

struct TFileKindRow {
  const char* ending;
  TFileKind kind;
  unsigned from;
};

constexpr unsigned kVolumeSources = kFromCommandLine | kFromVolumeCommand | kFromDrop;
constexpr unsigned kSliceSources = kFromSliceCommand | kFromChannelSlices;

// The four-letter volume endings match without their dot ("muxa"), as the host application
// names its files.
const TFileKindRow kRows[] = {
    {".tif", TFileKind::VolumeTiff, kVolumeSources | kFromChannelCommand},
    {".TIF", TFileKind::VolumeTiff, kVolumeSources | kFromChannelCommand},
    {".sph", TFileKind::VolumeSph, kVolumeSources | kFromChannelCommand},
    {".SPH", TFileKind::VolumeSph, kVolumeSources | kFromChannelCommand},
    {".bmp", TFileKind::SliceBmp, kSliceSources},
    {".BMP", TFileKind::SliceBmp, kSliceSources},
    {".dcm", TFileKind::SliceDicom, kSliceSources},
    {".DCM", TFileKind::SliceDicom, kSliceSources},
    {".raw", TFileKind::SliceRaw, kFromSliceCommand},
    {".RAW", TFileKind::SliceRaw, kFromSliceCommand},
    {"muxa", TFileKind::VolumeMuxa, kVolumeSources},
    {"MUXA", TFileKind::VolumeMuxa, kVolumeSources},
    {"D_ss", TFileKind::VolumeTraw, kFromVolumeCommand},
    {"ksmask2", TFileKind::Mask, kFromMaskCommand | kFromDrop},
    {"KSMASK2", TFileKind::Mask, kFromDrop},
    {".ksmask", TFileKind::MaskOld, kFromMaskCommand},
    {"kscamtf", TFileKind::CameraTransFunc, kFromDrop},
    {"KSCAMTF", TFileKind::CameraTransFunc, kFromDrop},
    {"kscam", TFileKind::Camera, kFromDrop},
    {"KSCAM", TFileKind::Camera, kFromDrop},
};

bool endsWith(const std::string& s, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

TFileKind t_fileKindOf(const std::string& name, TFileSource from) {
  // A dropped name shorter than the longest ending is never loaded.
  if (from == kFromDrop && name.size() < 7) return TFileKind::None;
  for (const TFileKindRow& r : kRows)
    if ((r.from & from) && endsWith(name, r.ending)) return r.kind;
  return TFileKind::None;
}

int t_volumeTypeOf(TFileKind kind) {
  switch (kind) {
    case TFileKind::VolumeSph: return 1;
    case TFileKind::VolumeTiff: return 2;
    case TFileKind::VolumeTraw: return 6;
    case TFileKind::VolumeMuxa: return 7;
    case TFileKind::SliceBmp: return 3;
    case TFileKind::SliceDicom: return 4;
    case TFileKind::SliceRaw: return 5;
    default: return 0;
  }
}

bool t_isVolumeKind(TFileKind kind) {
  switch (kind) {
    case TFileKind::VolumeSph:
    case TFileKind::VolumeTiff:
    case TFileKind::VolumeTraw:
    case TFileKind::VolumeMuxa:
      return true;
    default:
      return false;
  }
}

int t_sliceTypeOf(const std::string& firstName, bool forChannel) {
  return t_volumeTypeOf(t_fileKindOf(firstName, forChannel ? kFromChannelSlices : kFromSliceCommand));
}

std::string t_extensionOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return path.substr(dot + 1);
}

std::string t_withExtension(const std::string& path, const std::string& ext) {
  if (t_extensionOf(path) == ext) return path;
  return path + "." + ext;
}
