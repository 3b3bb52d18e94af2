#include <GL/glew.h>

#include "view/VolRendManager.h"

#include <cmath>
#include <cstdio>

#include "platform/GLContextHost.h"
#include "view/TDlgVisParam.h"
#include "view/TOGL.h"
#include "view/slice_planes.h"
#include "view/vol_slicing.h"
#include "volume/TextureManager.h"
#include "volume/app_paths.h"

VolRendManager& VolRendManager::getInst() {
  static VolRendManager inst;
  return inst;
}

VolRendManager::VolRendManager() {
  fprintf(stderr, "constructor VolRendManager-----↓↓ \n");
  shaderVisCutSurf.fileName = t_makeAppPath("shader/visCutSurf.glsl");
  shaderSegGCut.fileName = t_makeAppPath("shader/segGCut.glsl");
  shaderVisI.fileName = t_makeAppPath("shader/visI.glsl");
  shaderVisIG.fileName = t_makeAppPath("shader/visIG.glsl");
  shaderVisIG2D.fileName = t_makeAppPath("shader/visIG2D.glsl");
  shaderVisMask.fileName = t_makeAppPath("shader/visMask.glsl");
  t_boxCorners(extent, corners);
  buttonHeld = false;
  fprintf(stderr, "constructor VolRendManager FIN-----↑↑ \n");
}

VolRendManager::~VolRendManager() = default;

bool VolRendManager::setVolumeExtent(const double pitch[3], int W, int H, int D) {
  double e[3];
  if (!t_volumeExtent(pitch, W, H, D, e)) {
    fprintf(stderr, "setVolumeExtent: size (%d %d %d) or pitch (%f %f %f) is not positive\n", W, H,
            D, pitch[0], pitch[1], pitch[2]);
    return false;
  }
  for (int i = 0; i < 3; ++i) extent[i] = e[i];
  t_boxCorners(extent, corners);
  if (onExtentChanged) onExtentChanged();
  return true;
}

void VolRendManager::resetCamera() {
  TOGL* ogl = t_mainTOGL();
  if (!ogl) return;
  const double ex = extent[0], ey = extent[1], ez = extent[2];
  const double eye[3] = {ex / 2, ey / 2, 2 * ez}, c[3] = {ex / 2, ey / 2, ez / 2}, up[3] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) {
    ogl->eye[i] = eye[i];
    ogl->center[i] = c[i];
    ogl->up[i] = up[i];
  }
}

void VolRendManager::updateSlices() {
  const TextureManager& tm = TextureManager::getInst();
  t_keepSlicesSane(slicePos, tm.getW(), tm.getH(), tm.getD());
}

void VolRendManager::drawFrame() {
  if (!TDlgVisParam::exists()) return;
  const TDlgVisParam& panel = TDlgVisParam::getInst();
  if (!panel.isCreated() || !panel.isFrameOn()) return;
  const double ex = extent[0], ey = extent[1], ez = extent[2];
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glColor3d(1, 1, 0);
  glLineWidth(t_glPixels(3));
  glBegin(GL_LINE_STRIP);
  glVertex3d(0, 0, 0);
  glVertex3d(ex, 0, 0);
  glVertex3d(ex, ey, 0);
  glVertex3d(0, ey, 0);
  glVertex3d(0, 0, 0);
  glVertex3d(0, 0, ez);
  glVertex3d(ex, 0, ez);
  glVertex3d(ex, ey, ez);
  glVertex3d(0, ey, ez);
  glVertex3d(0, 0, ez);
  glEnd();
  glBegin(GL_LINES);
  glVertex3d(ex, 0, 0);
  glVertex3d(ex, 0, ez);
  glVertex3d(ex, ey, 0);
  glVertex3d(ex, ey, ez);
  glVertex3d(0, ey, 0);
  glVertex3d(0, ey, ez);
  glEnd();
}

void VolRendManager::drawSlices() {
  int sliderPos = 50;
  if (TDlgVisParam::exists()) sliderPos = TDlgVisParam::getInst().sliceNumPos();
  const int N = t_sliceCount(sliderPos, buttonHeld);

  double d[3] = {0, 0, 0};
  if (TOGL* ogl = t_mainTOGL())
    for (int i = 0; i < 3; ++i) d[i] = ogl->eye[i] - ogl->center[i];

  const double inv[3] = {extent[0] > 0 ? 1 / extent[0] : 0, extent[1] > 0 ? 1 / extent[1] : 0,
                         extent[2] > 0 ? 1 / extent[2] : 0};
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  t_viewAlignedSlices(corners, d, N, [&](const TSlicePolygon& poly) {
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i < poly.n; ++i) {
      const double* p = poly.p[i];
      glTexCoord3d(p[0] * inv[0], p[1] * inv[1], p[2] * inv[2]);
      glVertex3d(p[0], p[1], p[2]);
    }
    glEnd();
  });
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
}

void VolRendManager::drawVolume(TSheder& shader) {
  double alpha = std::pow(0.5, 3);
  int volColourSel = 1;
  if (TDlgVisParam::exists()) {
    const TDlgVisParam& panel = TDlgVisParam::getInst();
    alpha = std::pow(panel.transparencyPos() * 0.01, 3);
    volColourSel = panel.getVolColMode();
  }
  double eye[3] = {0, 0, 0};
  if (TOGL* ogl = t_mainTOGL())
    for (int i = 0; i < 3; ++i) eye[i] = ogl->eye[i];

  // A program that cannot be built is reported once by TSheder; the slices are then drawn
  // untextured by the fixed-function pipeline.
  const bool bound = shader.ensureInitEx(eye, volColourSel, alpha, 0);
  drawSlices();
  if (bound) shader.unbind();
}

void VolRendManager::drawVolumeSegGCut() { drawVolume(shaderSegGCut); }
void VolRendManager::drawVolumeVisI() { drawVolume(shaderVisI); }
void VolRendManager::drawVolumeVisIG() { drawVolume(shaderVisIG); }
void VolRendManager::drawVolumeVisIG2D() { drawVolume(shaderVisIG2D); }
void VolRendManager::drawVolumeVisMask() { drawVolume(shaderVisMask); }
