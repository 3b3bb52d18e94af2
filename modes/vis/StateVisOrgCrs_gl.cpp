// Drawing of the organ cross-section mode.
#include <GL/glew.h>

#include "modes/vis/StateVisOrgCrs.h"
#include "platform/GLContextHost.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
#include "volume/TextureManager.h"

namespace {

// The cut-surface program's clip selector for the section surfaces: the volume's image with the
// highlighted part, the vessels and the tumour of the flag volume tinted (the renderer drops the
// tint while the space bar is held).
constexpr int kSectionClip = 4;

void light(GLenum l, const GLfloat a[4], const GLfloat d[4], const GLfloat s[4]) {
  glLightfv(l, GL_AMBIENT, a);
  glLightfv(l, GL_DIFFUSE, d);
  glLightfv(l, GL_SPECULAR, s);
}

void material(const GLfloat diffuse[4], const GLfloat ambient[4]) {
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
}

}  // namespace

void StateVisOrgCrs::OnDraw() {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  const TOrgCrsDisplay d = display();
  using D = TOrgCrsDisplay;
  const auto& s = m_surfaces;

  const GLfloat a0[4] = {0.2f, 0.2f, 0.2f, 1}, d0[4] = {1, 1, 1, 1}, s0[4] = {0.7f, 0.7f, 0.7f, 1};
  const GLfloat a1[4] = {0, 0, 0, 1}, d1[4] = {0.5f, 0.5f, 0.5f, 1};
  const GLfloat a2[4] = {0.3f, 0.3f, 0.3f, 1}, s2[4] = {0.2f, 0.2f, 0.2f, 1};
  light(GL_LIGHT0, a0, d0, s0);
  light(GL_LIGHT1, a1, d1, d1);
  light(GL_LIGHT2, a2, a2, s2);

  vr.drawFrame();
  glEnable(GL_DEPTH_TEST);
  vr.drawCutSurface(vr.cutSurface, false, kSectionClip);
  vr.drawVolumeVisIG2D();
  vr.drawCutSurface(vr.cutSurface, true, kSectionClip);

  // Lit surfaces.
  const GLfloat spec[4] = {1, 1, 1, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 128);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHT1);
  glEnable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  if (d.on[D::Vessel]) {
    const GLfloat df[4] = {0.9f, 0, 0, 0.6f}, am[4] = {0.5f, 0, 0, 0.6f};
    material(df, am);
    s[kOrgVessel].draw();
  }
  if (d.on[D::Tumour]) {
    const GLfloat df[4] = {0.7f, 0, 0.7f, 0.6f}, am[4] = {0.5f, 0, 0.5f, 0.6f};
    material(df, am);
    s[kOrgTumour].draw();
  }
  if (d.on[D::Interior]) {
    const GLfloat df[4] = {0.1f, 0.1f, 0.9f, 0.6f}, am[4] = {0, 0, 0.6f, 0.6f};
    material(df, am);
    s[kOrgInterior].draw();
  }

  // Translucent sections, opaque while Ctrl is held.
  const GLfloat secD[4] = {1, 0.2f, 0.1f, 0.6f}, secA[4] = {0.2f, 0.01f, 0.01f, 0.8f};
  material(secD, secA);
  if (!t_ctrlHeld()) {
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  if (d.on[D::Whole]) s[kOrgWhole].draw();
  for (int k = 0; k < 5; ++k)
    if (d.on[D::Cut1 + k]) s[kOrgCut1 + k].draw();
  if (d.on[D::Deform]) s[kOrgDeform].draw();
  glDisable(GL_BLEND);
  glEnable(GL_CULL_FACE);
  glDepthMask(GL_TRUE);

  // Surfaces textured with the volume.
  auto textured = [&](int surface) {
    ClipSurface& c = m_surfaces[surface];
    vr.drawCutSurface(c, true, kSectionClip);
  };
  if (d.on[D::ImgWhole]) textured(kOrgWhole);
  for (int k = 0; k < 5; ++k)
    if (d.on[D::Img1 + k]) textured(kOrgCut1 + k);
  if (d.on[D::VesselImg]) textured(kOrgVessel);
  if (d.on[D::TumourImg]) textured(kOrgTumour);
  if (d.on[D::ImgDeform]) textured(kOrgDeform);

  glDisable(GL_LIGHTING);
  if (d.on[D::EdgeDeform]) {
    glColor3d(0.3, 0.3, 0.3);
    s[kOrgDeform].drawEdges();
  }
  if (m_strokeFlag && m_stroke.size() > 1) {
    glColor3d(1, 1, 0);
    glLineWidth(t_glPixels(3));
    glBegin(GL_LINE_STRIP);
    for (const TVec3& p : m_stroke) glVertex3dv(p.data());
    glEnd();
    glLineWidth(t_glPixels(1));
  }
  if (t_shiftHeld() && d.brushEnabled()) {
    glColor3d(0.3, 1, 0.3);
    TOGL::drawScreenOverlay(QPoint(m_lastPoint.x, m_lastPoint.y), m_brushStrength);
  }
}
