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
};

// Where a name comes from; each ending is accepted only where the table says.
enum TFileSource : unsigned {
  kFromCommandLine = 1u,
  kFromVolumeCommand = 2u,
  kFromMaskCommand = 4u,
  kFromDrop = 8u,
};

TFileKind t_fileKindOf(const std::string& name, TFileSource from);
// The loader's volume type of a volume kind (1, 2, 6, 7); 0 for every other kind.
int t_volumeTypeOf(TFileKind kind);
bool t_isVolumeKind(TFileKind kind);
