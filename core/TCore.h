#pragma once
// The application core: the current interaction mode and its id, mode switching, the start-up
// command line, the z-flip flag and the plug-in mode of the host application.
//
// TCore reaches the volume holder, the mask-ID table and the panels through a TCoreWiring that the
// application installs at start-up (app/core_wiring.cpp); tests install their own.  The mode
// objects come from the mode registry (core/ModeRegistry.h).
#include <array>
#include <functional>
#include <string>
#include <vector>

class TModeState;

// The main view's look-at camera.
struct TCameraPose {
  double eye[3] = {0, 0, 0};
  double center[3] = {0, 0, 0};
  double up[3] = {0, 1, 0};
};

// A visualisation set-up as a ".kscamtf" file records it: camera, rendering-panel sliders, pitch,
// window levels and the transfer function of one visualisation mode.
struct TVisSetup {
  TCameraPose camera;
  int sliceNumSlider = 0;       // "Slice Num" 0..100
  int transparencySlider = 0;   // "Transparency" 0..100
  double backColor = 0;         // grey of the main view's background, 0..1
  double pitch[3] = {1, 1, 1};
  double winMin[3] = {0, 0, 0};
  double winMax[3] = {0, 0, 0};
  // The transfer-function block: -1 none, 0 intensity, 1 intensity-gradient, 2 two-dimensional.
  int block = -1;
  // Entries of a 1-D function: red, green, blue (mode 0) or bytes 0 and 1 (mode 1, third unused).
  std::vector<std::array<int, 3>> entries1D;
  std::vector<std::array<double, 3>> points2D;
  // A file with more 2-D points is refused.  The editor adds one point per double click and picks
  // an existing point within 6 pixels, so its 256 x 128 box holds about 1,100 points at most;
  // rebuilding the function costs 256 x 256 evaluations per point on the interface thread
  // (4096 points: about a third of a second).
  static constexpr int kMaxPoints2D = 4096;
};

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
  // A mode switch begins (true) and ends (false), before placeModeDialogs: the panels it hides
  // and shows are laid out once, by placeModeDialogs.  Switches nest.
  std::function<void(bool switching)> modeSwitching;
  // Taken (true) when a mode switch begins and let go (false) once it has ended, its layout
  // (placeModeDialogs) and modeChanged included: the switch's own resizes of the views (slice
  // panes shown or hidden, the frame laid out) draw no frame each; the views draw once, after the
  // switch, at their new sizes.  Switches nest.
  std::function<void(bool held)> holdViewFrames;
  // Channel 2 or 3 of the loaded size; false when the file could not be used (nothing changed).
  std::function<bool(int channel, const std::vector<std::string>& files, int fileType,
                     double* minValue, double* maxValue)>
      loadChannel;
  // The window-level panel's row of a loaded channel (1..3).
  std::function<void(int channel, double minValue, double maxValue)> winLvSetRange;
  // Writers; each false when nothing (or not all) was written, the user told why.
  std::function<bool(const std::string& path)> saveMaskFile;
  std::function<bool(const std::string& path)> exportVolumeTif;
  std::function<bool(const std::string& path)> exportVolumeTifChannels;
  std::function<bool(const std::string& base)> exportSlicesBmp;
  std::function<bool(const std::string& path)> saveCombinedFile;
  // The mask voxels of the loaded volume (null without a mask) with its size.
  std::function<unsigned char*(int& W, int& H, int& D)> maskVoxels;
  // After the mask voxels were changed in place: the mask's GL texture goes, the surfaces of
  // the ids marked in `changed` (256 entries) are rebuilt, all views are redrawn.
  std::function<void(const std::vector<unsigned char>& changed)> maskVoxelsChanged;
  // Questions: an integer (TDlgIntSelect) and the surface parameters (TDlgMarchingCubesParam).
  std::function<bool(const std::string& label, int& value)> askInt;
  std::function<bool(int& step, int& umbrellaPasses, int& lmPasses)> askSurfaceParams;
  // Builds the surface of region id (unit cube, mirrored in x) and writes it scaled by the
  // volume's size x pitch to path and unscaled to unitPath; format 0 OBJ, 1 STL.  Reports which
  // of the two files were written.
  std::function<void(int format, int id, int step, int umbrellaPasses, int lmPasses,
                     const std::string& path, const std::string& unitPath, bool& pathWritten,
                     bool& unitWritten)>
      writeRegionSurface;
  // The main view's camera; setting it repaints the main view.
  std::function<bool(TCameraPose& pose)> getCamera;
  std::function<void(const TCameraPose& pose)> setCamera;
  // The visualisation set-up of the current mode (sliders, pitch, window levels, the transfer
  // function of `mode`) and its restoration (the mode already switched when a block is present).
  std::function<void(int mode, TVisSetup& setup)> getVisSetup;
  std::function<void(const TVisSetup& setup)> applyVisSetup;
  std::function<void()> redrawAll;
  // After every mode switch (the frame re-checks its mode commands).
  std::function<void()> modeChanged;
};

class TCore {
 public:
  static TCore& getInst();
  // Whether getInst has built the core yet (the start-up builds it after the panels and modes;
  // what runs before asks this instead of building it early).
  static bool exists();
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
  // What a command is about to change, for the busy gate below.
  enum class Change {
    Data,      // the volume, a channel, the mask, the z flip or the mode
    Geometry,  // the pitch (and with it the extent) while the mode stays
  };
  // The busy text of the first mode whose worker runs on the loaded data (or whose result waits
  // to be taken); for a geometry change also the text of a mode holding state derived from the
  // geometry.  nullptr when the change may go ahead.
  const char* busyMessage(Change change = Change::Data) const;
  // The one gate: every command that changes the volume, its flip, its pitch or the mode (loads
  // of any kind, drops, Flip Stack, smoothing, a pitch edit, a camera file, a save or export that
  // flips the stack, a mode switch) asks it first.  Shows the busy text and returns true while
  // the change is refused: the caller then changes nothing.
  bool refuseWhileBusy(Change change = Change::Data) const;
  // A mode switch the user asked for (the mode menu, a cancelled file dialog): refused through
  // the gate, else setMode.  False when refused.
  bool switchMode(int id);

  // File commands.  Every load is refused (with the mode's busy text) while a worker runs.
  // A volume load clears the z flip, resets or fills the mask, and switches to mode 0 (mode 3
  // for a combined file).  A mask load reads the file in file order (inside the z-flip wrap);
  // the caller switches modes and redraws, and only when it returned true.
  bool loadVolume(const std::string& path);
  bool loadSlices(const std::vector<std::string>& paths);
  bool loadChannelVolume(const std::string& path, int channel);
  bool loadChannelSlices(const std::vector<std::string>& paths, int channel);
  bool loadMask(const std::string& path);
  // Saves and exports write the stack in file order (inside the z-flip wrap); true when written.
  // With the stack flipped they flip the live arrays, so they are refused while a worker runs.
  bool saveMask(const std::string& path);
  bool exportTifMinMax(const std::string& path);
  bool exportTif255(const std::string& path);
  bool exportBmpSlices(const std::string& base);
  bool exportCombinedFile(const std::string& path);
  bool exportMaskTif8(const std::string& path);
  // Surface of one region as OBJ (format 0) or STL (1), with a copy in the unit cube; an id
  // outside 0..255 asks for it.
  void exportRegionMesh(int format, int id);
  // Closing of chosen regions that only adds background voxels (asks regions and size).
  void multiRegionClosing();
  // The closing itself: n dilations then n erosions of the chosen labels (chosen[m] != 0),
  // never touching voxels of other regions; only background voxels take a label.  Returns the
  // ids that gained voxels (256 entries).
  static std::vector<unsigned char> closeRegions(unsigned char* mask, int W, int H, int D,
                                                 const std::vector<unsigned char>& chosen, int n);

  // Camera files.  Loading refuses (with a message, nothing changed) a file with a non-finite
  // number, the eye at the centre, an up vector along the view, or (".kscamtf") a pitch that is
  // not positive.  A ".kscamtf" sets the pitch and the window levels (and with a block the mode),
  // so it goes through the busy gate; a ".kscam" moves only the camera, which no worker reads.
  // Saving returns false when the file could not be written.
  bool saveCamera(const char* path);
  bool loadCamera(const char* path);
  bool saveCameraTransFunc(const char* path);
  bool loadCameraTransFunc(const char* path);
  // The texts of the two camera files and their readers (false with a reason on bad content).
  static std::string cameraText(const TCameraPose& pose);
  static std::string visSetupText(int mode, const TVisSetup& setup);
  static bool parseCamera(const std::string& text, TCameraPose& pose, std::string& why);
  static bool parseVisSetup(const std::string& text, TVisSetup& setup, std::string& why);
  // Slider position <-> stored slice count (100 + 19 per step), rounded both ways.
  static int sliceCountOfSlider(int position);
  static int sliderOfSliceCount(double count);
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
  // The mode a load of this file type starts in: the mask view for a combined file, else mode 0.
  static int startModeFor(int fileType) { return fileType == 7 ? 3 : 0; }

  TModeState* state = nullptr;  // never null after construction
  int modeId = 1;
  bool zFlipped = false;
  bool pluginMode = false;
  std::string pluginOutPath;

 private:
  // Tells the user that a command-line name of no volume kind was not opened.
  static void refuseVolumeName(const std::string& path);
  TCore();
  ~TCore();
  TCore(const TCore&) = delete;
  TCore& operator=(const TCore&) = delete;
};
