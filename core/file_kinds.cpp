#include "core/file_kinds.h"

#include <cstring>

namespace {

struct TFileKindRow {
  const char* ending;
  TFileKind kind;
  unsigned from;
};

constexpr unsigned kVolumeSources = kFromCommandLine | kFromVolumeCommand | kFromDrop;

// The four-letter volume endings match without their dot ("muxa"), as the host application
// names its files.
const TFileKindRow kRows[] = {
    {".tif", TFileKind::VolumeTiff, kVolumeSources},
    {".TIF", TFileKind::VolumeTiff, kVolumeSources},
    {".sph", TFileKind::VolumeSph, kVolumeSources},
    {".SPH", TFileKind::VolumeSph, kVolumeSources},
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
    default: return 0;
  }
}

bool t_isVolumeKind(TFileKind kind) { return t_volumeTypeOf(kind) != 0; }
