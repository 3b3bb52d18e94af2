// Renders 100 frames of a 256^3 volume in visualisation mode 0 at the default slice count into
// the main view's offscreen framebuffer and prints the mean frame time.  Run under an X server
// (xvfb-run -a -s '-screen 0 1280x1024x24' bin/bench_view_render).
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "modes/vis/register_modes.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "modes/vis/StateVisStd.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "view/vol_slicing.h"
#include "volume/TextureManager.h"

int main(int argc, char** argv) {
  t_setupGLDefaults();
  QApplication app(argc, argv);
  const int n = 256;
  const int frames = 100;

  TCore::setWiring(TCoreWiring());
  t_registerVisModes(TModeRegistry::getInst());

  // A spherical shell like the placeholder volume, at 256^3.
  TextureManager& tm = TextureManager::getInst();
  float* v = new float[size_t(n) * n * n];
#pragma omp parallel for schedule(static)
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double px = x * 10.0 / n - 5, py = y * 10.0 / n - 5, pz = z * 10.0 / n - 5;
        const double e = std::pow(std::sqrt(px * px + py * py + pz * pz) - 3, 3);
        v[(size_t(n) * z + y) * n + x] = float(std::max(0.0, 800 - 10 * e * e));
      }
  delete[] tm.val1;
  tm.val1 = v;
  tm.channelCount = 1;
  tm.vol1.allocate(n, n, n);
  const double mn[3] = {0, 0, 0}, mx[3] = {800, 800, 800};
  tm.applyWindowLevel(mn, mx);
  tm.computeGradientVolume(n, n, n, 1);
  tm.volFlag.allocate(n, n, n);
  tm.volMask.allocate(n, n, n);
  const double pitch[3] = {1, 1, 1};
  VolRendManager::getInst().setVolumeExtent(pitch, n, n, n);

  TDlgVisParam::getInst().createPanel();
  CKestrinView* view = new CKestrinView();
  view->resize(512, 512);
  view->show();
  if (!QTest::qWaitForWindowExposed(view) || !view->glReady()) {
    fprintf(stderr, "no GL context\n");
    return 1;
  }
  TCore::getInst().setMode(0);
  const int slices = t_sliceCount(TDlgVisParam::getInst().sliceNumPos(), false);

  view->makeCurrent();
  view->renderFrame();  // first frame uploads the textures and builds the programs
  double total = 0, worst = 0;
  for (int i = 0; i < frames; ++i) {
    // Turn the camera a little so that every frame slices the box anew.
    view->togl.rotateCamera(0.01, 0.0);
    const auto t0 = std::chrono::steady_clock::now();
    view->renderFrame();  // ends with glFinish
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    total += s;
    worst = std::max(worst, s);
  }
  view->doneCurrent();
  printf("volume %d^3, %d slices, viewport 512x512, %d frames\n", n, slices, frames);
  printf("mean frame time %.2f ms (worst %.2f ms)\n", 1000 * total / frames, 1000 * worst);
  delete view;
  TDlgVisParam::destroyInst();
  return 0;
}
