#include "view/drop_dispatch.h"

#include "app/TCore.h"
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
  // A name shorter than the longest ending has no 7-character ending to test: never load it.
  if (path.size() < 7) return DropAction::Refuse;
  const std::string e4 = path.substr(path.size() - 4);
  const std::string e5 = path.substr(path.size() - 5);
  const std::string e7 = path.substr(path.size() - 7);
  if (e4 == ".tif" || e4 == ".TIF" || e4 == ".sph" || e4 == ".SPH" || e4 == "muxa" ||
      e4 == "MUXA")
    return DropAction::LoadVolume;
  if (e7 == "ksmask2" || e7 == "KSMASK2") return DropAction::LoadMask;
  if (e5 == "kscam" || e5 == "KSCAM") return DropAction::LoadCamera;
  if (e7 == "kscamtf" || e7 == "KSCAMTF") return DropAction::LoadCameraTransFunc;
  return DropAction::Refuse;
}

bool t_dispatchDroppedFiles(const std::vector<std::string>& paths) {
  if (paths.size() != 1) {
    t_info(kDropRefusalText);
    return false;
  }
  const std::string& p = paths[0];
  const TDropLoaders& l = loaders();
  switch (t_dropActionOf(p)) {
    case DropAction::LoadVolume:
      if (l.loadVolume) l.loadVolume(p);
      return true;
    case DropAction::LoadMask:
      if (l.loadMask) l.loadMask(p);
      TCore::getInst().setMode(3);
      return true;
    case DropAction::LoadCamera:
      if (l.loadCamera) l.loadCamera(p);
      return true;
    case DropAction::LoadCameraTransFunc:
      if (l.loadCameraTransFunc) l.loadCameraTransFunc(p);
      return true;
    case DropAction::Refuse:
      break;
  }
  t_info(kDropRefusalText);
  return false;
}
