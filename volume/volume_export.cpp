#include "volume/volume_export.h"

#include <omp.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <new>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/Image3D.h"
#include "volume/TextureManager.h"
#include "volume/tiff_write.h"
#include "volume/volume_filters.h"
#include "volume/volume_values.h"

namespace {

TExportWindowSource& windowSource() {
  static TExportWindowSource source;
  return source;
}

TResamplePitchAsker& pitchAsker() {
  static TResamplePitchAsker asker;
  return asker;
}

}  // namespace

void t_setExportWindowSource(TExportWindowSource source) { windowSource() = std::move(source); }

void t_exportWindows(const TextureManager& tm, double minimum[3], double maximum[3]) {
  if (windowSource()) {
    windowSource()(minimum, maximum);
    return;
  }
  const int W = tm.getW(), H = tm.getH(), D = tm.getD();
  for (int c = 0; c < 3; ++c) {
    minimum[c] = 0.0;
    maximum[c] = 255.0;
    if (c < tm.channelCount && tm.channelValues(c))
      t_getMinMax(W, H, D, tm.channelValues(c), &minimum[c], &maximum[c]);
  }
}

double t_exportWindowMap(double v, double minimum, double maximum) {
  const double width = maximum - minimum;
  if (!(width > 0.0)) return 0.0;
  double t = (v - minimum) / width;
  if (!(t > 0.0)) t = 0.0;  // also a value that is not a number
  if (t > 1.0) t = 1.0;
  return t * 255.0;
}

void t_setResamplePitchAsker(TResamplePitchAsker asker) { pitchAsker() = std::move(asker); }

bool t_askResamplePitch(const double oldPitch[3], double newPitch[3]) {
  if (!pitchAsker()) {
    fprintf(stderr, "resampling export: no pitch dialog is available\n");
    return false;
  }
  return pitchAsker()(oldPitch, newPitch);
}

int t_resampledSize(int size, double oldPitch, double newPitch) {
  const double s = size * oldPitch / newPitch;
  if (!(s >= 0.0)) return 0;
  return s >= 2147483647.0 ? 2147483647 : static_cast<int>(s);
}

bool t_resampleAndExport(TextureManager& tm, const std::string& path, const double oldPitch[3],
                         const double newPitch[3]) {
  fprintf(stderr, "%f %f %f\n", oldPitch[0], oldPitch[1], oldPitch[2]);
  fprintf(stderr, "%f %f %f\n", newPitch[0], newPitch[1], newPitch[2]);
  for (int a = 0; a < 3; ++a)
    if (!(std::isfinite(newPitch[a]) && newPitch[a] > 0.0 && std::isfinite(oldPitch[a]) &&
          oldPitch[a] > 0.0)) {
      t_warn("The volume cannot be resampled: every voxel pitch must be a positive number.");
      return false;
    }
  int W = tm.getW(), H = tm.getH(), D = tm.getD();
  const int nW = t_resampledSize(W, oldPitch[0], newPitch[0]);
  const int nH = t_resampledSize(H, oldPitch[1], newPitch[1]);
  const int nD = t_resampledSize(D, oldPitch[2], newPitch[2]);
  fprintf(stderr, "old: %d %d %d, new:%d %d %d\n", W, H, D, nW, nH, nD);
  if (nW < 1 || nH < 1 || nD < 1 || !tm.val1) {
    t_warn("The volume cannot be resampled to " + std::to_string(nW) + " x " + std::to_string(nH) +
           " x " + std::to_string(nD) + " voxels: the new pitch leaves no voxel along an axis.");
    return false;
  }
  const int channels = tm.channelCount < 1 ? 1 : (tm.channelCount > 3 ? 3 : tm.channelCount);
  TProgressScope progress(kExportProgressCaption);
  Image3D img[3];
  try {
    for (int c = 0; c < (channels == 1 ? 1 : 3); ++c) img[c].allocate(nW, nH, nD);
  } catch (const std::bad_alloc&) {
    t_warn("There is not enough memory to resample the volume to " + std::to_string(nW) + " x " +
           std::to_string(nH) + " x " + std::to_string(nD) + " voxels.");
    return false;
  }
  // The file carries the pitch it was resampled to.
  for (Image3D& im : img) {
    im.pitchX = newPitch[0];
    im.pitchY = newPitch[1];
    im.pitchZ = newPitch[2];
  }
  const double px = oldPitch[0], py = oldPitch[1], pz = oldPitch[2];
  // Resampling fills the first half of the bar, writing the second; the calling thread reports.
  progress.part(0, 50);
  std::atomic<int> slicesDone{0};
#pragma omp parallel for schedule(dynamic, 1)
  for (int k = 0; k < nD; ++k) {
    for (int j = 0; j < nH; ++j)
      for (int i = 0; i < nW; ++i) {
        const double pos[3] = {(i + 0.5) * newPitch[0], (j + 0.5) * newPitch[1],
                               (k + 0.5) * newPitch[2]};
        for (int c = 0; c < 3; ++c) {
          if (!img[c].hasVoxels()) continue;
          const float* v = c < channels ? tm.channelValues(c) : nullptr;
          img[c].voxels[k][nH - 1 - j][i] =
              v ? t_sampleTrilinear(&W, &H, &D, &px, &py, &pz, pos, v) : 0.0;
        }
      }
    const int done = ++slicesDone;
    if (omp_get_thread_num() == 0) progress.step(done, nD);
  }
  progress.part(50, 100);
  TTiffIO target(path);
  const bool written = channels == 1
                           ? t_writeTiffDouble(target, img[0], &progress)
                           : t_writeTiff(target, img[0], img[1], img[2], DBL_MAX, -DBL_MAX, 64, &progress);
  if (!written) return false;  // the writer has told the user why
  progress.end();
  char text[128];
  snprintf(text, sizeof text, "export new volume %d %d %d", nW, nH, nD);
  t_info(text);
  return true;
}
