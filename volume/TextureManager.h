#pragma once
// The one loaded volume and everything derived from it: float values of up to three channels,
// their 8-bit window-levelled textures, the gradient magnitude, the work (flag) volume of the
// segmentation modes, the mask, histograms for the transfer-function editors, three
// pseudo-colour tables and the transfer functions.  All volumes share W x H x D; voxel (x, y, z)
// at x + W * (y + H * z).  The rest of the system reads and writes the fields directly; whoever
// changes the voxels of a texture image calls its unbind() so that the next draw uploads them.
#include <functional>
#include <string>
#include <vector>

#include "volume/TOGL1DImage.h"
#include "volume/TOGL2DImage.h"
#include "volume/TOGL3DImage.h"
#include "volume/TransFunc_1D.h"
#include "volume/TransFunc_2D.h"
#include "volume/app_paths.h"
#include "volume/volume_values.h"

class TGLContextHost;

class TextureManager {
 public:
  // Histogram indices into hist.
  enum { HIST_CH1 = 0, HIST_CH2 = 1, HIST_CH3 = 2, HIST_MEAN = 3, HIST_GRAD = 4 };

  std::string filePath;        // loaded volume; empty for the default volume
  int channelCount = 1;        // 1 to 3

  TOGL3DImage vol1;            // channel 1, 8-bit window-levelled; its W, H, D are the volume size
  TOGL3DImage vol2;            // channel 2
  TOGL3DImage vol3;            // channel 3
  TOGL3DImage volFlag;         // work volume: 0 not target, 1 target, 255 extracted
  TOGL3DImage volGrad;         // 8-bit gradient magnitude
  TOGL3DImage volMask;         // region id per voxel, 0 = background

  float* val1 = nullptr;       // channel values, W*H*D floats each (null when not loaded)
  float* val2 = nullptr;
  float* val3 = nullptr;
  float* valGrad = nullptr;    // gradient magnitude / its maximum, in [0, 1]

  double hist[5][256];         // log histograms normalised to [0, 1]: ch1, ch2, ch3, mean, gradient
  std::vector<double> histJoint;  // 256 x 256, index meanBin * 256 + gradientBin

  TOGL1DImage pseudoColor[3];  // from shader/psued1.bmp, psued2.bmp, psued3.bmp
  TransFunc_1D tfIG;           // intensity-gradient rendering ("KS_VIS_IG")
  TransFunc_1D tfI;            // intensity rendering ("KS_VIS_I")
  TransFunc_2D tf2D;           // 2-D transfer function ("KS_VIS_IG2D")

  // The one holder, built on first use, destroyed at program exit.
  static TextureManager& getInst();

  // Public so that tests can build their own holders; the program uses getInst().
  TextureManager();
  ~TextureManager();
  TextureManager(const TextureManager&) = delete;
  TextureManager& operator=(const TextureManager&) = delete;

  // Volume size; 1 x 1 x 1 when channel 1 has no voxels.
  int getW() const { return vol1.data ? vol1.W : 1; }
  int getH() const { return vol1.data ? vol1.H : 1; }
  int getD() const { return vol1.data ? vol1.D : 1; }
  void getSize(int& W, int& H, int& D) const { W = getW(); H = getH(); D = getD(); }
  float* channelValues(int c) const { return c == 0 ? val1 : c == 1 ? val2 : c == 2 ? val3 : nullptr; }
  TOGL3DImage& channelTexture(int c) { return c == 0 ? vol1 : c == 1 ? vol2 : vol3; }

  // Recomputes hist and histJoint from the 8-bit textures.
  void updateHistogram();
  // minimum[c], maximum[c] per channel: refills the 8-bit channel textures from the values,
  // recomputes the histograms and tells the histogram listener.
  void applyWindowLevel(const double* minimum, const double* maximum);
  // Reverses the slice order of every volume and drops all six GL textures.
  void flipZ();
  // (Re)builds valGrad and volGrad from the channel values.
  void computeGradientVolume(int W, int H, int D, int channels);

  // Loading, the ".muxa" file and the exports are free functions over the holder in volume/io/
  // (library kvolume_io, above the readers and the region libraries).

  // Voxel pitch of the current volume, held by the rendering panel, which registers itself
  // here; (1, 1, 1) while nobody is registered.
  void setPitchSource(std::function<void(double[3])> source);
  void getPitch(double pitch[3]) const;
  // Called after the histograms changed through applyWindowLevel (the rendering panel rebuilds
  // its transfer-function pictures).
  void setHistogramListener(std::function<void()> listener);
  void notifyHistogramChanged() const;

 private:
  std::function<void(double[3])> m_pitchSource;
  std::function<void()> m_histogramListener;
};
