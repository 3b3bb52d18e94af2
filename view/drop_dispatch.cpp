#include "view/drop_dispatch.h"

#include <cstdio>

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
      if (!run(l.loadMask, p)) return false;
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
