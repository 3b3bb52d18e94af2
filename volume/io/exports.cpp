// Exports of the loaded volume and the mask.
#include <cfloat>
#include <cstdio>
#include <new>
#include <string>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/Image3D.h"
#include "volume/TextureManager.h"
#include "volume/io/exports.h"
#include "volume/replace_file.h"
#include "volume/tiff_write.h"
#include "volume/volume_export.h"

#include <sys/stat.h>

namespace {

// Share of the bar for filling the images the TIFF exports write; the writer fills the rest.
constexpr int kFillPercent = 20;

// Saves one slice picture as a 24-bit BMP beside its name and puts it in place only when it is
// complete, so that a failed write never leaves a cut-off file where an earlier one was.  The
// picture writer buffers its output and may report success after a short write; the length of
// the written file is checked against the size a 24-bit BMP of W x H must have.
bool saveSliceBmp(const TOGL2DImage& picture, const std::string& name) {
  TReplaceFile file(name);
  if (!file.ok()) return false;
  if (!picture.saveAsFile(file.tempPath())) return false;
  const long long rowBytes = (3LL * picture.W + 3) / 4 * 4;
  struct stat st;
  if (stat(file.tempPath().c_str(), &st) != 0 || st.st_size != 54 + rowBytes * picture.H)
    return false;
  return file.commit();
}

// Allocates images of W x H x D; false with a message when memory runs out.
bool allocateImages(Image3D* const* images, int count, int W, int H, int D) {
  try {
    for (int k = 0; k < count; ++k) images[k]->allocate(W, H, D);
  } catch (const std::bad_alloc&) {
    t_warn("There is not enough memory to export a volume of " + std::to_string(W) + " x " +
           std::to_string(H) + " x " + std::to_string(D) + " voxels.");
    return false;
  }
  return true;
}

// Every export carries the pitch of the volume as the rendering panel holds it.
void setPitch(const TextureManager& tm, Image3D* const* images, int count) {
  double pitch[3];
  tm.getPitch(pitch);
  for (int k = 0; k < count; ++k) {
    images[k]->pitchX = pitch[0];
    images[k]->pitchY = pitch[1];
    images[k]->pitchZ = pitch[2];
  }
}

// image[z][H-1-y][x] := f(voxel index of (x, y, z)).
template <class F>
void fillFlipped(Image3D& image, F f) {
  const int W = image.W, H = image.H, D = image.D;
#pragma omp parallel for schedule(static)
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y) {
      double* row = image.voxels[z][H - 1 - y];
      const int64_t base = (int64_t(z) * H + y) * W;
      for (int x = 0; x < W; ++x) row[x] = f(base + x);
    }
}

}  // namespace

bool t_exportVolumeTif(const TextureManager& tm, const std::string& path) {
  const float *val1 = tm.val1, *val2 = tm.val2, *val3 = tm.val3;
  const int channelCount = tm.channelCount;
  if (!val1) return false;
  const int W = tm.getW(), H = tm.getH(), D = tm.getD();
  // One image per distinct channel: a channel repeated in the samples is one image passed twice.
  Image3D c1, c2, c3, zero;
  const bool has2 = channelCount >= 2 && val2, has3 = channelCount >= 3 && val3;
  const bool needZero = channelCount >= 2 && !(has2 && has3);
  Image3D* need[4];
  int n = 0;
  need[n++] = &c1;
  if (has2) need[n++] = &c2;
  if (has3) need[n++] = &c3;
  if (needZero) need[n++] = &zero;
  TProgressScope progress(kExportProgressCaption);
  if (!allocateImages(need, n, W, H, D)) return false;
  setPitch(tm, need, n);
  progress.part(0, kFillPercent);
  int filled = 0;
  fillFlipped(c1, [&](int64_t i) { return double(val1[i]); });
  progress.step(++filled, n);
  if (has2) {
    fillFlipped(c2, [&](int64_t i) { return double(val2[i]); });
    progress.step(++filled, n);
  }
  if (has3) {
    fillFlipped(c3, [&](int64_t i) { return double(val3[i]); });
    progress.step(++filled, n);
  }
  if (zero.hasVoxels()) fillFlipped(zero, [](int64_t) { return 0.0; });
  progress.part(kFillPercent, 100);
  TTiffIO target(path);
  if (channelCount == 1) return t_writeTiff(target, c1, c1, c1, DBL_MAX, -DBL_MAX, 64, &progress);
  return t_writeTiff(target, c1, has2 ? c2 : zero, has3 ? c3 : zero, DBL_MAX, -DBL_MAX, 64, &progress);
}

bool t_exportVolumeTifChannels(const TextureManager& tm, const std::string& path) {
  if (!tm.val1) return false;
  const int W = tm.getW(), H = tm.getH(), D = tm.getD();
  double lo[3], hi[3];
  t_exportWindows(tm, lo, hi);
  const int channels = tm.channelCount;
  Image3D img[3];
  Image3D* need[3] = {&img[0], &img[1], &img[2]};
  const int count = channels == 1 ? 1 : 3;
  TProgressScope progress(kExportProgressCaption);
  if (!allocateImages(need, count, W, H, D)) return false;
  setPitch(tm, need, count);
  progress.part(0, kFillPercent);
  for (int c = 0; c < count; ++c) {
    const float* v = c < channels ? tm.channelValues(c) : nullptr;
    if (v)
      fillFlipped(img[c], [&](int64_t i) { return t_exportWindowMap(v[i], lo[c], hi[c]); });
    else
      fillFlipped(img[c], [](int64_t) { return 0.0; });
    progress.step(c + 1, count);
  }
  progress.part(kFillPercent, 100);
  TTiffIO target(path);
  if (count == 1) return t_writeTiff(target, img[0], img[0], img[0], 255, 0, 8, &progress);
  return t_writeTiff(target, img[0], img[1], img[2], 255, 0, 8, &progress);
}

bool t_exportSlicesBmp(const TextureManager& tm, const std::string& prefix) {
  const float *val1 = tm.val1, *val2 = tm.val2, *val3 = tm.val3;
  const int channelCount = tm.channelCount;
  if (!val1) return false;
  const int W = tm.getW(), H = tm.getH(), D = tm.getD();
  double lo[3], hi[3];
  t_exportWindows(tm, lo, hi);
  const float* v[3] = {val1, channelCount >= 2 ? val2 : nullptr,
                       channelCount >= 3 ? val3 : nullptr};
  if (channelCount == 1) v[1] = v[2] = val1;
  const double* wlo = lo;
  const double* whi = hi;
  // With one channel all three colours show channel 1 through its own window.
  double lo1[3] = {lo[0], lo[0], lo[0]}, hi1[3] = {hi[0], hi[0], hi[0]};
  if (channelCount == 1) wlo = lo1, whi = hi1;
  TProgressScope progress(kExportProgressCaption);
  TOGL2DImage picture;
  picture.allocate(W, H);
  int failed = 0;
  std::string firstFailed;
  for (int z = 0; z < D; ++z) {
    for (int y = 0; y < H; ++y) {
      uint8_t* row = picture.data + int64_t(H - 1 - y) * W * 4;
      const int64_t base = (int64_t(z) * H + y) * W;
      for (int x = 0; x < W; ++x)
        for (int c = 0; c < 3; ++c)
          row[4 * x + c] = v[c] ? uint8_t(int(t_exportWindowMap(v[c][base + x], wlo[c], whi[c]))) : 0;
      for (int x = 0; x < W; ++x) row[4 * x + 3] = 0;
    }
    const std::string name = prefix + std::to_string(z) + ".bmp";
    if (!saveSliceBmp(picture, name)) {  // one bad slice does not stop the others
      if (failed++ == 0) firstFailed = name;
    }
    progress.step(z + 1, D);
  }
  picture.clear();
  progress.end();
  if (failed) {
    t_warn(std::to_string(failed) + " of " + std::to_string(D) +
           " slice files could not be written, the first:\n" + firstFailed);
    return false;
  }
  return true;
}

bool t_exportMaskTif(const TextureManager& tm, const std::string& path) {
  const TOGL3DImage& m = tm.volMask;
  if (m.empty()) return false;
  Image3D img;
  Image3D* need[1] = {&img};
  TProgressScope progress(kExportProgressCaption);
  if (!allocateImages(need, 1, m.W, m.H, m.D)) return false;
  setPitch(tm, need, 1);
  fillFlipped(img, [&](int64_t i) { return double(m.data[i]); });
  progress.step(kFillPercent, 100);
  progress.part(kFillPercent, 100);
  TTiffIO target(path);
  return t_writeTiff(target, img, img, img, 255, 0, 8, &progress);
}

bool t_resampleAndExportAsking(TextureManager& tm, const std::string& path) {
  double oldPitch[3], newPitch[3];
  tm.getPitch(oldPitch);
  for (int a = 0; a < 3; ++a) newPitch[a] = oldPitch[a];
  if (!t_askResamplePitch(oldPitch, newPitch)) return false;  // cancelled: nothing is written
  return t_resampleAndExport(tm, path, oldPitch, newPitch);
}
