#pragma once
// Exports of the holder's volume and mask.  Every export reverses the row order of the slices
// (undoing the reversal of the loaders), so that files keep the orientation they were read in.
// All return true on success.
#include <string>

class TextureManager;

// The channel values as 64-bit floats: one channel as one sample, two or three as RGB (a missing
// channel as zeros).
bool t_exportVolumeTif(const TextureManager& tm, const std::string& path);
// The channels through the export window as 8-bit samples (one, or three for RGB).
bool t_exportVolumeTifChannels(const TextureManager& tm, const std::string& path);
// One 24-bit BMP per slice, named prefix + z + ".bmp".
bool t_exportSlicesBmp(const TextureManager& tm, const std::string& prefix);
// The mask as 8-bit samples.
bool t_exportMaskTif(const TextureManager& tm, const std::string& path);
// Asks the user for the new pitch, then resamples and writes (see t_resampleAndExport in
// volume/volume_export.h); false, writing nothing, when the question is cancelled.
bool t_resampleAndExportAsking(TextureManager& tm, const std::string& path);
