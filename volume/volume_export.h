#pragma once
// Pieces of the volume exports (volume/io/exports.h) that stand on their own: the display window
// of the 8-bit exports, the new-pitch question of the resampling export, and the resampling
// kernel.
#include <functional>
#include <string>

class Image3D;
class TextureManager;

// Caption of the status-bar progress while an export writes ("On Export file").
constexpr int kExportProgressCaption = 19;

// The window [minimum, maximum] of each channel for the 8-bit exports comes from the
// window-level panel, which registers itself here.  While nobody is registered, each channel's
// data range is used.
using TExportWindowSource = std::function<void(double minimum[3], double maximum[3])>;
void t_setExportWindowSource(TExportWindowSource source);
void t_exportWindows(const TextureManager& tm, double minimum[3], double maximum[3]);
// clamp((v - minimum) / (maximum - minimum), 0, 1) * 255; 0 for an empty window.
double t_exportWindowMap(double v, double minimum, double maximum);

// Asks the user for the new pitch of the resampling export (the resampling dialog registers
// itself, filled with oldPitch as both old and new pitch); false when cancelled.  While nobody is
// registered the export cannot run.
using TResamplePitchAsker = std::function<bool(const double oldPitch[3], double newPitch[3])>;
void t_setResamplePitchAsker(TResamplePitchAsker asker);
bool t_askResamplePitch(const double oldPitch[3], double newPitch[3]);

// Resampled size along one axis: (int)(size * oldPitch / newPitch).
int t_resampledSize(int size, double oldPitch, double newPitch);

// Resamples the loaded channels to newPitch by trilinear sampling (rows reversed, as every export
// writes them) and writes them to path: one channel as one-sample 64-bit floats, two or three as
// RGB 64-bit floats (b 0 for two).  Shows "export new volume %d %d %d" when written; false (with a
// message) when the pitch or the new size is not usable or the writer failed.  The status bar shows
// the resampling and the writing.
bool t_resampleAndExport(TextureManager& tm, const std::string& path, const double oldPitch[3],
                         const double newPitch[3]);
