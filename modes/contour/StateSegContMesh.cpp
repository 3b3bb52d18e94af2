#include "modes/contour/StateSegContMesh.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <utility>

#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "geom/TDenseSqMat.h"
#include "geom/marching_cubes.h"
#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"
#include "implicit/rbf.h"
#include "modes/contour/contour_edit.h"
#include "modes/contour/rbf_fib_file.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"

const char* const StateSegContMesh::kBusyMessage = "現在領域計算中のため、この処理は実行できません";
const char* const StateSegContMesh::kUpdateBusyMessage = "現在抽出領域更新中のため、この処理は実行できません";
const char* const StateSegContMesh::kStoreBusyMessage = "領域計算中...この処理は実行できません";
const char* const StateSegContMesh::kPanelBusyMessage = "The system is computing segmentation, wait a moment...";
const char* const StateSegContMesh::kNoCanvasMessage = "Set canvas (cross section) before adding a new contour...";
const char* const StateSegContMesh::kTooFewPointsMessage = "3点以上指定してください";
const char* const StateSegContMesh::kCancelQuestion = "抽出結果を適用せずに 修正作業を終了しますか？";
const char* const StateSegContMesh::kEraseQuestion = "Erase this contour?";

namespace {

constexpr const char* kNoMemoryMessage =
    "Not enough memory for the region computation: the region is unchanged.";

std::function<void(StateSegContMesh&)>& drawHook() {
  static std::function<void(StateSegContMesh&)> hook;
  return hook;
}

std::function<bool(TTriangleMesh&)>& cutSurfaceHook() {
  static std::function<bool(TTriangleMesh&)> hook;
  return hook;
}

unsigned keys() {
  TModeViewHost* h = t_modeViewHost();
  return h ? h->keyState() : 0u;
}

void redrawMain() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}

void dropFlagTexture() {
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
}

void axisQuad(ClipSurface& canvas, const TVec3 v[4]) {
  TTriangleMesh m;
  m.initFromVertsPolys({v[0], v[1], v[2], v[3]}, {TPolyIdx{0, 1, 2}, TPolyIdx{0, 2, 3}});
  canvas.setFromMesh(m);
}

}  // namespace

StateSegContMesh* StateSegContMesh::getInst() {
  static StateSegContMesh mode;
  return &mode;
}

StateSegContMesh::StateSegContMesh() {
  t_traceModeBanner("StateSegContMesh", true);
  t_traceModeBanner("StateSegContMesh", false);
}

StateSegContMesh::~StateSegContMesh() { stopWorkers(); }

void StateSegContMesh::setDrawHook(std::function<void(StateSegContMesh&)> hook) { drawHook() = std::move(hook); }

void StateSegContMesh::setCutSurfaceHook(std::function<bool(TTriangleMesh&)> hook) {
  cutSurfaceHook() = std::move(hook);
}

void StateSegContMesh::OnDraw() {
  takeNewResult();
  if (drawHook()) drawHook()(*this);
}

void StateSegContMesh::takeNewResult() {
  if (!m_newResult) return;
  m_displayed.copyFrom(m_computed);
  m_newResult = false;
  dropFlagTexture();
}

// ---- workers --------------------------------------------------------------------------------------

void StateSegContMesh::stopWorkers() {
  if (m_stop) m_stop->store(true);
  m_worker.join();
  // A result still on its way is dropped.
  ++m_generation;
  if (m_running.load(std::memory_order_acquire)) {
    m_running.store(false, std::memory_order_release);
    t_progressEnd();
    if (dlg()) dlg()->setBusy(false);
  }
}

bool StateSegContMesh::refuseWhileComputing(const char* text) const {
  if (!isComputing()) return false;
  t_info(text);
  return true;
}

bool StateSegContMesh::refuseWithoutFeatures() const {
  if (!m_featuresMissing) return false;
  t_warn(kFeaturesMissingMessage);
  return true;
}

void StateSegContMesh::runWorker(std::function<void()> work, std::function<void()> apply) {
  // Marked running before anything starts: no second run can slip in between.
  m_running.store(true, std::memory_order_release);
  const unsigned gen = ++m_generation;
  if (dlg()) dlg()->setBusy(true);
  TModeViewHost* host = t_modeViewHost();
  // Without an interface thread to hand the result back to, the work is done here and now.
  if (!host || !host->postToInterface([] {})) {
    work();
    apply();
    endRun(gen);
    return;
  }
  m_worker.join();  // the previous run has handed its result over and is ending
  m_worker.start([this, host, gen, work = std::move(work), apply = std::move(apply)]() mutable {
    work();
    host->postToInterface([this, gen, apply = std::move(apply)] {
      if (gen != m_generation) return;  // stopped, or replaced by a mode entry
      apply();
      endRun(gen);
    });
  });
}

void StateSegContMesh::endRun(unsigned generation) {
  if (generation != m_generation) return;
  m_running.store(false, std::memory_order_release);
  if (dlg()) dlg()->setBusy(false);
  t_modeRedrawAll();
}

void StateSegContMesh::dropFactor() {
  // Never waits: a running worker owns the cache, and the version bump that goes with every
  // change of the stored contours keeps it from using a stale factor.
  std::unique_lock<std::mutex> lk(m_lock, std::try_to_lock);
  if (lk.owns_lock()) m_cache.drop();
}

int StateSegContMesh::cachedFactorSize() {
  std::unique_lock<std::mutex> lk(m_lock, std::try_to_lock);
  if (!lk.owns_lock()) return -1;
  return m_cacheVersion == m_version ? m_cache.size() : 0;
}

// ---- entry ----------------------------------------------------------------------------------------

void StateSegContMesh::OnSwitched(int) {
  // A run of an earlier entry works on contours that are about to go: wait for it and drop its
  // result.
  stopWorkers();
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  lBtnHeld = rBtnHeld = mBtnHeld = false;

  TModeRegionData::VolumeValues v;
  TModeRegionData* d = t_modeRegionData();
  const bool haveVolume = d && d->volumeValues(v) && v.W > 0 && v.H > 0 && v.D > 0;
  const TCoreWiring& w = TCore::wiring();
  m_channels = std::max(1, std::min(3, w.channelCount ? w.channelCount() : haveVolume ? v.channels : 1));
  for (auto& f : m_feature) f.reset();
  m_featuresMissing = false;
  if (haveVolume) {
    try {
      t_buildFeatureVolumes(v.W, v.H, v.D, m_channels, v.ch, v.rangeLo, v.rangeHi, m_feature);
    } catch (const std::bad_alloc&) {
      for (auto& f : m_feature) f.reset();
      m_featuresMissing = true;
      t_warn(kFeaturesMissingMessage);
    }
  }
  ++m_version;
  dropFactor();

  m_stored.clear();
  m_drawn.clear();
  m_displayed.clear();
  m_computed.clear();
  m_drawSamples = m_drawPoints = m_newResult = m_canvasStrokeOn = false;
  m_canvasStroke.clear();
  m_pickedCP = -1;

  showPanel();
  if (dlg()) dlg()->updateControls();
  setCanvasXY();
  t_modeHideSlicePanes();
  if (TModeViewHost* h = t_modeViewHost()) h->setRenderingPanelMode(3, true, true, true, false, false);
  dropFlagTexture();
  t_modeRedrawAll();
}

StateSegContMesh::Params StateSegContMesh::params() const {
  Params p;
  static_cast<TContourGrid&>(p) = t_contourGrid();
  const auto spin = [this](TDlgSegContMeshIf::Spin s, int dflt) { return dlg() ? dlg()->spinPosition(s) : dflt; };
  p.spacing = spin(TDlgSegContMeshIf::kInterval, 40) * 0.1 * p.meanVoxel;
  p.wc = spin(TDlgSegContMeshIf::kColour, 100) * 0.01;
  p.wb = spin(TDlgSegContMeshIf::kBlend, 10) * 0.01;
  p.wn = spin(TDlgSegContMeshIf::kNormal, 50) * 0.01;
  return p;
}

// ---- canvases -------------------------------------------------------------------------------------

void StateSegContMesh::setCanvasXY() {
  if (isNewContour()) return;
  const Params p = params();
  const double X = p.extent[0], Y = p.extent[1], Z = p.extent[2];
  const TVec3 v[4] = {{0, 0, Z / 2}, {X, 0, Z / 2}, {X, Y, Z / 2}, {0, Y, Z / 2}};
  axisQuad(m_canvas, v);
}

void StateSegContMesh::setCanvasYZ() {
  if (isNewContour()) return;
  const Params p = params();
  const double X = p.extent[0], Y = p.extent[1], Z = p.extent[2];
  const TVec3 v[4] = {{X / 2, 0, 0}, {X / 2, Y, 0}, {X / 2, Y, Z}, {X / 2, 0, Z}};
  axisQuad(m_canvas, v);
}

void StateSegContMesh::setCanvasZX() {
  if (isNewContour()) return;
  const Params p = params();
  const double X = p.extent[0], Y = p.extent[1], Z = p.extent[2];
  const TVec3 v[4] = {{0, Y / 2, 0}, {0, Y / 2, Z}, {X, Y / 2, Z}, {X, Y / 2, 0}};
  axisQuad(m_canvas, v);
}

bool StateSegContMesh::addNewContour() {
  if (m_canvas.vertexCount <= 3) {
    t_info(kNoCanvasMessage);
    return false;
  }
  double c[3] = {0, 0, 0};
  for (const TVec3& v : m_canvas.verts)
    for (int k = 0; k < 3; ++k) c[k] += v[k] / m_canvas.vertexCount;
  const double* d = m_canvas.direction;
  double u[3] = {0, 1, 0};
  TCameraPose pose;
  if (TCore::wiring().getCamera && TCore::wiring().getCamera(pose))
    for (int k = 0; k < 3; ++k) u[k] = pose.up[k];
  const double ud = t_dot3(u, d);
  for (int k = 0; k < 3; ++k) u[k] -= ud * d[k];
  const double len = std::sqrt(t_dot3(u, u));
  if (len != 0)
    for (double& x : u) x /= len;
  m_drawn.clear();
  double frame[9];
  for (int k = 0; k < 3; ++k) {
    frame[k] = c[k] - 6 * d[k];
    frame[3 + k] = c[k];
    frame[6 + k] = u[k];
  }
  m_drawn.setCanvas(m_canvas, frame);
  m_pickedCP = -1;
  return true;
}

// ---- mouse ----------------------------------------------------------------------------------------

void StateSegContMesh::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  TModeViewHost* h = t_modeViewHost();
  if (h) h->setButtonHeld(true);
  const unsigned k = keys();
  if (isNewContour()) {
    if (k & MK_SHIFT) {
      // A click off every control point adds one there and drags it on.
      m_pickedCP = t_contourPickControlPoint(m_drawn, p);
      if (m_pickedCP < 0) m_pickedCP = t_contourAddControlPoint(m_drawn, p);
      redrawMain();
      return;
    }
    if (k & MK_ALT) {
      const int i = t_contourPickControlPoint(m_drawn, p);
      if (i >= 0) {
        m_drawn.eraseControlPoint(i);
        autoUpdate();
      }
      redrawMain();
      return;
    }
  } else if (k & MK_CONTROL) {
    m_canvasStrokeOn = true;
    m_canvasStroke.clear();
    double w[3];
    if (h && h->mainUnProject(p, 0.01, w)) m_canvasStroke.push_back(TVec3(w));
    return;
  }
  if (h) h->camBtnDownTranslate(p);
}

void StateSegContMesh::OnRBtnDown(const TPoint2i& p) {
  rBtnHeld = true;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(true);
    h->camBtnDownRotate(p);
  }
}

void StateSegContMesh::OnMouseMove(const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  if (lBtnHeld && m_canvasStrokeOn) {
    double w[3];
    if (h->mainUnProject(p, 0.01, w)) m_canvasStroke.push_back(TVec3(w));
  } else if (lBtnHeld && m_pickedCP >= 0 && isNewContour()) {
    TModeRay ray;
    int poly = -1;
    double hit[3];
    if (h->mainCursorRay(p, ray) && TTriangleMesh::pickByRay(ray.org, ray.dir, m_drawn.canvas, poly, hit, 0) &&
        m_pickedCP < static_cast<int>(m_drawn.controlPoints.size())) {
      m_drawn.controlPoints[static_cast<size_t>(m_pickedCP)] = TVec3(hit);
      m_drawn.updateStroke();
    }
  } else if (lBtnHeld || rBtnHeld || mBtnHeld) {
    h->camMouseMove(p);
  } else {
    return;
  }
  h->redrawMainView();
}

void StateSegContMesh::OnLBtnUp(const TPoint2i&) {
  TModeViewHost* h = t_modeViewHost();
  if (m_canvasStrokeOn) {
    const int points = static_cast<int>(m_canvasStroke.size());
    if (points < TModeViewHost::kCutStrokeMinPoints) {
      // The renderer builds no surface from so few points: the canvas goes as in the other modes'
      // cut strokes, and the status bar says why.
      m_canvas.clear();
      if (h) h->clearCutSurface();
      t_modeNoteShortCutStroke(points);
    } else if (h) {
      std::vector<std::array<double, 3>> s;
      for (const TVec3& v : m_canvasStroke) s.push_back({v[0], v[1], v[2]});
      // A stroke the renderer cannot build a surface from must not leave the previous one as
      // the canvas.
      h->clearCutSurface();
      h->genCutSurfaceFromStroke(s);
      TTriangleMesh surface;
      if (cutSurfaceHook() && cutSurfaceHook()(surface))
        m_canvas.setFromMesh(surface);
      else
        m_canvas.clear();
    }
  }
  if (m_pickedCP >= 0 && isNewContour()) autoUpdate();
  if (h) {
    h->camBtnUp();
    h->setButtonHeld(false);
  }
  m_pickedCP = -1;
  lBtnHeld = false;
  m_canvasStrokeOn = false;
  m_canvasStroke.clear();
  t_modeRedrawAll();
}

void StateSegContMesh::OnLBtnDclk(const TPoint2i& p) {
  if (isNewContour()) return;
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return;
  const int best = t_contourPickStroke(m_stored, ray);
  if (best >= 0) eraseContour(best);
  t_modeRedrawAll();
}

void StateSegContMesh::OnMouseWheel(unsigned, int delta, const TPoint2i&) {
  m_canvas.translate(-delta * 0.4 * 10 * 3e-5);
  redrawMain();
}

int StateSegContMesh::OnSetCursor(const TPoint2i& p) {
  const unsigned k = keys();
  const bool drawing = isNewContour();
  if (!drawing && (k & MK_CONTROL)) return 4;
  if (drawing && (k & MK_SHIFT)) return t_contourPickControlPoint(m_drawn, p) >= 0 ? 6 : 5;
  if (drawing && (k & MK_ALT)) return t_contourPickControlPoint(m_drawn, p) >= 0 ? 9 : 0;
  int w = 0, hgt = 0;
  if (TModeViewHost* h = t_modeViewHost()) h->mainViewSize(w, hgt);
  if (p.x < 30 || p.x > w - 30) return 2;
  if (p.y < 30 || p.y > hgt - 30) return 1;
  return 0;
}

void StateSegContMesh::OnKeyDown(int key, int, unsigned) {
  switch (key) {
    case '1':
    case '2':
    case '3':
    case '4':
      runDirect(key);
      break;
    case '5':
      m_drawPoints = !m_drawPoints;
      redrawMain();
      break;
    case '6':
      m_drawSamples = !m_drawSamples;
      redrawMain();
      break;
    default:
      break;
  }
}

// ---- contour commands -----------------------------------------------------------------------------

void StateSegContMesh::autoUpdate() {
  if (dlg() && dlg()->isAutoUpdate() && !isComputing()) startRegionUpdate(false);
}

void StateSegContMesh::storeContour() {
  if (!isNewContour()) {
    std::fprintf(stderr, "error error error error\n");
    return;
  }
  if (m_drawn.controlPoints.size() < 3) {
    t_info(kTooFewPointsMessage);
    return;
  }
  // Refused before anything goes: the drawn contour stays for another try.
  if (refuseWhileComputing(kStoreBusyMessage) || refuseWithoutFeatures()) return;
  startRegionUpdate(true);
  m_drawn.clear();
  if (TDlgSegContMeshIf* panel = dlg()) {
    panel->setNewContour(false);
    panel->updateContourButtons();
  }
  t_modeRedrawAll();
}

void StateSegContMesh::cancelContour() {
  if (t_askYesNoCancel(kEraseQuestion) != PromptAnswer::Yes) return;
  removeCrossPointsOfCurrent();
  m_drawn.clear();
  if (TDlgSegContMeshIf* panel = dlg()) {
    panel->setNewContour(false);
    panel->updateContourButtons();
  }
  t_modeRedrawAll();
}

void StateSegContMesh::flipSide() {
  if (!isNewContour()) {
    std::fprintf(stderr, "error error error error\n");
    return;
  }
  m_drawn.bInsideDir = !m_drawn.bInsideDir;
  redrawMain();
  autoUpdate();
}

void StateSegContMesh::setClosed(bool closed) {
  if (!isNewContour()) {
    std::fprintf(stderr, "error error error error\n");
    return;
  }
  m_drawn.bClosed = closed;
  m_drawn.updateStroke();
  redrawMain();
  autoUpdate();
}

// ---- crossings ------------------------------------------------------------------------------------

void StateSegContMesh::removeCrossPointsOfCurrent() {
  const int n = static_cast<int>(m_stored.size());
  for (TCanvasContour& c : m_stored) c.eraseCrossPointsWith(n);
  m_drawn.tiltHandles.clear();
}

void StateSegContMesh::updateCrossPointsOfCurrent() {
  removeCrossPointsOfCurrent();
  const Params p = params();
  const double tol = (1.5 * p.meanVoxel) * (1.5 * p.meanVoxel);
  t_contourCrossDrawn(m_stored, m_drawn, tol);
}

void StateSegContMesh::renumberCrossPoints(int i) {
  if (isNewContour()) {
    std::fprintf(stderr, "strange function call!\n");
    return;
  }
  const int n = static_cast<int>(m_stored.size());
  for (TCanvasContour& c : m_stored) c.renumberCrossPoints(i, n - 1);
}

void StateSegContMesh::updateAllCrossPoints() {
  if (isNewContour()) {
    std::fprintf(stderr, "strange function call!\n");
    return;
  }
  for (TCanvasContour& c : m_stored) c.tiltHandles.clear();
  const Params p = params();
  const double tol = (1.5 * p.meanVoxel) * (1.5 * p.meanVoxel);
  t_contourCrossStored(m_stored, tol);
}

// ---- parameters -----------------------------------------------------------------------------------

void StateSegContMesh::resampleAll(const Params& p) {
  const float* f[3] = {m_feature[0] ? m_feature[0]->data() : nullptr, m_feature[1] ? m_feature[1]->data() : nullptr,
                       m_feature[2] ? m_feature[2]->data() : nullptr};
  // A contour of fewer than three points is sampled too: that clears what it held before.
  auto resample = [&](TCanvasContour& c) {
    c.calcSamples(p.extent, m_channels, p.W, p.H, p.D, f[0], f[1], f[2], p.spacing, p.wc, 0.5 * p.meanVoxel, p.wb);
    c.applyTiltAngles(m_channels, p.wn, p.wb);
  };
  resample(m_drawn);
  for (TCanvasContour& c : m_stored) resample(c);
}

void StateSegContMesh::updateParamsFromDlg() {
  if (refuseWhileComputing(kBusyMessage)) return;
  resampleAll(params());
  ++m_version;
  dropFactor();
}

// ---- region computation ---------------------------------------------------------------------------

void StateSegContMesh::calcRoiBox(double mn[3], double mx[3], int lo[3], int hi[3]) const {
  const Params p = params();
  t_contourRoiBox(m_drawn, m_stored, p.extent, p.W, p.H, p.D, mn, mx, lo, hi);
}

void StateSegContMesh::startRegionUpdate(bool store) {
  if (refuseWhileComputing(kUpdateBusyMessage)) return;
  const Params p = params();
  double mn[3], mx[3];
  auto order = std::make_shared<THrbfRegionOrder>();
  calcRoiBox(mn, mx, order->lo, order->hi);
  const int s = m_channels < 3 ? 1 : 3;
  const float* f[3] = {m_feature[0] ? m_feature[0]->data() : nullptr, m_feature[1] ? m_feature[1]->data() : nullptr,
                       m_feature[2] ? m_feature[2]->data() : nullptr};
  m_drawn.calcSamples(p.extent, s, p.W, p.H, p.D, f[0], f[1], f[2], p.spacing, p.wc, p.meanVoxel, p.wb);
  updateCrossPointsOfCurrent();
  m_drawn.applyTiltAngles(s, p.wn, p.wb);
  for (TCanvasContour& c : m_stored) c.applyTiltAngles(s, p.wn, p.wb);

  TModeRegionData* d = t_modeRegionData();
  const std::size_t nVox = static_cast<std::size_t>(p.W) * p.H * p.D;
  std::uint8_t* flags = d ? d->flagVoxels() : nullptr;
  if (!flags || d->maskVoxelCount() != nVox) return;

  if (m_drawn.activeSampleCount() == 0 && m_stored.empty()) {
    for (std::size_t i = 0; i < nVox; ++i)
      if (flags[i]) flags[i] = 1;
    m_displayed.clear();
    m_computed.clear();
    m_newResult = false;
    dropFlagTexture();
    t_modeRedrawAll();
    return;
  }

  if (refuseWithoutFeatures()) return;
  try {
    t_gatherContourConstraints(s, m_stored, m_drawn, order->newPt, order->prePt, order->rowBlockEnd, order->samples);
    order->target.assign(flags, flags + nVox);
  } catch (const std::bad_alloc&) {
    t_warn(kNoMemoryMessage);
    return;
  }
  const std::uint64_t preVersion = m_version;
  if (store) {
    m_stored.push_back(m_drawn);
    ++m_version;
  }
  const std::uint64_t postVersion = m_version;
  order->store = store;
  order->surfaceTrack = dlg() ? dlg()->isSurfaceTrack() : true;
  order->kernel = dlg() ? dlg()->kernel() : 1;
  order->nChannels = s;
  for (int k = 0; k < 3; ++k) order->extent[k] = p.extent[k];
  order->weight = p.wc;
  order->W = p.W, order->H = p.H, order->D = p.D;
  for (int k = 0; k < 3; ++k) order->vol[k] = f[k];

  // The worker keeps the feature volumes alive: a new entry may replace the mode's.
  std::shared_ptr<const std::vector<float>> keep[3] = {m_feature[0], m_feature[1], m_feature[2]};
  auto result = std::make_shared<THrbfRegionResult>();
  auto status = std::make_shared<int>(0);  // 0 a THrbfStatus, 1 out of memory
  auto st = std::make_shared<THrbfStatus>(THrbfStatus::Ok);
  m_stop = std::make_shared<std::atomic<bool>>(false);
  auto stop = m_stop;
  std::fprintf(stderr, "prePt %u newPt %u\n", order->prePt, order->newPt);

  auto work = [this, order, result, status, st, stop, preVersion, postVersion, keep]() {
    try {
      std::lock_guard<std::mutex> lk(m_lock);
      // A factor of other contours (stored ones changed since) is never reused.
      if (m_cacheVersion != preVersion) m_cache.drop();
      const auto t0 = std::chrono::steady_clock::now();
      *st = t_hrbfComputeRegion(*order, m_cache, *result, stop.get());
      m_cacheVersion = order->store ? postVersion : preVersion;
      const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      std::fprintf(stderr, "LU:%.10f eval1:%.10f eval2:%.10f\n", result->solveSeconds, result->labelSeconds,
                   result->meshSeconds);
      std::fprintf(stderr, "region computed in %.3f s\n", secs);
    } catch (const std::bad_alloc&) {
      // The lock went with the guard; the cache may be half-built: it goes too.
      std::lock_guard<std::mutex> lk(m_lock);
      m_cache.drop();
      *status = 1;
    }
    t_progressEnd();
  };
  auto apply = [this, result, status, st, nVox]() {
    if (*status == 1) {
      t_warn(kNoMemoryMessage);
      return;
    }
    if (*st == THrbfStatus::Stopped) return;
    if (*st != THrbfStatus::Ok) {
      t_warn(t_hrbfStatusMessage(*st));
      return;
    }
    TModeRegionData* rd = t_modeRegionData();
    std::uint8_t* fl = rd ? rd->flagVoxels() : nullptr;
    // The volume went meanwhile (refused while computing, but never write past a new one).
    if (!fl || rd->maskVoxelCount() != nVox || result->label.size() != nVox) return;
    for (std::size_t i = 0; i < nVox; ++i)
      if (fl[i]) fl[i] = result->label[i] == 255 ? 255 : 1;
    m_computed = std::move(result->mesh);
    m_newResult = true;
    rd->dropFlagTexture();
  };
  runWorker(std::move(work), std::move(apply));
}

void StateSegContMesh::eraseContour(int i) {
  if (refuseWhileComputing(kBusyMessage)) return;
  if (i < 0 || i >= static_cast<int>(m_stored.size())) return;
  const int k = m_channels == 3 ? 7 : 5;
  std::size_t before = 0, after = 0;
  for (int j = 0; j < static_cast<int>(m_stored.size()); ++j) {
    const std::size_t n = m_stored[static_cast<size_t>(j)].activeSampleCount();
    if (j < i) before += n;
    if (j > i) after += n;
  }
  const unsigned a = static_cast<unsigned>((before + 1) * k);
  const unsigned b = static_cast<unsigned>(m_stored[static_cast<size_t>(i)].activeSampleCount() * k);
  const unsigned c = static_cast<unsigned>(after * k);

  renumberCrossPoints(i);
  m_drawn = m_stored[static_cast<size_t>(i)];
  m_stored.erase(m_stored.begin() + i);
  const std::uint64_t preVersion = m_version;
  const std::uint64_t postVersion = ++m_version;
  if (TDlgSegContMeshIf* panel = dlg()) {
    panel->setNewContour(true);
    panel->updateContourButtons();
    panel->setClosedCheck(m_drawn.bClosed);
  }
  if (m_stored.empty()) {
    dropFactor();
    return;
  }
  auto remaining = std::make_shared<std::vector<THrbfSample>>();
  auto limits = std::make_shared<std::vector<int>>();
  const int s = m_channels < 3 ? 1 : 3;
  try {
    TCanvasContour none;
    unsigned nNew = 0, nPre = 0;
    t_gatherContourConstraints(s, m_stored, none, nNew, nPre, *limits, *remaining);
  } catch (const std::bad_alloc&) {
    dropFactor();
    return;
  }
  const int kernel = dlg() ? dlg()->kernel() : 1;
  auto status = std::make_shared<int>(0);
  m_stop = std::make_shared<std::atomic<bool>>(false);
  auto stop = m_stop;
  auto work = [this, a, b, c, kernel, s, remaining, limits, status, stop, preVersion, postVersion]() {
    try {
      std::lock_guard<std::mutex> lk(m_lock);
      if (m_cacheVersion != preVersion) m_cache.drop();
      bool eliminated = false;
      const THrbfStatus st = t_hrbfEraseFromFactor(m_cache, a, b, c, kernel, s, *remaining, *limits, stop.get(),
                                                   &eliminated);
      m_cacheVersion = postVersion;
      if (st != THrbfStatus::Ok) m_cache.drop();
      std::fprintf(stderr, "factor after erase: %s\n", eliminated ? "eliminated" : "refactorised");
    } catch (const std::bad_alloc&) {
      std::lock_guard<std::mutex> lk(m_lock);
      m_cache.drop();
      *status = 1;
    }
    t_progressEnd();
  };
  // A failed update only costs the next run a full factorisation; running out of memory is told.
  runWorker(std::move(work), [status] {
    if (*status == 1) t_warn(kNoMemoryMessage);
  });
}

// ---- finish, cancel -------------------------------------------------------------------------------

void StateSegContMesh::finish() {
  if (refuseWhileComputing(kBusyMessage)) return;
  if (!selectIdForRegion()) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
  dropFactor();
  for (auto& f : m_feature) f.reset();
}

void StateSegContMesh::cancel() {
  if (refuseWhileComputing(kBusyMessage)) return;
  if (!t_askOkCancel(kCancelQuestion)) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
  dropFactor();
  for (auto& f : m_feature) f.reset();
}

// ---- files ----------------------------------------------------------------------------------------

bool StateSegContMesh::saveContours(const std::string& path) {
  if (refuseWhileComputing(kBusyMessage)) return false;
  std::vector<TRbfFibContour> out(m_stored.size());
  for (std::size_t i = 0; i < m_stored.size(); ++i) {
    const TCanvasContour& c = m_stored[i];
    TRbfFibContour& r = out[i];
    for (int k = 0; k < 3; ++k) r.frame[k] = c.canvasFrame[k];
    r.canvasVerts = c.canvas.verts;
    r.canvasPolys = c.canvas.polys;
    r.controlPoints = c.controlPoints;
    r.bInsideDir = c.bInsideDir;
    r.bClosed = c.bClosed;
  }
  TRbfFibCoefs coefs;
  const auto spin = [this](TDlgSegContMeshIf::Spin s, int dflt) { return dlg() ? dlg()->spinPosition(s) : dflt; };
  coefs.interval = spin(TDlgSegContMeshIf::kInterval, 40) * 0.1;
  coefs.colour = spin(TDlgSegContMeshIf::kColour, 100) * 0.01;
  coefs.blend = spin(TDlgSegContMeshIf::kBlend, 10) * 0.01;
  coefs.normal = spin(TDlgSegContMeshIf::kNormal, 50) * 0.01;
  if (!t_writeRbfFib(path, out, coefs)) {
    t_warn("The contours could not be written to\n" + path);
    return false;
  }
  return true;
}

bool StateSegContMesh::loadContours(const std::string& path) {
  if (refuseWhileComputing(kBusyMessage)) return false;
  std::vector<TRbfFibContour> in;
  TRbfFibCoefs coefs;
  std::string why;
  if (!t_readRbfFib(path, in, coefs, &why)) {
    t_warn("The contour file could not be loaded (" + why + "); the contours are unchanged:\n" + path);
    return false;
  }
  // Fresh records: nothing of the contours before (handles, samples) survives a load.
  std::vector<TCanvasContour> fresh(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const TRbfFibContour& r = in[i];
    fresh[i].clear();
    TTriangleMesh m;
    if (!r.canvasVerts.empty()) m.initFromVertsPolys(r.canvasVerts, r.canvasPolys);
    t_contourFromFile(fresh[i], m, r.frame, r.controlPoints, r.bInsideDir, r.bClosed);
  }
  m_stored.swap(fresh);
  ++m_version;
  dropFactor();
  std::fprintf(stderr, "load val  %f %f %f %f\n", coefs.colour, coefs.interval, coefs.blend, coefs.normal);
  if (TDlgSegContMeshIf* panel = dlg()) {
    // The text holds six decimals of the spin's value: round back to the spin, never truncate.
    const auto pos = [](double v, double scale) { return static_cast<int>(std::llround(v * scale)); };
    const int blend = coefs.hasBlendNormal ? pos(coefs.blend, 100) : panel->spinPosition(TDlgSegContMeshIf::kBlend);
    const int normal =
        coefs.hasBlendNormal ? pos(coefs.normal, 100) : panel->spinPosition(TDlgSegContMeshIf::kNormal);
    panel->setSpinPositions(pos(coefs.colour, 100), pos(coefs.interval, 10), blend, normal);
  }
  updateParamsFromDlg();
  updateAllCrossPoints();
  updateParamsFromDlg();
  t_modeRedrawAll();
  return true;
}

// ---- direct runs ----------------------------------------------------------------------------------

void StateSegContMesh::updateSegmByRBF_Joint() { runDirect('1'); }
void StateSegContMesh::updateSegmByRBF_Spatial() { runDirect('2'); }
void StateSegContMesh::updateSegmByHRBF_Spatial() { runDirect('3'); }
void StateSegContMesh::updateSegmByHRBF_JOINT() { runDirect('4'); }

void StateSegContMesh::applyRegionLabels(const std::vector<uint8_t>& label, bool insideIsNonZero) {
  TModeRegionData* d = t_modeRegionData();
  std::uint8_t* fl = d ? d->flagVoxels() : nullptr;
  if (!fl || d->maskVoxelCount() != label.size()) return;
  for (std::size_t i = 0; i < label.size(); ++i) {
    if (!fl[i]) continue;
    const uint8_t l = label[i] == 3 && insideIsNonZero ? 0 : label[i];
    fl[i] = (insideIsNonZero ? l != 0 : l == 255) ? 255 : 1;
  }
  d->dropFlagTexture();
}

void StateSegContMesh::runDirect(int key) {
  // These write the same flags and surface as the worker: never while it runs, and never by
  // waiting for it here.
  if (refuseWhileComputing(kBusyMessage)) return;
  // '2' and '3' work in space alone; '1' and '4' read the image features.
  if ((key == '1' || key == '4') && refuseWithoutFeatures()) return;
  static const char* const banners[4] = {
      "!!!!!!!!!!!!!!!!!!!!!updateSegmByRBF_Joint!!!!!!!!!!!!!!!!!!!!!!!!\n",
      "!!!!!!!!!!!!!!!!!!!!!updateSegmByRBF_Spatial!!!!!!!!!!!!!!!!!!!!!!!!\n",
      "!!!!!!!!!!!!!!!!!!!!!updateSegmByHRBF_Spatial!!!!!!!!!!!!!!!!!!!!!!!!\n",
      "!!!!!!!!!!!!!!!!!!!!!updateSegmByHRBF_JOINT !!!!!!!!!!!!!!!!!!!!!!!!\n"};
  std::fputs(banners[key - '1'], stderr);
  const Params p = params();
  updateParamsFromDlg();
  double mn[3], mx[3];
  int lo[3], hi[3];
  calcRoiBox(mn, mx, lo, hi);
  TModeRegionData* d = t_modeRegionData();
  const std::size_t nVox = static_cast<std::size_t>(p.W) * p.H * p.D;
  if (!d || !d->flagVoxels() || d->maskVoxelCount() != nVox) return;
  const int kernel = dlg() ? dlg()->kernel() : 1;
  const float* f0 = m_feature[0] ? m_feature[0]->data() : nullptr;
  try {
    std::vector<uint8_t> label(nVox, 0);
    std::vector<float> field(nVox, 0.0f);
    TTriangleMesh mesh;
    if (key == '1' || key == '2') {
      std::vector<TRbfPoint> pts;
      unsigned nNew = 0, nPre = 0;
      t_gatherRbfPoints(m_stored, m_drawn, nNew, nPre, pts);
      const int N = static_cast<int>(pts.size());
      if (N == 0) return;
      const int n = N + (key == '1' ? 5 : 4);
      TDenseSqMat m(n);
      std::vector<double> rhs(static_cast<size_t>(n)), sol(static_cast<size_t>(n));
      if (key == '1')
        t_rbfJoint_buildSystem(0, N, pts.data(), &m, rhs.data());
      else
        t_rbfSpatial_buildSystem(N, pts.data(), &m, rhs.data());
      if (!m.factorLU() || !m.solveLU(rhs.data(), sol.data())) {
        t_warn(t_hrbfStatusMessage(THrbfStatus::Singular));
        return;
      }
      if (key == '1')
        t_rbfJoint_regionGrow(0, p.W, p.H, p.D, f0, p.extent, p.wc, N, sol.data(), pts.data(), lo, hi, label.data(),
                              field.data());
      else
        t_rbfSpatial_regionGrow(p.W, p.H, p.D, p.extent, N, sol.data(), pts.data(), lo, hi, label.data(),
                                field.data());
      applyRegionLabels(label, true);
      for (std::size_t i = 0; i < nVox; ++i)
        if (label[i] == 3 || !d->flagVoxels()[i]) label[i] = 0;
      t_marchingCubesByte(p.W, p.H, p.D, label.data(), p.extent, mesh, nullptr, nullptr);
      mesh.smoothUmbrella(2);
    } else {
      std::vector<THrbfSample> samples;
      std::vector<int> limits;
      unsigned nNew = 0, nPre = 0;
      t_gatherContourConstraints(1, m_stored, m_drawn, nNew, nPre, limits, samples);
      const int N = static_cast<int>(samples.size());
      if (N == 0) {
        t_warn(t_hrbfStatusMessage(THrbfStatus::NoSamples));
        return;
      }
      const int n = (N + 1) * (key == '3' ? 4 : 5);
      TDenseSqMat m(n);
      std::vector<double> rhs(static_cast<size_t>(n)), sol(static_cast<size_t>(n));
      if (key == '3') {
        t_hrbfSpatial_buildSystem(kernel, N, samples.data(), rhs.data(), &m);
      } else {
        t_hrbfJoint4_buildRhs(N, samples.data(), rhs.data());
        t_hrbfJoint4_buildMatrix(kernel, N, samples.data(), &m);
      }
      if (!m.factorLU() || !m.solveLU(rhs.data(), sol.data())) {
        t_warn(t_hrbfStatusMessage(THrbfStatus::Singular));
        return;
      }
      if (key == '3') {
        for (std::size_t i = 0; i < nVox; ++i) label[i] = d->flagVoxels()[i] ? 1 : 0;
        t_hrbfSpatial_regionGrow(kernel, p.W, p.H, p.D, p.extent, N, sol.data(), samples.data(), lo, hi,
                                 label.data(), field.data());
        applyRegionLabels(label, true);
        t_marchingCubesFloat(p.W, p.H, p.D, field.data(), 0.0f, p.extent, mesh, nullptr, nullptr);
        mesh.smoothUmbrella(2);
      } else {
        for (std::size_t i = 0; i < nVox; ++i) label[i] = d->flagVoxels()[i] ? 1 : 0;
        t_hrbfJoint4_surfaceTrack(kernel, p.W, p.H, p.D, f0, p.extent, p.wc, N, sol.data(), samples.data(), lo, hi,
                                  label.data(), field.data());
        applyRegionLabels(label, false);
        t_marchingCubesByte(p.W, p.H, p.D, label.data(), p.extent, mesh, nullptr, nullptr);
        mesh.smoothUmbrella(3);
      }
    }
    m_computed = std::move(mesh);
    m_newResult = true;
  } catch (const std::bad_alloc&) {
    t_warn(kNoMemoryMessage);
  }
  t_modeRedrawAll();
}
