#include "modes/curve/StateSegCurveCyl.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "modes/curve/kernels/ccyl_fill.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"

const char* const StateSegCurveCyl::kNoVoxelsMessage = "there is no foreground voxels!\n";
const char* const StateSegCurveCyl::kTooFewPointsMessage = "set at least 2 control points";
const char* const StateSegCurveCyl::kCancelQuestion = "抽出結果を適用せずに 修正作業を終了しますか？";
const char* const StateSegCurveCyl::kIdTitle = "抽出された領域に付けるIDを選択してください(ひとつのみ)";

namespace {

std::function<void(StateSegCurveCyl&)>& drawHook() {
  static std::function<void(StateSegCurveCyl&)> hook;
  return hook;
}

unsigned keys() {
  TModeViewHost* h = t_modeViewHost();
  return h ? h->keyState() : 0u;
}

}  // namespace

StateSegCurveCyl* StateSegCurveCyl::getInst() {
  static StateSegCurveCyl mode;
  return &mode;
}

StateSegCurveCyl::StateSegCurveCyl() {
  t_traceModeBanner("StateSegCurveCyl", true);
  t_traceModeBanner("StateSegCurveCyl", false);
}

StateSegCurveCyl::~StateSegCurveCyl() = default;

void StateSegCurveCyl::setDrawHook(std::function<void(StateSegCurveCyl&)> hook) { drawHook() = std::move(hook); }

void StateSegCurveCyl::OnDraw() {
  if (drawHook()) drawHook()(*this);
}

// ---- entry ----------------------------------------------------------------------------------------

void StateSegCurveCyl::OnSwitched(int) {
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_input.reset();
  m_pickedCP = -1;
  // 1.2 x the mean voxel pitch.
  const double r0 = 0.4 * t_modeVoxelSizeSum();
  TModeViewHost* h = t_modeViewHost();
  if (h) {
    const double s[3] = {0.2, 0.2, 0.2};
    h->setSlicePositions(s);
    h->updateSlices();
  }
  t_modeHideSlicePanes();
  if (h) h->setRenderingPanelMode(3, true, true, true, false, false);
  if (m_panel) m_panel->updateControls(r0, 10 * r0);
  m_newCurve.clear();
  m_storedCurves.clear();
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  t_modeRedrawAll();
}

// ---- input in the main view -----------------------------------------------------------------------

int StateSegCurveCyl::pickNewCurvePoint(const TPoint2i& p) const {
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return -1;
  int idx = -1;
  return m_newCurve.pickCtrlPoint(ray.org, ray.dir, idx) ? idx : -1;
}

void StateSegCurveCyl::erasePoint(int index) {
  m_newCurve.ctrlPoints.erase(m_newCurve.ctrlPoints.begin() + index);
  m_pickedCP = -1;
  m_newCurve.updateCurve(true);
}

bool StateSegCurveCyl::placePoint(const double pos[3]) {
  m_newCurve.ctrlPoints.emplace_back(pos[0], pos[1], pos[2]);
  m_pickedCP = static_cast<int>(m_newCurve.ctrlPoints.size()) - 1;
  return true;
}

void StateSegCurveCyl::moveGrabbedPoint(const double* pos) {
  // The tube is rebuilt when the point is let go.
  if (pos && isEditing() && m_pickedCP >= 0 && m_pickedCP < static_cast<int>(m_newCurve.ctrlPoints.size()))
    m_newCurve.ctrlPoints[m_pickedCP] = TVec3(pos[0], pos[1], pos[2]);
}

void StateSegCurveCyl::pointDragEnded() {
  if (isEditing()) m_newCurve.updateCurve(true);
}

void StateSegCurveCyl::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  m_input.buttonDown(*this, p, true);
}

void StateSegCurveCyl::OnMouseMove(const TPoint2i& p) {
  if (lBtnHeld || rBtnHeld || mBtnHeld) m_input.mouseMove(*this, p);
}

void StateSegCurveCyl::OnLBtnUp(const TPoint2i&) {
  lBtnHeld = false;
  m_input.buttonUp(*this, true);
}

void StateSegCurveCyl::OnLBtnDclk(const TPoint2i& p) {
  if (isEditing()) return;
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return;
  const int idx = t_pickStoredCurve(m_storedCurves, ray.org, ray.dir);
  if (idx < 0) return;
  m_newCurve = m_storedCurves[idx];
  m_storedCurves.erase(m_storedCurves.begin() + idx);
  if (m_panel) m_panel->startStoredCurveEditing(m_newCurve.tube.radius, m_newCurve.selected);
  h->redrawMainView();
}

int StateSegCurveCyl::OnSetCursor(const TPoint2i& p) {
  const unsigned k = keys();
  const bool editing = isEditing();
  if (k & MK_CONTROL) return 4;
  if ((k & MK_SHIFT) && editing) return pickNewCurvePoint(p) >= 0 ? 8 : 5;
  if ((k & MK_ALT) && editing) return 9;
  int plane = 0;
  if (TModeViewHost* h = t_modeViewHost())
    if (h->pickSlicePlane(p, plane)) return 8;
  return 0;
}

// ---- panel operations -----------------------------------------------------------------------------

void StateSegCurveCyl::beginNewCurve(double radius) {
  m_newCurve.clear();
  m_newCurve.selected = 1;
  m_newCurve.tube.radius = radius;
  m_pickedCP = -1;
  m_input.reset();
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}

void StateSegCurveCyl::selectCandidate(int selected) {
  if (selected < 0 || selected > 3) return;
  m_newCurve.selected = selected;
  m_newCurve.updateCurve(false);
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}

void StateSegCurveCyl::setNewCurveRadius(double radius) {
  m_newCurve.tube.radius = radius;
  m_newCurve.updateCurve(false);
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}

void StateSegCurveCyl::deleteNewCurve() {
  m_newCurve.clear();
  m_pickedCP = -1;
  m_input.reset();
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}

void StateSegCurveCyl::deleteAllCurves() {
  m_storedCurves.clear();
  deleteNewCurve();
}

void StateSegCurveCyl::storeNewCurve() {
  if (m_newCurve.ctrlPoints.size() < 2)
    t_info(kTooFewPointsMessage);
  else
    m_storedCurves.push_back(m_newCurve);
  deleteNewCurve();
}

void StateSegCurveCyl::cancelSegmentation() {
  if (!t_askOkCancel(kCancelQuestion)) return;
  m_newCurve.clear();
  m_storedCurves.clear();
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}

void StateSegCurveCyl::finishSegmentation() {
  TModeRegionData* d = t_modeRegionData();
  TModeViewHost* h = t_modeViewHost();
  if (!d || !h) return;
  int W = 0, H = 0, D = 0;
  double ext[3] = {1, 1, 1};
  h->volumeSize(W, H, D);
  h->volumeExtent(ext);
  const std::size_t n = d->maskVoxelCount();
  if (W <= 0 || H <= 0 || D <= 0 || n != std::size_t(W) * std::size_t(H) * std::size_t(D)) return;
  const double pitch[3] = {ext[0] / W, ext[1] / H, ext[2] / D};

  // Region 0 is the background, not a region: refused like the ids beyond the table.
  int id = -1;
  if (!t_pickOneId(kIdTitle, id)) return;
  if (id < 1 || id > 255 || d->isIdUsed(id)) return;

  const std::vector<Tstroke3D_tube> tubes =
      t_collectCurveTubes(m_storedCurves, isEditing() ? &m_newCurve : nullptr);
  std::uint8_t* flag = d->flagVoxels();
  std::uint8_t* mask = d->maskVoxels();
  t_progressStart(kProgressCaption, 0);
  const TCCylFillResult r =
      t_fillCurvedCylinders(flag, mask, W, H, D, pitch, tubes, id, [](int percent) { t_progressStep(percent); });
  t_progressEnd();
  if (r.refused) return;
  if (r.filled == 0) {
    t_info(kNoVoxelsMessage);
    return;
  }
  d->dropMaskTexture();
  d->commitRegion(id);
  // The regions that gave voxels to the new one get their surface again, or go when nothing of
  // them is left.
  bool any = false;
  for (int k = 1; k < 256; ++k) any |= r.taken[k] && k != id;
  if (any) {
    std::vector<std::size_t> kept(256, 0);
    for (std::size_t i = 0; i < n; ++i) ++kept[mask[i]];
    for (int k = 1; k < 256; ++k) {
      if (!r.taken[k] || k == id || !d->isIdUsed(k)) continue;
      if (kept[k] > 0)
        d->rebuildRegionSurface(k);
      else
        d->releaseRegion(k);
    }
  }
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}
