#pragma once
// Helpers shared by the volume-holder tests: a context host that counts, a texture deleter that
// records, and a way to install a small volume in a holder.
#include <vector>

#include "platform/GLContextHost.h"
#include "volume/TextureManager.h"

struct CountingHost : TGLContextHost {
  bool frame = false;
  int made = 0;
  int done = 0;
  bool inFrame() const override { return frame; }
  void makeCurrent() override { ++made; }
  void doneCurrent() override { ++done; }
};

// Records every texture name the plain part asks to delete, and whether some context was made
// current at that moment (the host under test tells through g_currentHost).
struct DeleteLog {
  static std::vector<unsigned int>& names() {
    static std::vector<unsigned int> n;
    return n;
  }
  static void record(unsigned int name) { names().push_back(name); }
  static void install() {
    names().clear();
    t_setTextureDeleter(&DeleteLog::record);
  }
};

// Puts channel values of W x H x D into the holder the way a loader does: values owned by the
// holder, 8-bit textures through the data range, gradient, zeroed work volume and mask.
inline void installVolume(TextureManager& tm, int W, int H, int D, const std::vector<std::vector<float>>& channels) {
  float** vals[3] = {&tm.val1, &tm.val2, &tm.val3};
  for (int c = 0; c < 3; ++c) {
    delete[] *vals[c];
    *vals[c] = nullptr;
    tm.channelTexture(c).clear();
  }
  tm.channelCount = int(channels.size());
  for (size_t c = 0; c < channels.size(); ++c) {
    float* v = new float[channels[c].size()];
    for (size_t i = 0; i < channels[c].size(); ++i) v[i] = channels[c][i];
    *vals[c] = v;
    double mn, mx;
    t_getMinMax(W, H, D, v, &mn, &mx);
    tm.channelTexture(int(c)).allocateFromVolume(W, H, D, v, mn, mx);
  }
  tm.computeGradientVolume(W, H, D, tm.channelCount);
  tm.volFlag.allocate(W, H, D);
  tm.volMask.allocate(W, H, D);
  tm.updateHistogram();
}
