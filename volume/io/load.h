#pragma once
// Loading a volume into the holder by file type, and adding a second or third channel.
#include <string>
#include <vector>

class TextureManager;

// Type codes: 1 ".sph", 2 TIFF, 3 BMP stack, 4 DICOM stack, 5 16-bit raw stack, 6 ".traw3D_ss",
// 7 ".muxa"; anything else reads nothing.  Never leaves the holder without a volume: a failed
// read installs the default volume.  Returns true when the file's volume was installed, false
// when the default one was.  colourTable receives the 1024-byte region colour table of a ".muxa"
// file (zeros otherwise).
bool t_loadVolume(TextureManager& tm, const std::vector<std::string>& fileNames, int& type,
                  double pitch[3], double minimum[3], double maximum[3],
                  std::vector<unsigned char>& colourTable);
// Adds channel 2 or 3 of the same size (type 1 to 4); the channel that was there stays as it was
// when the file cannot be used.
bool t_loadChannel(TextureManager& tm, int channel, const std::vector<std::string>& fileNames,
                   int type, double* minimum, double* maximum);
