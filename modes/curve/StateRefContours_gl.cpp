// Drawing of the contour-refinement mode in the main view, and the main view's camera for it.
#include "modes/curve/StateRefContours_gl.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "core/ModeViewHost.h"
#include "geom/sphere_cache_gl.h"
#include "modes/curve/StateRefContours.h"
#include "platform/GLContextHost.h"
#include "view/TDlgVisParam.h"
#include "view/TOGL.h"
#include "view/TSheder.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
#include "view/mode_gl.h"
#include "volume/TextureManager.h"
#include "volume/app_paths.h"

namespace {

using Check = TDlgRefContoursIf::Check;

bool mainCamera(TFiberView& v) {
  TOGL* o = t_mainTOGL();
  if (!o || !o->hasContext()) return false;
  {
    TGLCurrentGuard guard(o);
    glGetDoublev(GL_MODELVIEW_MATRIX, v.modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, v.projection);
    glGetIntegerv(GL_VIEWPORT, v.viewport);
  }
  // The fiber kernels take cursor points, which are client points: the viewport is given in
  // client pixels too (the device size over the pixel ratio rounds back to the client size).
  const double r = o->pixelRatio();
  for (int& c : v.viewport) c = int(std::lround(c / r));
  for (int k = 0; k < 3; ++k) {
    v.eye[k] = o->eye[k];
    v.center[k] = o->center[k];
  }
  const double ref = o->unProjectIdentity();
  v.refDepth = ref > 0 ? ref : 1.0;
  return true;
}

void material(const float dif[4], const float amb[4]) {
  const float spe[4] = {0.9f, 0.9f, 0.9f, 0.9f}, shi[1] = {54};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spe);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shi);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
}

void drawFibers(const TFiberScene& s) {
  glEnable(GL_LIGHTING);
  const float newDif[4] = {1.0f, 1.0f, 0.0f, 0.9f}, newAmb[4] = {0.7f, 0.8f, 0.0f, 0.9f};
  material(newDif, newAmb);
  for (const TFiberStroke& f : s.newFibers) f.drawTube();
  const float oldDif[4] = {0.2f, 0.8f, 0.0f, 0.9f}, oldAmb[4] = {0.2f, 0.7f, 0.0f, 0.9f};
  material(oldDif, oldAmb);
  for (const TFiberStroke& f : s.storedFibers) f.drawTube();
  const float cpDif[4] = {1.0f, 0.0f, 0.0f, 0.5f}, cpAmb[4] = {0.5f, 0.0f, 0.0f, 0.5f};
  material(cpDif, cpAmb);
  auto pointOf = [](const std::vector<TFiberStroke>& fibers, const std::pair<int, int>& p) -> const double* {
    if (p.first < 0 || p.first >= int(fibers.size())) return nullptr;
    const TFiberStroke& f = fibers[p.first];
    return p.second >= 0 && p.second < int(f.points.size()) ? f.points[p.second].data() : nullptr;
  };
  for (const TCrossPoint& cp : s.crossPoints) {
    const double* p = !cp.newPairs.empty()      ? pointOf(s.newFibers, cp.newPairs[0])
                      : !cp.storedPairs.empty() ? pointOf(s.storedFibers, cp.storedPairs[0])
                                                : nullptr;
    if (p) t_drawSphere(0.023, p);
  }
  glDisable(GL_LIGHTING);
}

void drawRegionSurface(StateRefContours& mode, const double eye[3]) {
  const TFiberScene& s = mode.scene();
  const TTriangleMesh& m = s.regionMesh;
  if (m.polyCount == 0) return;
  // Plain fixed-function drawing: no program or texture of an earlier draw may tint it.
  glUseProgram(0);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_3D);
  glEnable(GL_NORMALIZE);
  const float spe[4] = {0.9f, 0.9f, 0.9f, 0.9f}, shi[1] = {54};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spe);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shi);
  glEnable(GL_CULL_FACE);
  if (mode.isChecked(Check::Def) && !s.roiMesh.empty()) {
    // The blend weight of the last fiber deformation, red over dark.
    std::vector<double> w(m.vertexCount, 0.0);
    for (int i = 0; i < int(s.roiToRegion.size()) && i < int(s.roiMesh.blend.size()); ++i)
      if (s.roiToRegion[i] >= 0 && s.roiToRegion[i] < m.vertexCount) w[s.roiToRegion[i]] = s.roiMesh.blend[i];
    glDisable(GL_LIGHTING);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < m.polyCount; ++i)
      for (int k = 0; k < 3; ++k) {
        const int v = m.polys[i][k];
        glColor3d(0.1 + w[v], 0.1, 0.1);
        glVertex3dv(m.verts[v].data());
      }
    glEnd();
  } else if (mode.isChecked(Check::Normal)) {
    double a = 0.8;
    if (!s.newFibers.empty() && !s.newFibers[0].points.empty()) {
      const double d = t_dist3(eye, s.newFibers[0].points[0].data());
      a = std::clamp(0.01 * d * d, 0.0, 0.8);
    }
    const float col[4] = {0.2f, 0.8f, 0.2f, float(a)};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, col);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, col);
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    // The surface leaves the window opaque: an alpha below its colour would show as false
    // colours where the window is composed.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE);
    m.draw();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
  } else if (mode.isChecked(Check::Image)) {
    VolRendManager& vr = VolRendManager::getInst();
    const bool bound = vr.shaderVisCutSurf.ensureInit(0, 0);
    glDisable(GL_LIGHTING);
    glColor3d(1, 1, 1);
    m.drawTexCoord(vr.extent[0], vr.extent[1], vr.extent[2]);
    if (bound) vr.shaderVisCutSurf.unbind();
  }
  glDisable(GL_NORMALIZE);
  glDisable(GL_LIGHTING);
  glColor3d(0, 1, 1);
  glPointSize(t_glPixels(12));
  m.drawBoundaryPoints();
  glPointSize(t_glPixels(1));
}

void drawVolume(bool refined) {
  static TSheder shader(t_makeAppPath("shader/refContour.glsl"));
  double alpha = std::pow(0.5, 3);
  int colourSel = 1;
  if (TDlgVisParam::exists()) {
    alpha = std::pow(TDlgVisParam::getInst().transparencyPos() * 0.01, 3);
    colourSel = TDlgVisParam::getInst().getVolColMode();
  }
  double eye[3] = {0, 0, 0};
  if (TOGL* o = t_mainTOGL())
    for (int k = 0; k < 3; ++k) eye[k] = o->eye[k];
  const bool bound = shader.ensureInitEx(eye, colourSel, alpha, refined ? 4 : 2);
  VolRendManager::getInst().drawSlices();
  if (bound) shader.unbind();
}

void circle(const TPoint2i& p, double r, double g, double b, double size) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor3d(r, g, b);
  TOGL::drawScreenOverlay(QPoint(p.x, p.y), size);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace

void t_installStateRefContoursHooks() {
  StateRefContours::ViewHooks h;
  h.draw = &t_drawStateRefContours;
  h.drawPane = [](TSubPane* pane) {
    // The pane's class is the view's (its Qt GL headers do not mix with GLEW's): the host names
    // its plane.
    if (!pane || !t_modeViewHost()) return;
    const int plane = t_modeViewHost()->panePlaneId(pane);
    VolRendManager& vr = VolRendManager::getInst();
    vr.drawSliceInPane(plane, 0);
    vr.drawSliceCrossLines(plane);
  };
  h.camera = &mainCamera;
  h.cutSurface = []() -> const TTriangleMesh* { return &VolRendManager::getInst().cutSurface; };
  StateRefContours::setViewHooks(h);
}

void t_drawStateRefContours(StateRefContours& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  const bool space = t_spaceHeld();
  const int clip = space ? 0 : (mode.isChecked(Check::ForeHL) ? 3 : 0);
  double eye[3] = {0, 0, 0};
  if (TOGL* o = t_mainTOGL())
    for (int k = 0; k < 3; ++k) eye[k] = o->eye[k];
  glEnable(GL_DEPTH_TEST);
  vr.drawFrame();
  vr.drawCutSurface(vr.cutSurface, false, clip);
  if (mode.isChecked(Check::Fibers) && !space) drawFibers(mode.scene());
  if (mode.isChecked(Check::VolInit) || mode.isChecked(Check::VolRef)) drawVolume(mode.isChecked(Check::VolRef));
  glEnable(GL_DEPTH_TEST);
  vr.drawCutSurface(vr.cutSurface, true, clip);
  if (mode.isChecked(Check::Normal) || mode.isChecked(Check::Image) || mode.isChecked(Check::Def))
    drawRegionSurface(mode, eye);
  glDisable(GL_CULL_FACE);
  if (mode.isCutting()) t_drawGLLines(mode.stroke3D(), 1.0, 0.2, 0.2, 3);
  if (mode.isOverDrawing()) t_drawGLLines(mode.stroke3D(), 0.0, 1.0, 0.2, 3);
  const unsigned keys = t_modeViewHost() ? t_modeViewHost()->keyState() : 0u;
  if ((keys & TModeState::MK_ALT) || mode.isRubbing()) {
    const double g = mode.isRubbing() ? 0.0 : 0.5, rb = mode.isRubbing() ? 1.0 : 0.5;
    circle(mode.cursorPoint(), g, rb, rb, 0.0002);
    circle(mode.cursorPoint(), g, rb, rb, 0.00015);
  }
  if ((keys & TModeState::MK_SHIFT) && !mode.isDragging() && !mode.isChecked(Check::OverDraw))
    circle(mode.cursorPoint(), 0.3, 1.0, 0.3, mode.cursorCircleSize());
  const TFiberScene& s = mode.scene();
  if (mode.isChecked(Check::Edges) && !s.roiMesh.empty()) {
    glDisable(GL_LIGHTING);
    glLineWidth(t_glPixels(2));
    glColor3d(0, 0, 1);
    s.roiMesh.mesh.drawEdges();
    glLineWidth(t_glPixels(1));
  }
}
