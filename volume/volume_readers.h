#pragma once
// Readers of the volume file types that t_loadVolume (volume/io/load.h) dispatches to (besides
// ".sph", DICOM and ".muxa", which have their own files), the grey-or-colour question and the
// 8-bit row flip.  Every reader gives W, H, D and new[]-allocated float value volumes
// (voxel (x, y, z) at z*W*H + y*W + x, rows in file order) and returns true, or shows the user
// why the file cannot be read and returns false with nothing allocated.
#include <string>
#include <vector>

class TOGL3DImage;

// Multi-page TIFF as one channel (the largest of the three samples of a colour file).  pitch,
// when given, receives the voxel pitch of our pitch tags when the file carries them and is left
// alone otherwise.
bool t_loadVolTIFgry(const std::string& path, int* W, int* H, int* D, float** values,
                     double pitch[3] = nullptr);
// Multi-page colour TIFF as three channels.
bool t_loadVolTifColor(const std::string& path, int* W, int* H, int* D, float** red, float** green,
                       float** blue, double pitch[3] = nullptr);

// Stacks of picture files (BMP and the other formats of the image codec), one per slice; the
// first (red) byte of every pixel, or all three colour bytes.  Both empty the list.
bool t_loadVolBmpGray(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** values);
bool t_loadVolBmpColor(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** red,
                       float** green, float** blue);

// Stack of headerless square slices of signed 16-bit little-endian samples stored column by
// column; side = (int)sqrt(file size / 2).  Empties the list.
bool t_loadVolRaw16(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** values);

// ".traw3D_ss": int32 W, H, D; float64 pitch x, y, z; W*H*D int16 voxels (little-endian).
bool t_loadVolTraw3dSs(const std::string& path, int* W, int* H, int* D, float** values,
                       double pitch[3]);

// Asks whether to load as grey ("輝度値", IDYES = 6) or colour ("Color ", IDNO = 7).
int t_askGrayOrColor(const std::string& message);
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Reverses the row order (y <-> H-1-y) of every slice of an 8-bit volume; nothing without voxels.
void t_flipVolumeY(TOGL3DImage& image);
void t_flipVolumeY(TOGL3DImage* image);

// A message of the volume loaders: OK button, no icon.
void t_fileMessage(const std::string& text);
