#pragma once
// The application core: the current interaction mode and its id, mode switching, the start-up
// command line, the z-flip flag and the plug-in mode of the host application.
//
// TCore reaches the volume holder, the mask-ID table and the panels through a TCoreWiring that the
// application installs at start-up (app/core_wiring.cpp); tests install their own.  The mode
// objects come from the mode registry (core/ModeRegistry.h).
#include <functional>
#include <string>
#include <vector>

class TModeState;

struct TCoreWiring {
  // Volume holder: loads files (empty list and type 0: the placeholder volume) and reports the
  // pitch and each channel's value range; false when the file could not be read and the
  // default volume was installed instead.  The channel count afterwards.
  std::function<bool(const std::vector<std::string>& files, int fileType, double pitch[3],
                     double minValues[3], double maxValues[3])>
      loadVolume;
  std::function<int()> channelCount;
  // Mask-ID table after a load: empty table for the volume, or the regions of a combined file.
  std::function<void()> resetMaskForVolume;
  std::function<void()> setMaskFromCombinedFile;
  // Transfer functions back to their defaults (in the main view's GL context).
  std::function<void()> resetTransferFunctions;
  // Rendering panel after a load: controls, pitch fields, transfer-function picture.
  std::function<void(const double pitch[3])> visParamAfterLoad;
  // Window-level panel after a load.
  std::function<void(int channels, const double minValues[3], const double maxValues[3])>
      winLvSetChannels;
  // The graph-cut mode forgets its pre-computation (built if needed).
  std::function<void()> graphCutResetForNewVolume;
  // Z flip of the voxels and of the region surfaces.
  std::function<void()> flipZVolume;
  std::function<void()> flipZMaskSurfaces;
  // Mask files: the current ".ksmask2" and the older ".ksmask"; false when refused (the user
  // has been told and nothing changed).
  std::function<bool(const std::string& path)> loadMaskFile;
  std::function<bool(const std::string& path)> loadOldMaskFile;
  // Writes the mask as an 8-bit TIFF; false when the file could not be written.
  std::function<bool(const std::string& path)> exportMaskTif;
  // Places the visible panels beside the main frame (no-op without a frame).
  std::function<void()> placeModeDialogs;
  // Moves the rendering panel to (x, y) when visible; returns its height (also when hidden), or
  // -1 while the panel is not initialised (then nothing is placed).
  std::function<int(int x, int y)> placeRenderingPanel;
};

class TCore {
 public:
  static TCore& getInst();
  // Replaces the wiring (at start-up; tests at will).  Without one, every hook is absent.
  static void setWiring(const TCoreWiring& wiring);
  static TCoreWiring& wiring();

  // Switches to a registered mode id: hides every mode panel, stores the mode and its id, calls its
  // OnSwitched (which may switch again to mode 3), then places the panels.
  void setMode(int id);
  // The common tail of every volume load.
  void initAfterLoad(const double pitch[3], const double minValues[3], const double maxValues[3],
                     int fileType);
  // Command line at start-up: [volume [pitchX pitchY pitchZ [pluginOutput]]].
  void initApplication(int argc, const char* const* argv);
  // File commands.  A volume load clears the z flip, resets or fills the mask, and switches to
  // mode 0 (mode 3 for a combined file).  A mask load reads the file in file order (inside the
  // z-flip wrap); the caller switches modes and redraws.
  void loadVolume(const std::string& path);
  void loadMask(const std::string& path);
  // The volume type of a file command by the last four characters: 2 TIFF, 1 ".sph",
  // 7 ".muxa", 6 ".traw3D_ss", else 0.
  static int volumeTypeOfName(const std::string& name);

  // In plug-in mode writes the mask for the host (with the stack unflipped); false when that
  // write failed (the user has been told).  True otherwise.
  bool finishPlugin();
  // For modes that cannot work on a flipped stack: undoes the flip and clears the flag.
  void releaseZFlipTemporarily();
  // Stops the worker threads of every mode object (at exit, before any data is freed).
  void stopAllWorkers();

  // The file type of a command-line volume by the last four characters of its name:
  // 2 TIFF, 1 ".sph", 7 combined ".muxa", else 0.
  static int fileTypeOfName(const std::string& name);

  TModeState* state = nullptr;  // never null after construction
  int modeId = 1;
  bool zFlipped = false;
  bool pluginMode = false;
  std::string pluginOutPath;

 private:
  TCore();
  ~TCore();
  TCore(const TCore&) = delete;
  TCore& operator=(const TCore&) = delete;
};
