#include "modes/region/StateSegFulManu.h"

#include <cstdint>
#include <utility>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "modes/region/kernels/lasso_fill.h"
#include "platform/Prompt.h"

const char* const StateSegFulManu::kCancelQuestion = "抽出結果を適用せずに 修正作業を終了しますか？";
const char* const StateSegFulManu::kFinishRefinementQuestion = "修正作業を終了し結果を適用しますか？";
const char* const StateSegFulManu::kFinishSegmentationQuestion = "領域分割を終了しますか？";

namespace {

std::function<void(StateSegFulManu&)>& mainHook() {
  static std::function<void(StateSegFulManu&)> hook;
  return hook;
}
std::function<void(StateSegFulManu&, TSubPane*)>& paneHook() {
  static std::function<void(StateSegFulManu&, TSubPane*)> hook;
  return hook;
}

unsigned keys() {
  TModeViewHost* h = t_modeViewHost();
  return h ? h->keyState() : 0u;
}

// The flag volume and the mask, when both have the size of the mode's voxel box.
bool flagsAndMask(const TVoxelBox& box, std::uint8_t*& flags, std::uint8_t*& mask) {
  TModeRegionData* d = t_modeRegionData();
  if (!d || !box.valid() || d->maskVoxelCount() != static_cast<std::size_t>(box.voxelCount())) return false;
  flags = d->flagVoxels();
  mask = d->maskVoxels();
  return flags && mask;
}

void dropFlags() {
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
}

}  // namespace

StateSegFulManu* StateSegFulManu::getInst() {
  static StateSegFulManu mode;
  return &mode;
}

StateSegFulManu::StateSegFulManu() {
  t_traceModeBanner("StateSegFulManu", true);
  t_traceModeBanner("StateSegFulManu", false);
}

StateSegFulManu::~StateSegFulManu() = default;

void StateSegFulManu::setDrawHooks(std::function<void(StateSegFulManu&)> main,
                                   std::function<void(StateSegFulManu&, TSubPane*)> pane) {
  mainHook() = std::move(main);
  paneHook() = std::move(pane);
}

void StateSegFulManu::OnDraw() {
  if (mainHook()) mainHook()(*this);
}

void StateSegFulManu::OnDraw2D(TSubPane* pane) {
  if (paneHook()) paneHook()(*this, pane);
}

TPaintRules StateSegFulManu::rules() const {
  TPaintRules r;
  r.refinement = m_refinement;
  r.targetId = m_targetId;
  r.fixOther = m_panel ? m_panel->isFixOtherChecked() : true;
  return r;
}

void StateSegFulManu::clearStrokes() {
  m_dragSlice = m_brush3D = m_lasso3D = m_paneBrush = m_paneLasso = false;
  m_stroke.clear();
  m_painted.clear();
}

// ---- entry ----------------------------------------------------------------------------------------

void StateSegFulManu::OnSwitched(int modeId) {
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  TModeViewHost* h = t_modeViewHost();
  // The brush is one voxel of the volume now loaded.
  double extent[3] = {1, 1, 1};
  int W = 1, H = 1, D = 1;
  if (h) {
    h->volumeExtent(extent);
    h->volumeSize(W, H, D);
  }
  m_box = TVoxelBox(W, H, D, extent);

  if (modeId == 12) {
    m_refinement = true;
    int id = -1;
    const bool ok = t_pickOneId("Select refinment target ID 修正する領域IDの選択(一つのみ)", id);
    if (!ok || id < 1 || id > 255) {
      m_targetId = 0;
      TCore::getInst().setMode(3);
      return;
    }
    m_targetId = id;
    t_flagsFromMaskId(id, 255, 0);
  } else {
    m_refinement = false;
    m_targetId = 0;
    t_fillFlags(0);
  }

  if (h) {
    const double s[3] = {0.2, 0.2, 0.2};
    h->setSlicePositions(s);
    h->updateSlices();
    h->clearCutSurface();
    h->setRenderingPanelMode(3, true, true, false, false, true);
    h->showSlicePanes();
  }
  if (m_panel) m_panel->resetControls(m_refinement, m_targetId);
  clearStrokes();
  paneZooming = panePanning = false;
  pickedLine = 0;
  dropFlags();
  t_modeRedrawAll();
}

// ---- painting -----------------------------------------------------------------------------------

bool StateSegFulManu::brushAt(const double pos[3], bool paint) {
  std::uint8_t *flags = nullptr, *mask = nullptr;
  if (!flagsAndMask(m_box, flags, mask)) return false;
  return t_paintVoxelAt(m_box, pos, flags, mask, paint, rules(), m_painted);
}

bool StateSegFulManu::paintVoxel3D(const TPoint2i& p, bool paint) {
  TModeViewHost* h = t_modeViewHost();
  double pos[3];
  if (!h || !h->pickPointOnSlices(p, pos)) return false;
  return brushAt(pos, paint);
}

bool StateSegFulManu::paneSlicePoint(TSubPane* pane, const TPoint2i& p, double pos[3]) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return false;
  const int plane = h->panePlaneId(pane);
  if (plane < 0 || plane > 2) return false;
  // The normal axis of each pane's slice: XY z, YZ x, ZX y.
  static const int kNormal[3] = {2, 0, 1};
  const int n = kNormal[plane];
  const TModeRay ray = h->paneCursorRay(pane, p);
  double s[3];
  h->getSlicePositions(s);
  const double e = m_box.extent[n];
  const double planeAt = e * s[n];
  if (ray.dir[n] == 0) return false;
  const double t = (planeAt - ray.org[n]) / ray.dir[n];
  for (int k = 0; k < 3; ++k) pos[k] = ray.org[k] + t * ray.dir[k];
  pos[n] = planeAt;
  for (int k = 0; k < 3; ++k)
    if (!(pos[k] >= 0 && pos[k] <= m_box.extent[k])) return false;
  return true;
}

bool StateSegFulManu::paintVoxel2D(TSubPane* pane, const TPoint2i& p, bool paint) {
  double pos[3];
  if (!paneSlicePoint(pane, p, pos)) return false;
  return brushAt(pos, paint);
}

void StateSegFulManu::applyLassoStroke(int plane, bool paint) {
  if (m_stroke.size() < 3) return;
  std::uint8_t *flags = nullptr, *mask = nullptr;
  TModeViewHost* h = t_modeViewHost();
  if (!h || !flagsAndMask(m_box, flags, mask)) return;
  double s[3];
  h->getSlicePositions(s);
  // The slice of each plane lies across its normal axis: XY z, YZ x, ZX y.
  static const int kNormal[3] = {2, 0, 1};
  if (plane < 0 || plane > 2) return;
  m_stroke.push_back(m_stroke.front());  // closed
  t_applyLassoStroke(m_box, m_stroke, plane, s[kNormal[plane]], paint, rules(), flags, mask);
  dropFlags();
  t_modeRedrawAll();
}

// ---- main view ----------------------------------------------------------------------------------

void StateSegFulManu::buttonDown(const TPoint2i& p, bool left) {
  (left ? lBtnHeld : rBtnHeld) = true;
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  h->setButtonHeld(true);
  const bool shift = keys() & MK_SHIFT;
  const bool paintTool = m_panel ? m_panel->isPaintChecked() : true;
  double pos[3];
  if (shift && paintTool) {
    m_brush3D = true;
    m_strokePaint = left;
    m_painted.clear();
    paintVoxel3D(p, left);
  } else if (shift) {
    m_lasso3D = true;
    m_strokePaint = left;
    m_stroke.clear();
    if (h->pickPointOnSlices(p, pos)) m_stroke.emplace_back(pos[0], pos[1], pos[2]);
  } else if (left) {
    if (h->pickSlicePlane(p, m_pickedPlane))
      m_dragSlice = true;
    else
      h->camBtnDownTranslate(p);
  } else {
    h->camBtnDownRotate(p);
  }
  h->redrawAll();
}

void StateSegFulManu::OnLBtnDown(const TPoint2i& p) { buttonDown(p, true); }
void StateSegFulManu::OnRBtnDown(const TPoint2i& p) { buttonDown(p, false); }

void StateSegFulManu::OnMouseMove(const TPoint2i& p) {
  if (!lBtnHeld && !rBtnHeld && !mBtnHeld) return;
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  double pos[3];
  if (m_brush3D) {
    paintVoxel3D(p, m_strokePaint);
  } else if (m_lasso3D) {
    if (h->pickPointOnSlices(p, pos)) m_stroke.emplace_back(pos[0], pos[1], pos[2]);
  } else if (m_dragSlice) {
    h->dragSlicePlane(p, m_pickedPlane);
  } else {
    h->camMouseMove(p);
  }
  h->redrawMainView();
}

void StateSegFulManu::buttonUp(bool left) {
  (left ? lBtnHeld : rBtnHeld) = false;
  TModeViewHost* h = t_modeViewHost();
  // A stroke ends with the button that began it.
  const bool ownStroke = (m_brush3D || m_lasso3D) && m_strokePaint == left;
  if (ownStroke) {
    dropFlags();
    if (m_lasso3D) {
      const int plane = !h ? 2 : h->isSlicePlaneShown(0) ? 0 : h->isSlicePlaneShown(1) ? 1 : 2;
      applyLassoStroke(plane, left);
    }
    m_brush3D = m_lasso3D = false;
  }
  if (left) m_dragSlice = false;
  m_stroke.clear();
  m_painted.clear();
  if (h) {
    h->setButtonHeld(lBtnHeld || rBtnHeld || mBtnHeld);
    h->camBtnUp();
    h->redrawAll();
  }
}

void StateSegFulManu::OnLBtnUp(const TPoint2i&) { buttonUp(true); }
void StateSegFulManu::OnRBtnUp(const TPoint2i&) { buttonUp(false); }

void StateSegFulManu::OnMouseWheel(unsigned, int delta, const TPoint2i& p) { t_modeWheelStepsSlice(delta, p); }

int StateSegFulManu::OnSetCursor(const TPoint2i& p) {
  if (keys() & MK_SHIFT) return 3;
  int plane = 0;
  if (TModeViewHost* h = t_modeViewHost())
    if (h->pickSlicePlane(p, plane)) return 6;
  return TModeState::OnSetCursor(p);
}

// ---- slice panes ----------------------------------------------------------------------------------

void StateSegFulManu::paneButtonDown(TSubPane* pane, const TPoint2i& p, bool left) {
  (left ? lBtnHeld : rBtnHeld) = true;
  TModeViewHost* h = t_modeViewHost();
  m_strokePane = h ? h->panePlaneId(pane) : 0;
  m_painted.clear();
  const bool shift = keys() & MK_SHIFT;
  const bool paintTool = m_panel ? m_panel->isPaintChecked() : true;
  double pos[3];
  if (shift && paintTool) {
    m_paneBrush = true;
    m_strokePaint = left;
    paintVoxel2D(pane, p, left);
  } else if (shift) {
    m_paneLasso = true;
    m_strokePaint = left;
    m_stroke.clear();
    if (paneSlicePoint(pane, p, pos)) m_stroke.emplace_back(pos[0], pos[1], pos[2]);
  } else if (left) {
    TModeState::OnLBtnDown2D(pane, p);
  } else {
    TModeState::OnRBtnDown2D(pane, p);
  }
  if (left && h) h->redrawAllPanes();
}

void StateSegFulManu::OnLBtnDown2D(TSubPane* pane, const TPoint2i& p) { paneButtonDown(pane, p, true); }
void StateSegFulManu::OnRBtnDown2D(TSubPane* pane, const TPoint2i& p) { paneButtonDown(pane, p, false); }

void StateSegFulManu::OnMouseMove2D(TSubPane* pane, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if ((m_paneBrush || m_paneLasso) && (lBtnHeld || rBtnHeld)) {
    // A stroke stays in the pane where it began.
    if (!h || h->panePlaneId(pane) != m_strokePane) return;
    double pos[3];
    if (m_paneBrush)
      paintVoxel2D(pane, p, m_strokePaint);
    else if (paneSlicePoint(pane, p, pos))
      m_stroke.emplace_back(pos[0], pos[1], pos[2]);
    h->redrawAllPanes();
    return;
  }
  TModeState::OnMouseMove2D(pane, p);
}

void StateSegFulManu::paneButtonUp(TSubPane* pane, const TPoint2i& p, bool left) {
  (left ? lBtnHeld : rBtnHeld) = false;
  TModeViewHost* h = t_modeViewHost();
  const bool ownStroke = (m_paneBrush || m_paneLasso) && m_strokePaint == left;
  if (ownStroke) {
    dropFlags();
    // A lasso released in another pane than the one it began in is dropped.
    if (m_paneLasso && h && h->panePlaneId(pane) == m_strokePane) applyLassoStroke(m_strokePane, left);
    m_paneBrush = m_paneLasso = false;
  }
  m_painted.clear();
  m_stroke.clear();
  if (left)
    TModeState::OnLBtnUp2D(pane, p);
  else
    TModeState::OnRBtnUp2D(pane, p);
}

void StateSegFulManu::OnLBtnUp2D(TSubPane* pane, const TPoint2i& p) { paneButtonUp(pane, p, true); }
void StateSegFulManu::OnRBtnUp2D(TSubPane* pane, const TPoint2i& p) { paneButtonUp(pane, p, false); }

// ---- leaving --------------------------------------------------------------------------------------

void StateSegFulManu::finishSegmentation() {
  TModeRegionData* d = t_modeRegionData();
  if (m_refinement) {
    if (t_prompts().message(kFinishRefinementQuestion, "Kestrin", PromptButtons::OkCancel,
                            PromptIcon::Information) != PromptAnswer::Ok)
      return;
    std::uint8_t *flags = nullptr, *mask = nullptr;
    if (d && m_targetId >= 1 && m_targetId <= 255 && flagsAndMask(m_box, flags, mask)) {
      const TMaskCommit r = t_commitFlagsToMask(flags, mask, m_box.voxelCount(),
                                                static_cast<std::uint8_t>(m_targetId), true);
      if (r.written > 0) d->commitRegion(m_targetId);
      // Every other region the strokes took voxels from, and the refined region when all of it
      // was erased: its surface again, or released when nothing of it is left.
      for (int k = 1; k < 256; ++k) {
        if (!r.changed[k] || !d->isIdUsed(k)) continue;
        if (k == m_targetId && r.written > 0) continue;  // rebuilt as it was committed
        if (r.voxels[k] > 0)
          d->rebuildRegionSurface(k);
        else
          d->releaseRegion(k);
      }
    }
  } else {
    if (!t_askOkCancel(kFinishSegmentationQuestion)) return;
    if (!selectIdForRegion()) return;
  }
  if (d) d->dropMaskTexture();
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}

void StateSegFulManu::cancel() {
  if (!t_askOkCancel(kCancelQuestion)) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}
