// Drawing of the seeded-region-growing mode in the main view, and what it changes of the display.
#include "modes/region/StateSegSRG_gl.h"

#include <GL/glew.h>

#include <cstring>

#include "core/ModeViewHost.h"
#include "core/WinLvModel.h"
#include "geom/sphere_cache_gl.h"
#include "modes/region/StateSegSRG.h"
#include "platform/GLContextHost.h"
#include "view/VolRendManager.h"
#include "view/mode_gl.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

// The segmentation overlay of the textured surfaces: extracted voxels red, non-target dark.
constexpr int kSegClip = 1;

class TAppSrgDisplay : public TSrgDisplay {
 public:
  bool showChannel1(const std::vector<std::uint8_t>& bytes) override {
    TOGL3DImage& tex = TextureManager::getInst().vol1;
    if (!tex.data || static_cast<std::size_t>(tex.size()) != bytes.size()) return false;
    std::memcpy(tex.data, bytes.data(), bytes.size());
    tex.unbind(t_mainGLContext());
    return true;
  }
  void restoreChannel1() override {
    TextureManager& tm = TextureManager::getInst();
    TOGL3DImage& tex = tm.vol1;
    if (!tex.data || !tm.val1) return;
    double lo[3], hi[3];
    TWinLvModel::getInst().getMinValues(lo);
    TWinLvModel::getInst().getMaxValues(hi);
    const std::int64_t n = tex.size();
    const float* v = tm.val1;
    for (std::int64_t i = 0; i < n; ++i) tex.data[i] = t_windowLevelByte(v[i], lo[0], hi[0]);
    tex.unbind(t_mainGLContext());
  }
  void setRegionColor(int id, std::uint32_t rgb) override {
    if (id < 0 || id > 255) return;
    TMaskIdTable& t = TMaskIdTable::getInst();
    t.records[id].color = rgb;
    t.updateColorTexture();
  }
};

TAppSrgDisplay g_display;

}  // namespace

void t_drawStateSegSRG(StateSegSRG& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawFrame();
  glEnable(GL_DEPTH_TEST);
  // Far side: the planes' first pass and the cut surface, then the volume through the
  // segmentation program, then the near sides and the surface's rim.
  vr.drawSlicePlanesTextured(kSegClip, false);
  vr.drawCutSurface(vr.cutSurface, false, kSegClip);
  vr.drawVolumeSegGCut();
  glEnable(GL_DEPTH_TEST);
  vr.drawSlicePlanes();
  vr.drawSlicePlanesTextured(kSegClip, true);
  vr.drawCutSurface(vr.cutSurface, true, kSegClip);
  if (vr.cutSurface.polyCount > 0) {
    glDisable(GL_LIGHTING);
    glColor3d(1, 1, 1);
    glLineWidth(t_glPixels(2));
    vr.cutSurface.drawBoundaryEdges();
  }

  const std::vector<TSrgGroup>& groups = mode.groups();
  const bool space = t_modeViewHost() && t_modeViewHost()->spaceKeyHeld();
  if (!space && mode.isVisCPsChecked()) {
    glDisable(GL_LIGHTING);
    for (const TSrgGroup& g : groups) {
      glColor3d(g.color[0], g.color[1], g.color[2]);
      for (const TVec3& s : g.seeds) t_drawSphere(mode.seedRadius(), s.data());
    }
  }
  if (mode.isVisSurfChecked()) {
    glEnable(GL_LIGHTING);
    const float spe[4] = {1, 1, 1, 0.5f}, shi[1] = {32};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spe);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shi);
    for (std::size_t i = 1; i < groups.size(); ++i) {
      const TSrgGroup& g = groups[i];
      if (g.surface.polyCount <= 0) continue;
      const float dif[4] = {float(g.color[0]), float(g.color[1]), float(g.color[2]), 1};
      const float amb[4] = {dif[0] / 2, dif[1] / 2, dif[2] / 2, 1};
      glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
      g.surface.draw();
    }
    glDisable(GL_LIGHTING);
  }
  if (mode.isDrawingStroke()) t_drawGLLines(mode.cutStroke(), 1, 0, 0, 4);
}

void t_installStateSegSRGHooks() {
  StateSegSRG::setDrawHook(&t_drawStateSegSRG);
  StateSegSRG::setDisplay(&g_display);
}
