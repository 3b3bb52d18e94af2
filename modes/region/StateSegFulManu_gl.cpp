// Drawing of the slice-by-slice mode.
#include "modes/region/StateSegFulManu_gl.h"

#include <GL/gl.h>

#include <cmath>

#include "modes/region/StateSegFulManu.h"
#include "platform/GLContextHost.h"
#include "view/TOGL.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {

// The segmentation overlay of the textured planes: extracted voxels red, non-target dark.
constexpr int kSegClip = 1;

// The cell [lo, hi] as a closed box with outward normals.
void drawCell(const double lo[3], const double hi[3]) {
  const double x0 = lo[0], y0 = lo[1], z0 = lo[2], x1 = hi[0], y1 = hi[1], z1 = hi[2];
  glBegin(GL_QUADS);
  glNormal3d(0, 0, -1);
  glVertex3d(x0, y0, z0), glVertex3d(x0, y1, z0), glVertex3d(x1, y1, z0), glVertex3d(x1, y0, z0);
  glNormal3d(0, 0, 1);
  glVertex3d(x0, y0, z1), glVertex3d(x1, y0, z1), glVertex3d(x1, y1, z1), glVertex3d(x0, y1, z1);
  glNormal3d(0, -1, 0);
  glVertex3d(x0, y0, z0), glVertex3d(x1, y0, z0), glVertex3d(x1, y0, z1), glVertex3d(x0, y0, z1);
  glNormal3d(0, 1, 0);
  glVertex3d(x0, y1, z0), glVertex3d(x0, y1, z1), glVertex3d(x1, y1, z1), glVertex3d(x1, y1, z0);
  glNormal3d(-1, 0, 0);
  glVertex3d(x0, y0, z0), glVertex3d(x0, y0, z1), glVertex3d(x0, y1, z1), glVertex3d(x0, y1, z0);
  glNormal3d(1, 0, 0);
  glVertex3d(x1, y0, z0), glVertex3d(x1, y1, z0), glVertex3d(x1, y1, z1), glVertex3d(x1, y0, z1);
  glEnd();
}

// The brush box of every voxel the current stroke changed: the cell of exactly the voxel that
// was painted (the brush's own voxel lookup of the centre).
void drawPaintedCells(const StateSegFulManu& mode) {
  double lo[3], hi[3];
  for (const auto& v : mode.paintedSet())
    if (t_brushOutline(mode.voxelBox(), v.second.data(), lo, hi)) drawCell(lo, hi);
}

// The lasso as a closed line of width 2, moved by `shift` towards the viewer.
void drawLasso(const StateSegFulManu& mode, const double shift[3]) {
  if (mode.stroke().empty()) return;
  glDisable(GL_LIGHTING);
  if (mode.strokePaints())
    glColor3d(0, 1, 0);
  else
    glColor3d(0, 0, 0.7);
  glLineWidth(t_glPixels(2));
  glBegin(GL_LINE_STRIP);
  for (const TVec3& p : mode.stroke()) glVertex3d(p[0] + shift[0], p[1] + shift[1], p[2] + shift[2]);
  const TVec3& f = mode.stroke().front();
  glVertex3d(f[0] + shift[0], f[1] + shift[1], f[2] + shift[2]);
  glEnd();
}

}  // namespace

void t_drawStateSegFulManu(StateSegFulManu& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  glEnable(GL_DEPTH_TEST);
  vr.drawSlicePlanes();
  vr.drawSlicePlanesTextured(kSegClip, false);
  vr.drawFrame();
  vr.drawVolumeSegGCut();
  glEnable(GL_DEPTH_TEST);
  vr.drawSlicePlanesTextured(kSegClip, true);

  if (mode.isBrush3D()) {
    const float paintDif[4] = {0, 1, 0, 0.5f}, paintAmb[4] = {0, 0.5f, 0, 0.8f};
    const float eraseDif[4] = {1, 1, 1, 0.5f}, eraseAmb[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    glEnable(GL_LIGHTING);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mode.strokePaints() ? paintDif : eraseDif);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mode.strokePaints() ? paintAmb : eraseAmb);
    drawPaintedCells(mode);
    glDisable(GL_LIGHTING);
  }
  if (mode.isLasso3D()) {
    // A little towards the eye, so that the line stays in front of the plane it lies on.
    double shift[3] = {0.01, 0, 0};
    if (const TOGL* ogl = t_mainTOGL()) {
      const TOGL& o = *ogl;
      double d[3] = {o.eye[0] - o.center[0], o.eye[1] - o.center[1], o.eye[2] - o.center[2]};
      const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      if (len > 0)
        for (int k = 0; k < 3; ++k) shift[k] = 0.01 * d[k] / len;
    }
    drawLasso(mode, shift);
  }
}

void t_drawStateSegFulManu2D(StateSegFulManu& mode, TSubPane* pane) {
  if (!pane || TextureManager::getInst().vol1.empty()) return;
  const int plane = static_cast<int>(pane->planeId);
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawSliceInPane(plane, kSegClip);
  vr.drawSliceCrossLines(plane);
  // Only the pane where the stroke began shows it.
  if (plane != mode.strokePane()) return;
  if (mode.isPaneBrush()) {
    glDisable(GL_LIGHTING);
    if (mode.strokePaints())
      glColor3d(0, 1, 0);
    else
      glColor3d(0.9, 0.9, 0.9);
    drawPaintedCells(mode);
  } else if (mode.isPaneLasso()) {
    static const double kShift[3][3] = {{0, 0, 1.0}, {1.0, 0, 0}, {0, -0.1, 0}};
    drawLasso(mode, kShift[plane]);
  }
}
