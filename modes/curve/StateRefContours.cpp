#include "modes/curve/StateRefContours.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "geom/marching_cubes.h"
#include "geom/umfpack_component.h"
#include "modes/region/kernels/graph_cut.h"
#include "platform/LargeMemory.h"
#include "platform/Prompt.h"

using Check = TDlgRefContoursIf::Check;

const char* const StateRefContours::kInvalidIdMessage =
    " invalid mask id is selected. System swhich to VizMask Mode\n please select a already segmented mask id";
const char* const StateRefContours::kIdTitle = "修正する対象領域のIDを選択してください";
const char* const StateRefContours::kFinishQuestion = "修正作業を終了しますか？";
const char* const StateRefContours::kEraseAllQuestion = "すべての輪郭fiberを消しますか？";
const char* const StateRefContours::kEraseAllKeyQuestion = "Do you want erase all fibers?";
const char* const StateRefContours::kNoSolverMessage = "UmfpackDllが見つからないため、動作が多少重くなります";
const char* const StateRefContours::kWriteFailedMessage = "tmp.cntrs could not be written completely";
const char* const StateRefContours::kBusyMessage = "The region is being relabelled. Please try again in a moment.";
const char* const StateRefContours::kNoMemoryMessage =
    "There is not enough memory to refine a region of this volume: contour refinement ends and the "
    "mask stays as it was.";
const char* const StateRefContours::kRelabelNoMemoryMessage =
    "There is not enough memory to take this edit into the region: the surface shows it, the region "
    "does not. Free some memory and edit again; \"Finish\" would commit the region without it.";
const char* const StateRefContours::kRelabelNoSurfaceMessage =
    "The edited surface is not closed, so the region could not follow this edit; \"Finish\" would "
    "commit the region without it.";
const char* const StateRefContours::kRelabelMismatchMessage =
    "The edited surface no longer matches the volume, so the region could not follow this edit; "
    "\"Finish\" would commit the region without it.";
const char* const StateRefContours::kRelabelFailedMessage =
    "The region could not follow this edit: its relabelling failed. \"Finish\" would commit the "
    "region without it.";
const char* const StateRefContours::kRelabelNotHandedMessage =
    "The relabelling of this edit could not be handed back to the window, so the region does not "
    "hold it; \"Finish\" would commit the region without it.";
const char* const StateRefContours::kPostCutNoMemoryMessage =
    "There is not enough memory for the graph cut: the region stays as it was.";
const char* const StateRefContours::kFinishNoSurfaceMemoryMessage =
    "The region was written into the mask, but there was not enough memory to build its surface "
    "again: the 3-D view may show the old surface until the region is rebuilt.";
const char* const StateRefContours::kLastEditMissingNote =
    "The region does not hold the last edit of the surface (it could not be taken into the region): "
    "it is committed as it stood before that edit.";
const char* const StateRefContours::kNoVoxelChangedNote =
    "No voxel changed: the fiber was dragged along the surface (a fiber on a flat face, as on a thin "
    "region, slides on it); the surface and the fiber stay where they were. Drag it off the surface, "
    "e.g. outwards at the rim.";
const char* const StateRefContours::kGeometryBusyMessage =
    "The contour refinement works on the region surface built for the current voxel pitch: "
    "finish it (or switch the mode) before changing the pitch.";

namespace {

StateRefContours::ViewHooks& hooks() {
  static StateRefContours::ViewHooks h;
  return h;
}

unsigned keys() {
  TModeViewHost* h = t_modeViewHost();
  return h ? h->keyState() : 0u;
}

}  // namespace

void StateRefContours::setViewHooks(ViewHooks h) { hooks() = std::move(h); }

StateRefContours* StateRefContours::getInst() {
  static StateRefContours mode;
  return &mode;
}

StateRefContours::StateRefContours() {
  t_traceModeBanner("StateRefContours", true);
  t_traceModeBanner("StateRefContours", false);
}

StateRefContours::~StateRefContours() { m_worker.stop(); }

bool StateRefContours::camera(TFiberView& v) const { return hooks().camera && hooks().camera(v); }

const TTriangleMesh* StateRefContours::cutSurface() const {
  return hooks().cutSurface ? hooks().cutSurface() : nullptr;
}

void StateRefContours::voxelSize(double s[3]) const {
  double ext[3] = {1, 1, 1};
  int n[3] = {1, 1, 1};
  if (TModeViewHost* h = t_modeViewHost()) {
    h->volumeExtent(ext);
    h->volumeSize(n[0], n[1], n[2]);
  }
  for (int k = 0; k < 3; ++k) s[k] = ext[k] / (n[k] > 0 ? n[k] : 1);
}

int StateRefContours::roiRingCount() const {
  if (isChecked(Check::RoiSmall)) return 8;
  if (isChecked(Check::RoiMiddle)) return 14;
  return 20;
}

void StateRefContours::checkOnly(Check on, std::initializer_list<Check> off) {
  if (!m_panel) return;
  m_panel->setChecked(on, true);
  for (Check c : off) m_panel->setChecked(c, false);
}

// ---- entry ----------------------------------------------------------------------------------------

void StateRefContours::OnSwitched(int) {
  std::fputs("\nStateRefContours::OnSwitched\n", stderr);
  // Labels of an earlier refinement must not land in this one.
  m_worker.cancel();
  m_worker.wait();
  releaseEntry();
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_rubbing = m_dragging = m_cutting = m_overDrawing = false;
  m_screenStroke.clear();
  m_stroke3D.clear();
  if (m_panel) m_panel->updateControls();
  m_scene.clearAllFibers();
  m_scene.targetId = -1;

  int id = -1;
  const bool ok = t_pickOneId(kIdTitle, id);
  TModeRegionData* d = t_modeRegionData();
  if (!ok || id < 1 || id > 255 || !d || !d->isIdUsed(id)) {
    t_info(kInvalidIdMessage);
    m_scene.targetId = -1;
    TCore::getInst().setMode(3);
    return;
  }
  // The record of the entry stays beside the labels until the mode ends, and a relabelling
  // rasterises the surface into a byte per voxel of its own (one runs at a time, and its
  // result replaces the one waiting): both are asked for before anything is changed.
  TModeViewHost* h = t_modeViewHost();
  std::vector<std::uint8_t> entryInside;
  if (h) {
    int W = 0, H = 0, D = 0;
    h->volumeSize(W, H, D);
    const std::size_t n = d->maskVoxelCount();
    const std::int64_t avail = t_availableMemoryBytes();
    bool fits = n <= entryInside.max_size() / 2 && (avail <= 0 || std::int64_t(2 * n) <= avail);
    if (fits && W > 0 && H > 0 && D > 0 && n == std::size_t(W) * std::size_t(H) * std::size_t(D)) {
      try {
        entryInside.resize(n);
      } catch (const std::bad_alloc&) {
        fits = false;
      }
    }
    if (!fits) {
      t_warn(kNoMemoryMessage);
      TCore::getInst().setMode(3);
      return;
    }
  }
  m_scene.targetId = id;
  m_holdsSurface = true;
  m_lastEditMissing = m_toldEditMissing = false;
  t_flagsFromMaskId(id, 6, 0);
  if (h) {
    h->updateSlices();
    h->redrawAllPanes();
    h->setRenderingPanelMode(0, false, false, false, false, false);
  }
  if (!buildRegionMesh(id, std::move(entryInside))) {
    // Out of memory on the way: the mask was not touched; nothing of the surface stays.
    releaseEntry();
    m_holdsSurface = false;
    m_scene.targetId = -1;
    t_warn(kNoMemoryMessage);
    TCore::getInst().setMode(3);
    return;
  }
  if (!g_umfpackDllLoaded) t_info(kNoSolverMessage);
  if (d) d->dropFlagTexture();
  t_modeRedrawAll();
}

bool StateRefContours::buildRegionMesh(int id, std::vector<std::uint8_t> entryInside) {
  try {
    buildRegionMeshOrThrow(id, std::move(entryInside));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void StateRefContours::buildRegionMeshOrThrow(int id, std::vector<std::uint8_t> entryInside) {
  m_scene.setRegionMesh(TTriangleMesh());
  m_entryInside.reset();
  int step = 1, umbrella = 1, lm = 1;
  TCoreWiring& w = TCore::wiring();
  if (w.askSurfaceParams && !w.askSurfaceParams(step, umbrella, lm)) return;
  TModeRegionData* d = t_modeRegionData();
  TModeViewHost* h = t_modeViewHost();
  if (!d || !h) return;
  int W = 0, H = 0, D = 0;
  double ext[3] = {1, 1, 1};
  h->volumeSize(W, H, D);
  h->volumeExtent(ext);
  const std::size_t n = d->maskVoxelCount();
  if (W <= 0 || H <= 0 || D <= 0 || n != std::size_t(W) * std::size_t(H) * std::size_t(D) || !d->maskVoxels()) return;
  TTriangleMesh mesh;
  t_marchingCubesMaskRegion(W, H, D, d->maskVoxels(), static_cast<uint32_t>(id), ext, mesh, std::max(step, 1));
  mesh.smoothUmbrella(umbrella);
  m_scene.setRegionMesh(mesh);
  m_scene.remesh(0.2);
  m_scene.regionMesh.updateNormals();
  if (!m_scene.regionMesh.checkTopology()) t_info("winged edge has error!");
  if (entryInside.size() == n && d->flagVoxels()) {  // sized at entry: filled without a new allocation
    // The region at entry: the working labels were just set from it.
    t_refEntryRaster(W, H, D, ext, m_scene.regionMesh, d->flagVoxels(), entryInside);
    m_entryInside = std::make_shared<const std::vector<std::uint8_t>>(std::move(entryInside));
  }
}

// ---- leaving --------------------------------------------------------------------------------------

void StateRefContours::hidePanels() {
  // Every mode switch passes here first: a relabelling of this refinement must not reach the
  // flag volume of the next mode (or of the next volume).
  m_worker.cancel();
  m_worker.wait();
  m_holdsSurface = false;
  // The record of the entry is a byte a voxel: the next mode has the memory back.
  releaseEntry();
  TPanelMode<TDlgRefContoursIf>::hidePanels();
}

void StateRefContours::releaseEntry() {
  m_entryInside.reset();
  m_scene.dropped.reset();
}

// ---- relabelling ----------------------------------------------------------------------------------

void StateRefContours::startMaskUpdateThread() {
  TModeRegionData* d = t_modeRegionData();
  TModeViewHost* h = t_modeViewHost();
  // Without the record of the entry there is no surface either (the surface dialog was cancelled).
  if (!d || !h || m_scene.targetId < 0 || !m_entryInside) return;
  auto job = std::make_unique<TRelabelJob>();
  h->volumeSize(job->W, job->H, job->D);
  h->volumeExtent(job->extent);
  const std::size_t n = d->maskVoxelCount();
  if (!d->flagVoxels() || n == 0 || n != std::size_t(job->W) * std::size_t(job->H) * std::size_t(job->D)) return;
  try {
    job->mesh.copyFrom(m_scene.regionMesh);
    job->entry = m_entryInside;
    double vs[3];
    voxelSize(vs);
    job->moved = t_refMovedPoints(m_scene.regionMesh, m_scene.initialPositions, vs);
    job->dropped = m_scene.dropped;
  } catch (const std::bad_alloc&) {
    // Older results would not hold this edit either.
    m_worker.cancel();
    job->outcome = TRelabelOutcome::NoMemory;
    applyRelabelResult(*job);
    return;
  }
  if (!h->postToInterface([] {})) {
    // No interface thread to hand a result back to: relabel here and now.
    m_worker.cancel();
    t_relabelByRoiMesh(*job);
    applyRelabelResult(*job);
    return;
  }
  m_worker.submit(std::move(job), [this, h] { return h->postToInterface([this] { takeRelabelResult(); }); });
}

void StateRefContours::takeRelabelResult() {
  std::unique_ptr<TRelabelJob> r = m_worker.take();
  if (r) applyRelabelResult(*r);  // else overtaken by a newer edit, cancelled, or already taken
}

void StateRefContours::applyRelabelResult(const TRelabelJob& r) {
  TModeRegionData* d = t_modeRegionData();
  if (!d || m_scene.targetId < 0 || !d->flagVoxels()) return;
  const TRelabelOutcome outcome =
      r.outcome == TRelabelOutcome::Done && d->maskVoxelCount() != r.labels.size() ? TRelabelOutcome::Mismatch : r.outcome;
  switch (outcome) {
    case TRelabelOutcome::Done: break;
    case TRelabelOutcome::NoMemory: tellEditMissing(kRelabelNoMemoryMessage); return;
    case TRelabelOutcome::NoSurface: tellEditMissing(kRelabelNoSurfaceMessage); return;
    case TRelabelOutcome::Mismatch: tellEditMissing(kRelabelMismatchMessage); return;
    case TRelabelOutcome::Stale:  // never handed over
    case TRelabelOutcome::Failed: tellEditMissing(kRelabelFailedMessage); return;
  }
  std::memcpy(d->flagVoxels(), r.labels.data(), r.labels.size());
  m_lastEditMissing = m_toldEditMissing = false;
  m_relabelled.store(true, std::memory_order_release);
  d->dropFlagTexture();
  t_modeRedrawAll();
}

void StateRefContours::tellEditMissing(const char* text) {
  // The labels stay those of the last edit that could be taken in.
  m_lastEditMissing = true;
  std::fprintf(stderr, "%s\n", text);
  if (!m_toldEditMissing) {
    m_toldEditMissing = true;
    t_warn(text);
  } else if (TModeViewHost* h = t_modeViewHost()) {
    h->showStatusText(text);
  }
}

void StateRefContours::settleRelabelling() {
  m_worker.wait();
  takeRelabelResult();
  if (m_worker.handOverLost()) tellEditMissing(kRelabelNotHandedMessage);
  // Anything that would still arrive is older than what follows.
  m_worker.cancel();
}

void StateRefContours::deformAndRelabel(int mode) {
  double vs[3];
  voxelSize(vs);
  if (m_scene.updateRoiMeshByNewFiberShape(mode, vs)) startMaskUpdateThread();
}

// ---- mouse ----------------------------------------------------------------------------------------

bool StateRefContours::pickCutSurface(const TFiberView& v, const TPoint2i& p, double out[3]) const {
  const TTriangleMesh* cut = cutSurface();
  if (!cut || cut->polyCount == 0) return false;
  double o[3], dir[3];
  v.cursorRay(p.x, p.y, o, dir);
  int poly = -1;
  return TTriangleMesh::pickByRay(o, dir, *cut, poly, out, 0);
}

void StateRefContours::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  TModeViewHost* h = t_modeViewHost();
  if (h) h->setButtonHeld(true);
  const unsigned k = keys();
  const bool erase = isChecked(Check::EraseMode);
  TFiberView v;
  const bool haveView = camera(v);
  double pos[3];
  if ((k & MK_CONTROL) && !erase) {
    m_cutting = true;
    m_screenStroke.assign(1, TVec3(p.x, p.y, 0.0));
    m_stroke3D.clear();
    if (haveView && v.unProject(p.x, p.y, 0.8, pos)) m_stroke3D.emplace_back(pos[0], pos[1], pos[2]);
  } else if ((k & MK_SHIFT) && !erase && isChecked(Check::OverDraw)) {
    if (!m_scene.newFibers.empty()) {
      m_stroke3D.clear();
      if (haveView && pickCutSurface(v, p, pos)) {
        m_stroke3D.emplace_back(pos[0], pos[1], pos[2]);
        m_overDrawing = true;
      }
    }
  } else if ((k & MK_SHIFT) && !erase) {
    if (haveView && m_scene.startDrag(v, p.x, p.y, m_circleSize)) m_dragging = true;
  } else if ((k & MK_ALT) && !erase) {
    if (!m_scene.newFibers.empty()) m_rubbing = true;
  } else if (h) {
    h->camBtnDownTranslate(p);
  }
}

void StateRefContours::OnMouseMove(const TPoint2i& p) {
  m_cursor = p;
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  if (lBtnHeld) {
    TFiberView v;
    const bool haveView = camera(v);
    double pos[3];
    if (m_cutting) {
      m_screenStroke.emplace_back(p.x, p.y, 0.0);
      if (haveView && v.unProject(p.x, p.y, 0.8, pos)) m_stroke3D.emplace_back(pos[0], pos[1], pos[2]);
    } else if (m_dragging) {
      if (haveView) m_scene.moveDrag(v, p.x, p.y, cutSurface());
    } else if (m_overDrawing) {
      if (haveView && pickCutSurface(v, p, pos)) m_stroke3D.emplace_back(pos[0], pos[1], pos[2]);
    } else if (m_rubbing) {
      TFiberVolume vol;
      TModeRegionData::VolumeValues vv;
      TModeRegionData* d = t_modeRegionData();
      if (d && d->volumeValues(vv)) {
        vol.W = vv.W, vol.H = vv.H, vol.D = vv.D;
        vol.gradient = vv.gradient;
      }
      h->volumeExtent(vol.extent);
      const int passes = m_panel ? m_panel->smoothingRate() : 8;
      if (haveView) m_scene.rubFiber(v, p.x, p.y, passes, isChecked(Check::RubSnakes), vol);
    } else {
      h->camMouseMove(p);
    }
    h->redrawAll();
  } else if (rBtnHeld || mBtnHeld) {
    h->camMouseMove(p);
    h->redrawAll();
  } else if (keys() & (MK_SHIFT | MK_ALT)) {
    // The cursor circle follows the mouse.
    h->setButtonHeld(true);
    h->redrawMainView();
    h->setButtonHeld(false);
  }
}

void StateRefContours::OnLBtnUp(const TPoint2i&) {
  TModeViewHost* h = t_modeViewHost();
  double vs[3];
  voxelSize(vs);
  if (m_cutting) {
    if (h) h->clearCutSurface();
    m_scene.clearNewFibers();
    for (double& e : m_scene.lastCutEye) e = 0.0;
    m_scene.lastCutStroke.clear();
    TFiberView v;
    if (m_screenStroke.size() > 3 && camera(v)) {
      if (h) {
        // The renderer keeps its own processed copy of the stroke.
        std::vector<std::array<double, 3>> stroke;
        for (const TVec3& q : m_stroke3D) stroke.push_back({q[0], q[1], q[2]});
        h->genCutSurfaceFromStroke(stroke);
      }
      m_scene.createFibersAndRoiMesh(m_screenStroke, v, roiRingCount());
      for (int k = 0; k < 3; ++k) m_scene.lastCutEye[k] = v.eye[k];
      m_scene.lastCutStroke = m_stroke3D;
    }
  } else if (m_dragging) {
    if (m_scene.endDrag(vs))
      startMaskUpdateThread();
    else if (m_scene.lastDragAlongSurface() && h)
      h->showStatusText(kNoVoxelChangedNote);  // surface, fiber and voxels stay as they were
  } else if (m_rubbing) {
    if (m_scene.endRub(vs)) startMaskUpdateThread();
  } else if (m_overDrawing) {
    std::string message;
    if (m_scene.overDrawFiber(m_stroke3D, vs, &message))
      startMaskUpdateThread();
    else if (!message.empty())
      t_info(message);
  }
  if (h) h->camBtnUp();
  lBtnHeld = false;
  m_rubbing = m_dragging = m_cutting = m_overDrawing = false;
  m_scene.selectedCrossPoint = -1;
  m_screenStroke.clear();
  m_stroke3D.clear();
  if (h) {
    h->setButtonHeld(false);
    h->redrawAll();
  }
}

void StateRefContours::OnRBtnDown(const TPoint2i& p) {
  rBtnHeld = true;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(true);
    h->camBtnDownRotate(p);
    h->redrawAll();
  }
}

void StateRefContours::OnMBtnUp(const TPoint2i&) {
  mBtnHeld = false;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(false);
    h->camBtnUp();
    h->redrawAll();
  }
}

void StateRefContours::OnLBtnDclk(const TPoint2i& p) {
  if (!isChecked(Check::EraseMode)) return;
  TFiberView v;
  if (!camera(v)) return;
  TFiberPick pick;
  if (t_pickFiberPoint(p.x, p.y, v, m_scene.newFibers, pick) && t_askYesNoCancel("erase fiber") == PromptAnswer::Yes) {
    std::string message;
    const std::shared_ptr<const TRefDropped> before = m_scene.dropped;
    if (!m_scene.eraseNewFiber(pick.fiber, roiRingCount(), &message)) {
      if (!message.empty()) t_info(message);
      // Refused after the surface was cut: the region follows the cut surface all the same.
      if (m_scene.dropped != before) startMaskUpdateThread();
      t_modeRedrawAll();
      return;  // the check box stays on
    }
    startMaskUpdateThread();
  } else if (t_pickFiberPoint(p.x, p.y, v, m_scene.storedFibers, pick) &&
             t_askYesNoCancel("erase pre-defined fiber") == PromptAnswer::Yes) {
    m_scene.eraseStoredFiber(pick.fiber, roiRingCount());
    startMaskUpdateThread();
  }
  if (m_panel) m_panel->setChecked(Check::EraseMode, false);
  t_modeRedrawAll();
}

void StateRefContours::OnMouseWheel(unsigned flags, int delta, const TPoint2i&) {
  if (!((flags | keys()) & MK_SHIFT)) return;
  m_circleSize = std::max(5e-5, m_circleSize + (delta > 0 ? 5e-5 : -5e-5));
  t_modeRedrawAll();
}

void StateRefContours::OnKeyDown(int key, int, unsigned) {
  switch (key) {
    case '1': checkOnly(Check::Normal, {Check::Image, Check::Def, Check::VolInit, Check::VolRef}); break;
    case '2': checkOnly(Check::Image, {Check::Normal, Check::Def, Check::VolInit, Check::VolRef}); break;
    case '3': checkOnly(Check::Def, {Check::Normal, Check::Image, Check::VolInit, Check::VolRef}); break;
    case '4': checkOnly(Check::Edges, {}); break;
    case '5': checkOnly(Check::VolInit, {Check::Normal, Check::Image, Check::Def, Check::VolRef}); break;
    case '6': checkOnly(Check::VolRef, {Check::Normal, Check::Image, Check::Def, Check::VolInit}); break;
    case '7': checkOnly(Check::Fibers, {}); break;
    case '8': checkOnly(Check::ForeHL, {}); break;
    case 'F': storeFiber(); break;
    case 'D':
      if (t_askYesNoCancel(kEraseAllKeyQuestion) == PromptAnswer::Yes) eraseAllFibers();
      break;
    case 'M':
      std::fputs(" hit M laplacian preserving mesh editing\n", stderr);
      if (!m_scene.newFibers.empty()) deformAndRelabel(2);
      break;
    case 'N':
      std::fputs(" hit N FiberMesh\n", stderr);
      if (!m_scene.newFibers.empty()) deformAndRelabel(3);
      break;
    default: return;
  }
  t_modeRedrawAll();
}

int StateRefContours::OnSetCursor(const TPoint2i& p) {
  const unsigned k = keys();
  if (isChecked(Check::EraseMode)) return 9;
  if (k & MK_CONTROL) return 4;
  if ((k & MK_SHIFT) && isChecked(Check::OverDraw)) return 3;
  if (k & MK_SHIFT) return 8;
  if (k & MK_ALT) return 7;
  return TModeState::OnSetCursor(p);
}

void StateRefContours::OnDraw() {
  if (m_relabelled.exchange(false, std::memory_order_acq_rel))
    if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  if (hooks().draw) hooks().draw(*this);
}

void StateRefContours::OnDraw2D(TSubPane* pane) {
  // The entry shows the three panes: they show the slices, not an empty picture.
  if (hooks().drawPane) hooks().drawPane(pane);
}

// ---- panel operations -----------------------------------------------------------------------------

void StateRefContours::storeFiber() {
  if (TModeViewHost* h = t_modeViewHost()) h->clearCutSurface();
  // The file stays in the current directory, where its readers look for it.
  if (m_scene.storeFiber("tmp.cntrs") == TContoursWrite::WriteFailed) t_warn(kWriteFailedMessage);
}

void StateRefContours::eraseAllFibers() {
  if (!t_askOkCancel(kEraseAllQuestion)) return;
  if (TModeViewHost* h = t_modeViewHost()) h->clearCutSurface();
  m_scene.clearAllFibers();
}

void StateRefContours::postRunGraphCut() {
  TModeRegionData* d = t_modeRegionData();
  TModeRegionData::VolumeValues vv;
  if (!d || m_scene.targetId < 0 || !d->volumeValues(vv) || !d->flagVoxels()) return;
  const std::size_t n = d->maskVoxelCount();
  if (n != std::size_t(vv.W) * std::size_t(vv.H) * std::size_t(vv.D)) return;
  settleRelabelling();
  // The cut works on flags of its own; the labels change only once it has succeeded.
  std::string refusal;
  bool ok = false;
  std::vector<std::uint8_t> flags;
  try {
    flags.resize(n);
    t_refLabelsToCutFlags(d->flagVoxels(), n, flags.data());
    ok = t_graphCutVoxelLevel(vv.W, vv.H, vv.D, 2, 1000.0, vv.ch[0], vv.channels > 1 ? vv.ch[1] : nullptr,
                              vv.channels > 2 ? vv.ch[2] : nullptr, flags.data(), &refusal);
  } catch (const std::bad_alloc&) {
    std::vector<std::uint8_t>().swap(flags);
    t_warn(kPostCutNoMemoryMessage);
    return;
  }
  if (!ok) {
    if (!refusal.empty()) t_info(refusal);
    return;
  }
  t_refLabelsFromCutFlags(flags.data(), n, d->flagVoxels());
  d->dropFlagTexture();
}

void StateRefContours::finishEditing() {
  if (m_scene.targetId < 0) return;
  // The labels of the last edit, not of some earlier one; and the question says so where the
  // last edit could not be taken in.
  settleRelabelling();
  const std::string question =
      m_lastEditMissing ? std::string(kLastEditMissingNote) + "\n\n" + kFinishQuestion : std::string(kFinishQuestion);
  if (t_prompts().message(question, "Kestrin", PromptButtons::OkCancel, PromptIcon::Information) != PromptAnswer::Ok)
    return;
  TModeRegionData* d = t_modeRegionData();
  if (!d || !d->flagVoxels() || !d->maskVoxels()) return;
  const std::size_t n = d->maskVoxelCount();
  // Straight from the working labels: the commit needs no memory of its own.
  std::uint8_t* mask = d->maskVoxels();
  const int id = m_scene.targetId;
  bool touched[256] = {};
  t_commitRefLabels(d->flagVoxels(), n, mask, id, touched);
  d->dropMaskTexture();
  try {
    d->commitRegion(id);
    std::array<std::size_t, 256> kept{};
    bool any = false;
    for (bool t : touched) any = any || t;
    if (any)
      for (std::size_t i = 0; i < n; ++i) ++kept[mask[i]];
    for (int k = 1; k < 256; ++k) {
      if (!touched[k] || k == id || !d->isIdUsed(k)) continue;
      if (kept[k] > 0)
        d->rebuildRegionSurface(k);
      else
        d->releaseRegion(k);
    }
  } catch (const std::bad_alloc&) {
    // The mask holds the refined region; only a surface for the 3-D view is missing.
    t_warn(kFinishNoSurfaceMemoryMessage);
  }
  if (TModeViewHost* h = t_modeViewHost()) h->clearCutSurface();
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}
