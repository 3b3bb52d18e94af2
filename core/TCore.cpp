#include "core/TCore.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "core/ModeRegistry.h"
#include "core/TModeState.h"
#include "core/file_kinds.h"
#include "platform/Prompt.h"

namespace {

// Stands in for a mode whose library is not part of this program, so that `state` is never null.
class TInertMode : public TModeState {
 public:
  void OnSwitched(int) override {}
  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}
};

TInertMode& inertMode() {
  static TInertMode m;
  return m;
}

std::unique_ptr<TCoreWiring>& wiringStore() {
  static std::unique_ptr<TCoreWiring> w;
  return w;
}

TModeState* modeFor(int id) {
  TModeState* m = TModeRegistry::getInst().modeFor(id);
  return m ? m : &inertMode();
}

// Parses a pitch argument; false when the text is not a positive finite decimal number.
bool parsePitch(const char* text, double& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(v) || v <= 0.0) return false;
  out = v;
  return true;
}

}  // namespace

void TCore::setWiring(const TCoreWiring& w) { wiringStore() = std::make_unique<TCoreWiring>(w); }

TCoreWiring& TCore::wiring() {
  std::unique_ptr<TCoreWiring>& w = wiringStore();
  if (!w) w = std::make_unique<TCoreWiring>();
  return *w;
}

TCore& TCore::getInst() {
  static TCore core;
  return core;
}

TCore::TCore() {
  pluginOutPath.clear();
  std::fprintf(stderr, "constructor TCore    \n");
  // The first mode object; no panel is shown and OnSwitched is not called until a volume is in.
  state = modeFor(1);
  modeId = 1;
  zFlipped = false;
  pluginMode = false;
  std::fprintf(stderr, "constructor TCore Fin\n");
}

TCore::~TCore() = default;

void TCore::setMode(int id) {
  if (!TModeRegistry::getInst().isKnown(id)) {
    std::fprintf(stderr, "TCore::setMode: unknown mode id %d\n", id);
    return;
  }
  modeId = id;
  TCoreWiring& w = wiring();
  for (TModeState* m : TModeRegistry::getInst().allModes()) m->hidePanels();
  state = modeFor(id);
  // A mode that cannot start switches to mode 3 from in here; that inner switch runs completely
  // and leaves state and modeId to mode 3.
  state->OnSwitched(id);
  if (w.placeModeDialogs) w.placeModeDialogs();
}

void TCore::initAfterLoad(const double pitch[3], const double minValues[3],
                          const double maxValues[3], int fileType) {
  TCoreWiring& w = wiring();
  if (w.resetTransferFunctions) w.resetTransferFunctions();
  if (w.visParamAfterLoad) w.visParamAfterLoad(pitch);
  if (w.winLvSetChannels) {
    const int n = w.channelCount ? w.channelCount() : 1;
    w.winLvSetChannels(n, minValues, maxValues);
  }
  setMode(fileType == 7 ? 3 : 0);
}

int TCore::fileTypeOfName(const std::string& name) {
  return t_volumeTypeOf(t_fileKindOf(name, kFromCommandLine));
}

int TCore::volumeTypeOfName(const std::string& name) {
  return t_volumeTypeOf(t_fileKindOf(name, kFromVolumeCommand));
}

namespace {

// Loads one file of the given type and fills the mask from it or resets the mask.  Returns the
// type the rest of the load goes on with: a file that could not be read left the default volume,
// which carries no regions and is shown like any volume (type 0).
int loadOneVolume(TCoreWiring& w, const std::string& path, int fileType, double pitch[3],
                  double minValues[3], double maxValues[3]) {
  const bool loaded = w.loadVolume && w.loadVolume({path}, fileType, pitch, minValues, maxValues);
  if (!loaded) fileType = 0;
  if (fileType == 7) {
    if (w.setMaskFromCombinedFile) w.setMaskFromCombinedFile();
  } else if (w.resetMaskForVolume) {
    w.resetMaskForVolume();
  }
  return fileType;
}

}  // namespace

void TCore::loadVolume(const std::string& path) {
  TCoreWiring& w = wiring();
  zFlipped = false;
  double pitch[3] = {1.0, 1.0, 1.0};
  double minValues[3] = {0, 0, 0};
  double maxValues[3] = {0, 0, 0};
  const int fileType = loadOneVolume(w, path, volumeTypeOfName(path), pitch, minValues, maxValues);
  initAfterLoad(pitch, minValues, maxValues, fileType);
  if (w.graphCutResetForNewVolume) w.graphCutResetForNewVolume();
  std::fprintf(stderr, "%f %f %f\n", minValues[0], minValues[1], minValues[2]);
  std::fprintf(stderr, "%f %f %f\n", maxValues[0], maxValues[1], maxValues[2]);
}

void TCore::loadMask(const std::string& path) {
  if (path.size() < 7) return;
  TCoreWiring& w = wiring();
  const std::string tail = path.substr(path.size() - 7);
  const auto& loader = tail == ".ksmask" ? w.loadOldMaskFile
                       : tail == "ksmask2" ? w.loadMaskFile
                                           : std::function<bool(const std::string&)>();
  if (!loader) return;
  // The file holds the stack in file order; the display may show it flipped.
  if (zFlipped && w.flipZVolume) w.flipZVolume();
  loader(path);
  if (zFlipped && w.flipZVolume) w.flipZVolume();
}

void TCore::initApplication(int argc, const char* const* argv) {
  TCoreWiring& w = wiring();
  zFlipped = false;
  pluginMode = false;

  double pitch[3] = {1.0, 1.0, 1.0};
  double minValues[3] = {0, 0, 0};
  double maxValues[3] = {0, 0, 0};

  std::fprintf(stderr, "init application argument Num= %d\n", argc);

  int fileType = 0;
  if (argc < 2) {
    if (w.loadVolume) w.loadVolume({}, 0, pitch, minValues, maxValues);
    if (w.resetMaskForVolume) w.resetMaskForVolume();
  } else {
    const std::string path = argv[1] ? argv[1] : "";
    fileType = loadOneVolume(w, path, fileTypeOfName(path), pitch, minValues, maxValues);
  }

  if (argc > 4) {
    // The host's pitch replaces the file's; an argument that is not a positive number keeps the
    // file's value for that axis rather than giving the volume a zero or negative extent.
    for (int i = 0; i < 3; ++i) {
      double v;
      if (parsePitch(argv[2 + i], v))
        pitch[i] = v;
      else
        std::fprintf(stderr, "pitch argument \"%s\" is not a positive number: %.6f kept\n",
                     argv[2 + i] ? argv[2 + i] : "", pitch[i]);
    }
  }

  if (argc > 5) {
    t_info("Kestrin runs as MUXA plug-in.\n Kestrinを終了すると領域分割結果が自動的にMUXAへ渡されます.");
    pluginMode = true;
    pluginOutPath = argv[5] ? argv[5] : "";
  }

  initAfterLoad(pitch, minValues, maxValues, fileType);
  if (w.graphCutResetForNewVolume) w.graphCutResetForNewVolume();
}

bool TCore::finishPlugin() {
  if (!pluginMode) return true;
  TCoreWiring& w = wiring();
  // The host gets the stack in file order whatever the display shows.
  if (zFlipped && w.flipZVolume) w.flipZVolume();
  const bool ok = w.exportMaskTif && w.exportMaskTif(pluginOutPath);
  if (zFlipped && w.flipZVolume) w.flipZVolume();
  if (!ok) {
    std::fprintf(stderr, "failed to write the plug-in result %s\n", pluginOutPath.c_str());
    t_warn("The segmentation result could not be written for MUXA:\n" + pluginOutPath);
  }
  return ok;
}

void TCore::releaseZFlipTemporarily() {
  if (!zFlipped) return;
  t_info("一時的にz軸フリップを解除します");
  zFlipped = false;
  TCoreWiring& w = wiring();
  if (w.flipZVolume) w.flipZVolume();
  if (w.flipZMaskSurfaces) w.flipZMaskSurfaces();
}

void TCore::stopAllWorkers() {
  for (TModeState* m : TModeRegistry::getInst().allModes()) m->stopWorkers();
}
