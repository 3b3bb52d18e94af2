// Slice planes, pane slices and the cut surface of the renderer: drawing (GL) and picking with
// the cameras of the main view.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geom/sphere_cache_gl.h"
#include "platform/GLContextHost.h"
#include "view/TDlgVisParam.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
#include "view/slice_planes.h"
#include "volume/TextureManager.h"

namespace {

bool panelReady() { return TDlgVisParam::exists() && TDlgVisParam::getInst().isCreated(); }

int planeColourMode() { return TDlgVisParam::exists() ? TDlgVisParam::getInst().getPlaneColMode() : 0; }

// Texture coordinate across a plane at position s (fraction of n voxels): the centre of the voxel
// layer s lies in.  The image is then read from that one layer whether it is filtered linearly or
// not, and the flag and mask volumes, read voxel by voxel, from the same layer; a coordinate
// between two layer centres would blend the neighbouring layer's image into the plane under the
// labels of this one.
double layerCentre(double s, int n) {
  if (n < 1) return s;
  const int k = std::clamp(int(std::floor(s * n)), 0, n - 1);
  return (k + 0.5) / n;
}

// The quad of a plane with its texture coordinates (XY, YZ, ZX corners in the drawing order).  The
// quad stands at the plane's position; its texture coordinate across the plane is the centre of
// the layer it shows.
void emitPlaneQuad(int plane, const double e[3], const double s[3]) {
  const TextureManager& tm = TextureManager::getInst();
  const double sx = layerCentre(s[0], tm.getW()), sy = layerCentre(s[1], tm.getH()),
               sz = layerCentre(s[2], tm.getD());
  double tc[4][3];
  switch (plane) {
    case 0: {
      const double c[4][3] = {{0, 0, sz}, {1, 0, sz}, {1, 1, sz}, {0, 1, sz}};
      for (int i = 0; i < 4; ++i) for (int k = 0; k < 3; ++k) tc[i][k] = c[i][k];
      break;
    }
    case 1: {
      const double c[4][3] = {{sx, 0, 0}, {sx, 1, 0}, {sx, 1, 1}, {sx, 0, 1}};
      for (int i = 0; i < 4; ++i) for (int k = 0; k < 3; ++k) tc[i][k] = c[i][k];
      break;
    }
    case 2: {
      const double c[4][3] = {{0, sy, 0}, {1, sy, 0}, {1, sy, 1}, {0, sy, 1}};
      for (int i = 0; i < 4; ++i) for (int k = 0; k < 3; ++k) tc[i][k] = c[i][k];
      break;
    }
    default:
      return;
  }
  // Corner positions: the texture coordinates with the plane's own position across it.
  const int across = plane == 0 ? 2 : plane == 1 ? 0 : 1;
  for (int i = 0; i < 4; ++i) {
    double p[3] = {tc[i][0], tc[i][1], tc[i][2]};
    p[across] = s[across];
    glTexCoord3d(tc[i][0], tc[i][1], tc[i][2]);
    glVertex3d(p[0] * e[0], p[1] * e[1], p[2] * e[2]);
  }
}

void mainRay(const TPoint2i& p, double o[3], double d[3]) {
  o[0] = o[1] = o[2] = 0;
  d[0] = d[1] = 0, d[2] = -1;
  if (TOGL* ogl = t_mainTOGL()) ogl->getCursorRay(p.x, p.y, o, d);
}

}  // namespace

bool VolRendManager::isPlaneShown(int plane) const {
  return panelReady() && TDlgVisParam::getInst().isPlaneOn(plane);
}

void VolRendManager::shownPlanes(bool shown[3]) const {
  for (int i = 0; i < 3; ++i) shown[i] = isPlaneShown(i);
}

int VolRendManager::effectiveClip(int clipSel) { return t_spaceHeld() ? 0 : clipSel; }

void VolRendManager::drawSlicePlanes() {
  bool shown[3];
  shownPlanes(shown);
  const double ex = extent[0], ey = extent[1], ez = extent[2];
  const double x = ex * slicePos[0], y = ey * slicePos[1], z = ez * slicePos[2];
  glDisable(GL_LIGHTING);
  glLineWidth(t_glPixels(2));
  glColor3d(1, 1, 1);
  glBegin(GL_LINES);
  auto loop = [](const double (*q)[3]) {
    for (int i = 0; i < 4; ++i) {
      glVertex3dv(q[i]);
      glVertex3dv(q[(i + 1) % 4]);
    }
  };
  if (shown[1]) {
    const double q[4][3] = {{x, 0, 0}, {x, ey, 0}, {x, ey, ez}, {x, 0, ez}};
    loop(q);
  }
  if (shown[2]) {
    const double q[4][3] = {{0, y, 0}, {0, y, ez}, {ex, y, ez}, {ex, y, 0}};
    loop(q);
  }
  if (shown[0]) {
    const double q[4][3] = {{0, 0, z}, {ex, 0, z}, {ex, ey, z}, {0, ey, z}};
    loop(q);
  }
  glEnd();

  glEnable(GL_LIGHTING);
  const GLfloat spec[4] = {1, 1, 1, 0.5f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 128);
  struct Handle {
    int plane;
    double c[3];
    GLfloat dif[4], amb[4];
  };
  const Handle handles[3] = {
      {1, {x, 0, 0}, {0, 1, 0, 0.8f}, {0, 0.5f, 0, 0.8f}},
      {2, {0, y, 0}, {0, 0, 1, 0.5f}, {0, 0, 0.5f, 0.5f}},
      {0, {0, 0, z}, {1, 0, 0, 0.5f}, {0.5f, 0, 0, 0.5f}},
  };
  for (const Handle& h : handles) {
    if (!shown[h.plane]) continue;
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, h.dif);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, h.amb);
    t_drawSphereShaded(0.2, h.c);
  }
  glDisable(GL_LIGHTING);
}

void VolRendManager::drawSlicePlanesTextured(int clipSel, bool backPass) {
  bool shown[3];
  shownPlanes(shown);
  if (!shown[0] && !shown[1] && !shown[2]) return;
  const bool bound = shaderVisCutSurf.ensureInit(effectiveClip(clipSel), planeColourMode());
  glDisable(GL_LIGHTING);
  glColor3d(1, 1, 1);
  glEnable(GL_CULL_FACE);
  glCullFace(backPass ? GL_BACK : GL_FRONT);
  glBegin(GL_QUADS);
  for (int plane = 0; plane < 3; ++plane)
    if (shown[plane]) emitPlaneQuad(plane, extent, slicePos);
  glEnd();
  glCullFace(GL_BACK);
  if (bound) shaderVisCutSurf.unbind();
}

void VolRendManager::drawSliceInPane(int plane, int clipSel) {
  if (plane < 0 || plane > 2) return;
  const bool bound = shaderVisCutSurf.ensureInit(effectiveClip(clipSel), planeColourMode());
  glDisable(GL_LIGHTING);
  glColor3d(1, 1, 1);
  glDisable(GL_CULL_FACE);
  glBegin(GL_QUADS);
  emitPlaneQuad(plane, extent, slicePos);
  glEnd();
  glEnable(GL_CULL_FACE);
  if (bound) shaderVisCutSurf.unbind();
}

void VolRendManager::drawSliceCrossLines(int plane) {
  const double ex = extent[0], ey = extent[1], ez = extent[2];
  const double x = ex * slicePos[0], y = ey * slicePos[1], z = ez * slicePos[2];
  glDisable(GL_LIGHTING);
  glLineWidth(t_glPixels(2));
  glBegin(GL_LINES);
  switch (plane) {
    case 0: {  // XY pane, in front at z + 0.1
      const double zz = z + 0.1;
      glColor3d(0, 1, 0);
      glVertex3d(x, 0, zz), glVertex3d(x, ey, zz);
      glColor3d(0, 0, 1);
      glVertex3d(0, y, zz), glVertex3d(ex, y, zz);
      break;
    }
    case 1: {  // YZ pane, in front at x + 0.1
      const double xx = x + 0.1;
      glColor3d(0, 0, 1);
      glVertex3d(xx, y, 0), glVertex3d(xx, y, ez);
      glColor3d(1, 0, 0);
      glVertex3d(xx, 0, z), glVertex3d(xx, ey, z);
      break;
    }
    case 2: {  // ZX pane, looking along +y: in front at y - 0.1
      const double yy = y - 0.1;
      glColor3d(1, 0, 0);
      glVertex3d(0, yy, z), glVertex3d(ex, yy, z);
      glColor3d(0, 1, 0);
      glVertex3d(x, yy, 0), glVertex3d(x, yy, ez);
      break;
    }
    default:
      break;
  }
  glEnd();
}

void VolRendManager::drawCutSurface(ClipSurface& surf, bool front, int clipSel) {
  if (surf.polyCount == 0) return;
  const bool bound = shaderVisCutSurf.ensureInit(effectiveClip(clipSel), planeColourMode());
  glDisable(GL_LIGHTING);
  glColor3d(1, 1, 1);
  glEnable(GL_CULL_FACE);
  if (front)
    surf.drawTexCoord(extent[0], extent[1], extent[2]);
  else
    surf.drawTexCoordFlipped(extent[0], extent[1], extent[2]);
  if (bound) shaderVisCutSurf.unbind();
}

bool VolRendManager::pickSlicePlane(const TPoint2i& p, unsigned& plane) {
  if (!panelReady()) return false;
  bool shown[3];
  shownPlanes(shown);
  double o[3], d[3];
  mainRay(p, o, d);
  const int hit = t_pickSliceHandle(slicePos, extent, shown, o, d, 0.2);
  if (hit < 0) return false;
  plane = unsigned(hit);
  return true;
}

void VolRendManager::dragSlicePlane(const TPoint2i& p, unsigned plane) {
  if (plane >= 3) return;
  double o[3], d[3];
  mainRay(p, o, d);
  t_dragSliceHandle(slicePos, extent, int(plane), o, d);
}

bool VolRendManager::intersectSlicePlane(const double origin[3], const double dir[3], int plane,
                                         double hit[3]) {
  return t_intersectSlicePlane(slicePos, extent, origin, dir, plane, hit);
}

int VolRendManager::pickSliceLineInPane(int plane, const double point[3], double tol) {
  return t_pickSliceLine(plane, slicePos, extent, point, tol);
}

bool VolRendManager::pickPointOnSlices(const TPoint2i& p, unsigned& hitId, double pos[3]) {
  hitId = 4;
  if (!panelReady()) return false;
  bool shown[3];
  shownPlanes(shown);
  double o[3], d[3];
  mainRay(p, o, d);
  hitId = unsigned(t_pickPointOnSlices(slicePos, extent, shown, &cutSurface, o, d, pos));
  return hitId < 4;
}

bool VolRendManager::stepSliceByWheel(const TPoint2i& p, int wheelDelta) {
  unsigned hit = 4;
  double pos[3];
  if (!pickPointOnSlices(p, hit, pos)) return false;
  const TextureManager& tm = TextureManager::getInst();
  const int W = tm.getW(), H = tm.getH(), D = tm.getD();
  const int k = wheelDelta / 120;
  switch (hit) {
    case 0: slicePos[2] += double(k) / D; break;
    case 1: slicePos[0] += double(k) / W; break;
    case 2: slicePos[1] += double(k) / H; break;
    case 3:
      cutSurface.translate((extent[0] / W + extent[1] / H + extent[2] / D) * 0.3 * wheelDelta / 120.0);
      return true;
    default: return false;
  }
  updateSlices();
  return true;
}

void VolRendManager::genCutSurfaceFromStroke(TPoints& stroke) {
  if (stroke.size() < 6) return;
  TOGL* ogl = t_mainTOGL();
  double eye[3] = {0, 0, 0}, dir[3] = {0, 0, -1};
  if (ogl) {
    for (int i = 0; i < 3; ++i) eye[i] = ogl->eye[i], dir[i] = ogl->center[i] - ogl->eye[i];
    if (!t_normalize3(dir)) dir[0] = 0, dir[1] = 0, dir[2] = -1;
  }
  // In parallel projection the view rays are parallel: the surface is swept along the view
  // direction through each stroke point, not from the eye.
  const bool parallel = TDlgVisParam::exists() && TDlgVisParam::getInst().isParallelProj();
  TPoints poly;
  t_processCutStroke(stroke, poly);
  std::vector<TVec3> verts;
  std::vector<TPolyIdx> tris;
  t_cutSurfaceFromRays(extent, poly, parallel ? nullptr : eye, dir, verts, tris);
  TTriangleMesh mesh;
  if (!tris.empty() && mesh.initFromVertsPolys(verts, tris))
    cutSurface.setFromMesh(mesh);
  else
    cutSurface.clear();
  stroke = poly;
}
