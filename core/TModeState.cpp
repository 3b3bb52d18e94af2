#include "core/TModeState.h"

#include <cstddef>
#include <vector>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "platform/Prompt.h"

namespace {
// Width of the border zones of the main view in which a drag zooms (left/right) or rolls
// (top/bottom) instead of translating or rotating.
constexpr int kBorderZone = 30;
}  // namespace

TModeState::TModeState() = default;
TModeState::~TModeState() = default;

// ---- main view: camera drags ------------------------------------------------------------------

void TModeState::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(true);
    h->camBtnDownTranslate(p);
  }
}

void TModeState::OnRBtnDown(const TPoint2i& p) {
  rBtnHeld = true;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(true);
    h->camBtnDownRotate(p);
  }
}

void TModeState::OnMBtnDown(const TPoint2i& p) {
  mBtnHeld = true;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(true);
    h->camBtnDownZoom(p);
  }
}

void TModeState::OnLBtnUp(const TPoint2i&) {
  lBtnHeld = false;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(false);
    h->camBtnUp();
    h->redrawMainView();
  }
}

void TModeState::OnRBtnUp(const TPoint2i&) {
  rBtnHeld = false;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(false);
    h->camBtnUp();
    h->redrawAll();
  }
}

void TModeState::OnMBtnUp(const TPoint2i&) {
  mBtnHeld = false;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(false);
    h->camBtnUp();
    h->redrawAll();
  }
}

void TModeState::OnMouseMove(const TPoint2i& p) {
  if (!lBtnHeld && !rBtnHeld && !mBtnHeld) return;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->camMouseMove(p);
    h->redrawMainView();
  }
}

int TModeState::OnSetCursor(const TPoint2i& p) {
  int W = 0, H = 0;
  if (TModeViewHost* h = t_modeViewHost()) h->mainViewSize(W, H);
  // The left and right zones win in the corners.
  if (p.x < kBorderZone || p.x > W - kBorderZone) return 2;
  if (p.y < kBorderZone || p.y > H - kBorderZone) return 1;
  return 0;
}

// ---- slice panes: pan, zoom, slice lines, wheel -------------------------------------------------

void TModeState::OnLBtnDown2D(TSubPane* pane, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  pressPoint = prevPoint = p;
  if (!h) {
    pickedLine = 0;
    panePanning = true;
    return;
  }
  const TModeRay ray = h->paneCursorRay(pane, p);
  paneId = h->panePlaneId(pane);
  pickedLine = h->pickSliceLineInPane(paneId, ray, 0.1);
  if (pickedLine == 0) panePanning = true;
}

void TModeState::OnRBtnDown2D(TSubPane* pane, const TPoint2i& p) {
  paneZooming = true;
  pressPoint = prevPoint = p;
  if (TModeViewHost* h = t_modeViewHost()) paneId = h->panePlaneId(pane);
}

// The middle button zooms in every mode's panes, also where a mode gives the right button
// another use: these call the zoom of this class, not the right-button operations.
void TModeState::OnMBtnDown2D(TSubPane* pane, const TPoint2i& p) { TModeState::OnRBtnDown2D(pane, p); }

void TModeState::OnLBtnUp2D(TSubPane*, const TPoint2i&) {
  panePanning = false;
  pickedLine = 0;
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
}

void TModeState::OnRBtnUp2D(TSubPane*, const TPoint2i&) {
  paneZooming = false;
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
}

void TModeState::OnMBtnUp2D(TSubPane* pane, const TPoint2i& p) { TModeState::OnRBtnUp2D(pane, p); }

void TModeState::OnMouseMove2D(TSubPane* pane, const TPoint2i& p) {
  if (!panePanning && !paneZooming && pickedLine == 0) return;
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  // A drag stays in the pane where it began.
  if (h->panePlaneId(pane) != paneId) return;

  if (panePanning) {
    h->panePanByMouse(pane, prevPoint, p);
    prevPoint = p;
    h->redrawAllPanes();
    return;
  }
  if (paneZooming) {
    // Moving up (y decreasing) zooms in; all three panes keep one scale.
    const double f = 1.0 - (prevPoint.y - p.y) * 0.003;
    h->zoomAllPanes(f);
    prevPoint = p;
    h->redrawAllPanes();
    return;
  }

  // Slice-line drag: the ray origin, as a fraction of the volume box, moves the slices.
  const TModeRay ray = h->paneCursorRay(pane, p);
  double ext[3] = {1, 1, 1};
  h->volumeExtent(ext);
  double frac[3];
  for (int i = 0; i < 3; ++i) frac[i] = ext[i] != 0 ? ray.org[i] / ext[i] : -1.0;

  // Axes set by line 1 and line 2 of each pane: XY (x, y), YZ (y, z), ZX (x, z).
  static const int kLineAxis[3][2] = {{0, 1}, {1, 2}, {0, 2}};
  if (paneId < 0 || paneId > 2) return;
  for (int line = 0; line < 2; ++line) {
    const bool picked = pickedLine == line + 1 || pickedLine == 3;
    if (!picked) continue;
    const int axis = kLineAxis[paneId][line];
    const double f = frac[axis];
    if (!(f >= 0.0 && f < 1.0)) continue;  // outside the box: that slice stays
    double s[3];
    h->getSlicePositions(s);
    s[axis] = f;
    h->setSlicePositions(s);
    h->updateSlices();
  }
  h->redrawAll();
}

void TModeState::OnMouseWheel2D(TSubPane* pane, unsigned, int delta, const TPoint2i&) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  const double step = delta > 0 ? 1.0 : -1.0;
  int W = 1, H = 1, D = 1;
  h->volumeSize(W, H, D);
  // The slice axis of each pane: XY moves z, YZ moves x, ZX moves y.
  const int plane = h->panePlaneId(pane);
  int axis, n;
  switch (plane) {
    case 0: axis = 2; n = D; break;
    case 1: axis = 0; n = W; break;
    case 2: axis = 1; n = H; break;
    default: return;
  }
  // One voxel is 1/n of the box (a step of 1/(n-1) would skip slices); an axis of a single
  // voxel has no other slice to step to.
  if (n > 1) {
    double s[3];
    h->getSlicePositions(s);
    s[axis] += step / n;
    h->setSlicePositions(s);
    h->updateSlices();
  }
  h->redrawAll();
}

// ---- region questions -------------------------------------------------------------------------

bool TModeState::selectTargetRegions(std::uint8_t valueOutside, std::uint8_t valueInside) {
  TModeRegionData* d = t_modeRegionData();
  // The flag texture is dropped first so that the next frame uploads whatever ends up in it.
  if (d) d->dropFlagTexture();

  std::vector<unsigned char> sel;
  if (!t_pickManyIds("Select Segm target region(s) 分割対象の領域(複数可)選択", sel)) return false;
  if (sel.size() < 256) sel.resize(256, 0);

  if (d) {
    const std::size_t n = d->maskVoxelCount();
    std::uint8_t* flag = d->flagVoxels();
    const std::uint8_t* mask = d->maskVoxels();
    if (n > 0 && flag && mask) {
      const long long nn = static_cast<long long>(n);
#pragma omp parallel for schedule(static)
      for (long long i = 0; i < nn; ++i) flag[i] = sel[mask[i]] ? valueInside : valueOutside;
    }
  }
  return true;
}

bool TModeState::selectIdForRegion() {
  TModeRegionData* d = t_modeRegionData();
  if (d) d->dropMaskTexture();

  const std::size_t n = d ? d->maskVoxelCount() : 0;
  std::uint8_t* flag = d ? d->flagVoxels() : nullptr;
  std::uint8_t* mask = d ? d->maskVoxels() : nullptr;
  bool any = false;
  if (n > 0 && flag && mask) {
    for (std::size_t i = 0; i < n && !any; ++i) any = flag[i] == 255;
  }
  if (!any) {
    t_info("No foreground voxels exist \n Press this button AFTER finishing segmentation");
    return false;
  }

  int id = -1;
  if (!t_pickOneId("Select ID for this region: この領域につけるIDの選択ｚ", id)) return false;
  if (id < 1 || id > 255) return false;
  if (d->isIdUsed(id)) return false;

  // The new region takes its voxels from whichever regions held them: note those, and count
  // what each id keeps.
  const std::uint8_t v = static_cast<std::uint8_t>(id);
  bool lost[256] = {};
  std::size_t kept[256] = {};
  for (std::size_t i = 0; i < n; ++i) {
    if (flag[i] == 255) {
      lost[mask[i]] = true;
      mask[i] = v;
    }
    ++kept[mask[i]];
  }

  d->commitRegion(id);
  // Regions that lost voxels get their surface again, or go when nothing of them is left.
  for (int k = 1; k < 256; ++k) {
    if (!lost[k] || k == id || !d->isIdUsed(k)) continue;
    if (kept[k] > 0)
      d->rebuildRegionSurface(k);
    else
      d->releaseRegion(k);
  }
  return true;
}
