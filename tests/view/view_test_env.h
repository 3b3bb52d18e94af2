// What the main-view tests share: the application with the visualisation modes and the default
// volume installed as the program has them after a start without a file, and the view's clear
// colour.
#pragma once

#include <QApplication>
#include <QRgb>
#include <cstdlib>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "modes/vis/register_modes.h"
#include "view/GLSetup.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"
#include "volume/volume_values.h"

namespace viewtest {

// The default volume in the holder (window level 0..800, unit pitch).
inline void installDefaultVolume() {
  TextureManager& tm = TextureManager::getInst();
  int W, H, D;
  float* v = nullptr;
  t_makeDefaultVolume(&W, &H, &D, &v);
  delete[] tm.val1;
  tm.val1 = v;
  tm.channelCount = 1;
  tm.vol1.allocate(W, H, D);
  const double mn[3] = {0, 0, 0}, mx[3] = {800, 800, 800};
  tm.applyWindowLevel(mn, mx);
  tm.computeGradientVolume(W, H, D, 1);
  tm.volFlag.allocate(W, H, D);
  tm.volMask.allocate(W, H, D);
  const double pitch[3] = {1, 1, 1};
  VolRendManager::getInst().setVolumeExtent(pitch, W, H, D);
}

// The application (kept to the end: deleting it makes the GL driver drop blocks the leak checker
// cannot attribute), the core without wiring, the visualisation modes, the default volume and
// the rendering panel.
inline QApplication* startApplication(const char* name) {
  static int argc = 1;
  static char* argv[] = {const_cast<char*>(name), nullptr};
  t_setupGLDefaults();
  auto* app = new QApplication(argc, argv);
  TCore::setWiring(TCoreWiring());
  t_registerVisModes(TModeRegistry::getInst());
  TModeRegistry::getInst().constructAll();
  installDefaultVolume();
  TDlgVisParam::getInst().createPanel();
  return app;
}

// The main view's clear colour (0.2, 0.2, 0.2).
inline bool isBackground(QRgb p) {
  return std::abs(qRed(p) - 51) <= 3 && std::abs(qGreen(p) - 51) <= 3 && std::abs(qBlue(p) - 51) <= 3;
}

}  // namespace viewtest
