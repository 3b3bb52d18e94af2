#include "view/drop_dispatch.h"

#include <cstdio>

#include "core/TCore.h"
#include "core/file_kinds.h"
#include "platform/Prompt.h"

const char* const kDropRefusalText =
    "ドロップ出来るのは，.tif, .muxa, .sph, .ksmask2, .kscam, .kscamtf のみです";

namespace {
TDropLoaders& loaders() {
  static TDropLoaders l;
  return l;
}
}  // namespace

void t_setDropLoaders(const TDropLoaders& l) { loaders() = l; }

DropAction t_dropActionOf(const std::string& path) {
  switch (t_fileKindOf(path, kFromDrop)) {
    case TFileKind::VolumeSph:
    case TFileKind::VolumeTiff:
    case TFileKind::VolumeMuxa:
      return DropAction::LoadVolume;
    case TFileKind::Mask:
      return DropAction::LoadMask;
    case TFileKind::Camera:
      return DropAction::LoadCamera;
    case TFileKind::CameraTransFunc:
      return DropAction::LoadCameraTransFunc;
    default:
      return DropAction::Refuse;
  }
}

namespace {
// Runs the loader of a recognised file; a kind that cannot be read yet is traced and skipped.
bool run(const std::function<void(const std::string&)>& loader, const std::string& path) {
  if (!loader) {
    std::fprintf(stderr, "no loader for the dropped file %s\n", path.c_str());
    return false;
  }
  loader(path);
  return true;
}
}  // namespace

bool t_dispatchDroppedFiles(const std::vector<std::string>& paths) {
  if (paths.size() != 1) {
    t_info(kDropRefusalText);
    return false;
  }
  const std::string& p = paths[0];
  const TDropLoaders& l = loaders();
  switch (t_dropActionOf(p)) {
    case DropAction::LoadVolume:
      return run(l.loadVolume, p);
    case DropAction::LoadMask:
      if (!l.loadMask) return run(nullptr, p);
      // A refused mask (damaged file, another volume's size, a worker running) keeps the mode.
      if (!l.loadMask(p)) return false;
      TCore::getInst().setMode(3);
      return true;
    case DropAction::LoadCamera:
      return run(l.loadCamera, p);
    case DropAction::LoadCameraTransFunc:
      return run(l.loadCameraTransFunc, p);
    case DropAction::Refuse:
      break;
  }
  t_info(kDropRefusalText);
  return false;
}
