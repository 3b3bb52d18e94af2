#include <GL/glew.h>

#include "view/StateVisStd.h"

#include <QGuiApplication>
#include <cstdio>

#include "app/TCore.h"
#include "platform/GLContextHost.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

StateVisStd& StateVisStd::getInst() {
  static StateVisStd inst;
  return inst;
}

StateVisStd::StateVisStd() {
  fprintf(stderr, "\nTState TState TState StateVisStd↓↓↓↓↓↓↓\n");
  fprintf(stderr, "TState TState TState StateVisStd↑↑↑↑↑↑↑\n");
}

StateVisStd::~StateVisStd() = default;

int StateVisStd::volumeModeFor(int modeId) {
  switch (modeId) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    default: return 0;
  }
}

void StateVisStd::OnSwitched(int modeId) {
  // The channel and mask textures are made again at the next draw (another mode may have
  // changed their voxels or filtering).
  TextureManager& tm = TextureManager::getInst();
  TGLContextHost* ctx = t_mainGLContext();
  tm.vol1.unbind(ctx);
  tm.vol2.unbind(ctx);
  tm.vol3.unbind(ctx);
  tm.volMask.unbind(ctx);

  VolRendManager& vr = VolRendManager::getInst();
  for (double& s : vr.slicePos) s = 0.2;

  if (TDlgVisParam::exists())
    TDlgVisParam::getInst().updateModeControls(volumeModeFor(modeId), true, true, true, true, false);

  vr.resetCamera();
  t_redrawAll();
}

void StateVisStd::OnMouseWheel(unsigned, int, const TPoint2i&) {}

void StateVisStd::OnKeyDown(int key, int repeatCount, unsigned flags) {
  fprintf(stderr, "key%d %d %d\n", key, repeatCount, flags);
}

void StateVisStd::OnKeyUp(int, int, unsigned) {}

void StateVisStd::OnDraw() {
  const TextureManager& tm = TextureManager::getInst();
  if (tm.vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawFrame();
  glEnable(GL_DEPTH_TEST);
  switch (TCore::getInst().modeId) {
    case 0: vr.drawVolumeVisI(); break;
    case 1: vr.drawVolumeVisIG(); break;
    case 2: vr.drawVolumeVisIG2D(); break;
    case 3: vr.drawVolumeVisMask(); break;
    default: break;
  }
}

int StateVisStd::OnSetCursor(const TPoint2i& p) {
  // Ctrl held: the pen of the cut stroke.
  if (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) return 4;
  return TModeState::OnSetCursor(p);
}
