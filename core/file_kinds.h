#pragma once
// The one table of file kinds: which name endings the command line, the file commands and drops
// on the main view accept, and what each loads.  Endings are compared exactly, letter case as
// listed.
#include <string>

enum class TFileKind {
  None,
  VolumeSph,        // ".sph"             volume type 1
  VolumeTiff,       // ".tif"             volume type 2
  VolumeTraw,       // ".traw3D_ss"       volume type 6
  VolumeMuxa,       // ".muxa"            volume type 7 (volume, channels and regions)
  Mask,             // ".ksmask2"
  MaskOld,          // ".ksmask"
  Camera,           // ".kscam"
  CameraTransFunc,  // ".kscamtf"
  SliceBmp,         // ".bmp"  slice stack, volume type 3
  SliceDicom,       // ".dcm"  slice stack, volume type 4
  SliceRaw,         // ".raw"  16-bit raw slice stack, volume type 5
};

// Where a name comes from; each ending is accepted only where the table says.
enum TFileSource : unsigned {
  kFromCommandLine = 1u,
  kFromVolumeCommand = 2u,
  kFromMaskCommand = 4u,
  kFromDrop = 8u,
  kFromChannelCommand = 16u,   // second and third channel from one volume file
  kFromSliceCommand = 32u,     // a volume from slice files (the first name decides)
  kFromChannelSlices = 64u,    // second and third channel from slice files
};

TFileKind t_fileKindOf(const std::string& name, TFileSource from);
// The loader's volume type of a volume or slice kind (1..7); 0 for every other kind.
int t_volumeTypeOf(TFileKind kind);
bool t_isVolumeKind(TFileKind kind);
// The volume type of slice files by the first name: 3 BMP, 4 DICOM, 5 raw (not for channels), else 0.
int t_sliceTypeOf(const std::string& firstName, bool forChannel);

// The extension of a file name without its dot ("" when the last path element has none).
std::string t_extensionOf(const std::string& path);
// The save dialogs' rule: when the name's extension is not `ext` (compared exactly), "." + ext
// is appended.
std::string t_withExtension(const std::string& path, const std::string& ext);
