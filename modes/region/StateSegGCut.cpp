#include "modes/region/StateSegGCut.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "geom/marching_cubes.h"
#include "modes/region/kernels/gcut_cache.h"
#include "platform/Prompt.h"
#include "volume/volume_filters.h"

const char* const StateSegGCut::kBusyMessage =
    "The system is computing Watershed segmentation. wait a moment...";
const char* const StateSegGCut::kUseCacheQuestion =
    "Previously generated watershed segmentation is available!\n Do you use it?";
const char* const StateSegGCut::kCancelQuestion = "抽出結果を適用せずに 修正作業を終了しますか？";
const char* const StateSegGCut::kCtrlPointFileName = "GcutCPs.txt";

namespace {

constexpr const char* kNoVolumeMessage = "No volume is loaded.";
constexpr const char* kNotReadyMessage =
    "The watershed pre-segmentation of this volume is not available: enter the mode again to "
    "compute it.";
constexpr const char* kNoMemoryMessage =
    "Not enough memory for the watershed pre-segmentation: nothing was changed.";
// Bounds of the control-point file: the word before the count, and the count.
constexpr int kMaxCtrlPointsInFile = 10000000;

std::function<void(StateSegGCut&)>& drawHook() {
  static std::function<void(StateSegGCut&)> hook;
  return hook;
}
std::function<std::string()>& volumePathHook() {
  static std::function<std::string()> hook;
  return hook;
}

void boxExtent(double extent[3]) {
  extent[0] = extent[1] = extent[2] = 1;
  if (TModeViewHost* h = t_modeViewHost()) h->volumeExtent(extent);
}

}  // namespace

struct StateSegGCut::Volume {
  int W = 0, H = 0, D = 0;
  const float* c[3] = {nullptr, nullptr, nullptr};  // c[1], c[2] null for fewer channels
  const float* gradient = nullptr;
  std::uint8_t* flags = nullptr;
};

// Shift with either button moves a point or adds points (foreground with the left button,
// background with the right), Alt erases, Ctrl + left cuts.
StateSegGCut::StateSegGCut()
    : TPointEditMode({TPointEditInput::KeyUse::MoveOrAdd, TPointEditInput::KeyUse::Erase, true},
                     {TPointEditInput::KeyUse::MoveOrAdd, TPointEditInput::KeyUse::Erase, false}) {
  t_traceModeBanner("StateSegGCut", true);
  t_traceModeBanner("StateSegGCut", false);
}

StateSegGCut::~StateSegGCut() { stopWorkers(); }

void StateSegGCut::setDrawHook(std::function<void(StateSegGCut&)> hook) { drawHook() = std::move(hook); }
void StateSegGCut::setVolumePathHook(std::function<std::string()> hook) { volumePathHook() = std::move(hook); }

void StateSegGCut::OnDraw() {
  int fore = 0;
  for (const TGCutCtrlPoint& c : m_ctrlPoints) fore += c.fore != 0;
  std::fprintf(stderr, "foreCP %d, backCP %d\b", fore, static_cast<int>(m_ctrlPoints.size()) - fore);
  if (drawHook()) drawHook()(*this);
}

// ---- entry and the pre-segmentation ---------------------------------------------------------------

void StateSegGCut::OnSwitched(int) {
  if (isPrecomputing()) {
    t_info(kBusyMessage);
    TCore::getInst().setMode(3);
    return;
  }
  // The watershed and the graph work on the stack in file order: the flip goes before the
  // targets are marked.
  TCore::getInst().releaseZFlipTemporarily();
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_input.reset();
  m_input.clearStroke();
  m_ctrlPoints.clear();
  m_pickedIdx = -1;
  m_ctrlPointRadius = 0.66666 * t_modeVoxelSizeSum();

  TModeViewHost* h = t_modeViewHost();
  if (h) {
    const double s[3] = {0.2, 0.2, 0.2};
    h->setSlicePositions(s);
    h->updateSlices();
  }
  t_modeHideSlicePanes();
  if (h) h->setRenderingPanelMode(3, true, true, true, false, false);
  if (m_panel) m_panel->updateControls();
  loadOrStartPrecompute();
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  t_modeRedrawAll();
}

bool StateSegGCut::volume(Volume& v) {
  TModeRegionData* d = t_modeRegionData();
  TModeRegionData::VolumeValues vv;
  if (!d || !d->volumeValues(vv) || vv.W <= 0 || vv.H <= 0 || vv.D <= 0 || !vv.ch[0] || !vv.gradient ||
      d->maskVoxelCount() != static_cast<std::size_t>(vv.W) * vv.H * vv.D || !d->flagVoxels()) {
    t_warn(kNoVolumeMessage);
    return false;
  }
  v = Volume();
  v.W = vv.W, v.H = vv.H, v.D = vv.D;
  for (int c = 0; c < 3; ++c) v.c[c] = c < vv.channels ? vv.ch[c] : nullptr;
  v.c[0] = vv.ch[0];
  v.gradient = vv.gradient;
  v.flags = d->flagVoxels();
  return true;
}

bool StateSegGCut::refuseWhileBusy() const {
  if (!isPrecomputing()) return false;
  t_info(kBusyMessage);
  return true;
}

void StateSegGCut::markTargetRegions() {
  TModeRegionData* d = t_modeRegionData();
  if (!d || !d->flagVoxels() || d->maskVoxelCount() != m_pre.labels.size()) return;
  t_markTargetRegions(d->flagVoxels(), m_pre.regions);
}

void StateSegGCut::loadOrStartPrecompute() {
  Volume v;
  if (!volume(v)) return;
  const bool sameSize = m_preSize[0] == v.W && m_preSize[1] == v.H && m_preSize[2] == v.D;
  if (isPrecomputeReady() && sameSize) {
    markTargetRegions();
    return;
  }
  const std::string volumePath = volumePathHook() ? volumePathHook()() : std::string();
  const std::string cache = volumePath.empty() ? std::string() : t_precompFilePath(volumePath);
  if (!cache.empty() && t_precompFileMatches(cache, v.W, v.H, v.D) && t_askYesNo(kUseCacheQuestion)) {
    TGCutPrecomp read;
    std::string why;
    if (t_readPrecompFile(v.W, v.H, v.D, cache, read.labels, read.regions, read.adjacency, &why)) {
      m_pre = std::move(read);
      m_preSize[0] = v.W, m_preSize[1] = v.H, m_preSize[2] = v.D;
      markTargetRegions();
      m_ready.store(true, std::memory_order_release);
      return;
    }
    std::fprintf(stderr, "the watershed cache %s was not used: %s\n", cache.c_str(), why.c_str());
  }
  startPrecompute(v);
}

void StateSegGCut::startPrecompute(const Volume& v) {
  // The worker's own copies: the gradient and the channels, and the cache path and size as they
  // are now (a later load changes neither what it reads nor where it writes).
  auto in = std::make_shared<TGCutPrecomputeInput>();
  const std::size_t n = static_cast<std::size_t>(v.W) * v.H * v.D;
  try {
    in->W = v.W, in->H = v.H, in->D = v.D;
    in->gradient.assign(v.gradient, v.gradient + n);
    in->c1.assign(v.c[0], v.c[0] + n);
    if (v.c[1]) in->c2.assign(v.c[1], v.c[1] + n);
    if (v.c[2]) in->c3.assign(v.c[2], v.c[2] + n);
  } catch (const std::bad_alloc&) {
    t_warn(kNoMemoryMessage);
    return;
  }
  const std::string volumePath = volumePathHook() ? volumePathHook()() : std::string();
  if (!volumePath.empty()) in->cachePath = t_precompFilePath(volumePath);

  m_ready.store(false, std::memory_order_release);
  m_pre = TGCutPrecomp();
  m_preSize[0] = m_preSize[1] = m_preSize[2] = 0;
  const unsigned gen = ++m_generation;
  m_pendingGeneration = gen;
  m_pending.store(true, std::memory_order_release);
  auto stop = std::make_shared<std::atomic<bool>>(false);
  m_stop = stop;
  auto out = std::make_shared<TGCutPrecomp>();
  const int W = v.W, H = v.H, D = v.D;

  auto run = [in, out, stop]() {
    try {
      return t_precomputeGCut(*in, *out, stop.get());
    } catch (const std::bad_alloc&) {
      return TWatershedStatus::TooBig;
    }
  };
  // Without an interface thread to hand the result back to, the work is done here and now.
  TModeViewHost* host = t_modeViewHost();
  if (!host || !host->postToInterface([] {})) {
    const TWatershedStatus status = run();
    applyPrecompute(gen, W, H, D, status, out);
    return;
  }
  m_worker.join();  // a previous run has handed its result over and is ending
  m_worker.start([this, host, run, out, gen, W, H, D]() {
    const TWatershedStatus status = run();
    host->postToInterface([this, gen, W, H, D, status, out] { applyPrecompute(gen, W, H, D, status, out); });
  });
}

void StateSegGCut::applyPrecompute(unsigned generation, int W, int H, int D, TWatershedStatus status,
                                   const std::shared_ptr<TGCutPrecomp>& result) {
  if (generation == m_pendingGeneration) {
    m_worker.join();  // it posted this call as its last step
    m_pending.store(false, std::memory_order_release);
  }
  // A newer computation, a new volume or a stop replaced this one: its labels are not published.
  if (generation != m_generation) return;
  if (status != TWatershedStatus::Ok) {
    const char* text = t_watershedStatusText(status);
    if (text && *text) t_warn(text);
    return;
  }
  TModeRegionData* d = t_modeRegionData();
  if (!d || d->maskVoxelCount() != static_cast<std::size_t>(W) * H * D ||
      result->labels.size() != d->maskVoxelCount())
    return;  // the volume went meanwhile
  m_pre = std::move(*result);
  m_preSize[0] = W, m_preSize[1] = H, m_preSize[2] = D;
  // The targets are marked here, on the interface thread, from the flags as they are now.
  markTargetRegions();
  m_ready.store(true, std::memory_order_release);
  t_modeRedrawAll();
}

void StateSegGCut::stopWorkers() {
  if (m_stop) m_stop->store(true);
  m_worker.stopAndJoin();
  // A result still on its way is dropped.
  ++m_generation;
  m_pending.store(false, std::memory_order_release);
}

void StateSegGCut::resetForNewVolume() {
  if (isPrecomputing()) {
    t_info(kBusyMessage);
    // Whatever the caller does next, the running computation's labels are not published.
    ++m_generation;
    return;
  }
  ++m_generation;
  m_ready.store(false, std::memory_order_release);
  m_preSize[0] = m_preSize[1] = m_preSize[2] = 0;
  m_pre = TGCutPrecomp();
}

// ---- control points and the mouse -----------------------------------------------------------------

bool StateSegGCut::pickCtrlPoint(const TPoint2i& p, int& index) {
  index = -1;
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return false;
  index = t_modePickNearRay(ray, static_cast<int>(m_ctrlPoints.size()), m_ctrlPointRadius, [this](int i) {
    const TGCutCtrlPoint& c = m_ctrlPoints[i];
    return std::array<double, 3>{c.x, c.y, c.z};
  });
  return index >= 0;
}

void StateSegGCut::eraseCtrlPoint(int index) {
  if (index < 0 || index >= static_cast<int>(m_ctrlPoints.size())) return;
  m_ctrlPoints.erase(m_ctrlPoints.begin() + index);
  if (m_pickedIdx == index)
    m_pickedIdx = -1;
  else if (m_pickedIdx > index)
    --m_pickedIdx;
}

int StateSegGCut::pickPoint(const TPoint2i& p) {
  int idx = -1;
  return pickCtrlPoint(p, idx) ? idx : -1;
}

void StateSegGCut::addPointOnDrag(const double pos[3]) {
  // Points of a drag keep at least two point radii between them.
  if (!m_ctrlPoints.empty()) {
    const TGCutCtrlPoint& last = m_ctrlPoints.back();
    const double l[3] = {last.x, last.y, last.z};
    if (!(t_dist3(l, pos) > 2 * m_ctrlPointRadius)) return;
  }
  TGCutCtrlPoint c;
  c.x = pos[0], c.y = pos[1], c.z = pos[2];
  c.fore = lBtnHeld ? 1 : 0;
  m_ctrlPoints.push_back(c);
}

void StateSegGCut::moveGrabbedPoint(const double* pos) {
  if (!pos || m_pickedIdx < 0 || m_pickedIdx >= static_cast<int>(m_ctrlPoints.size())) return;
  TGCutCtrlPoint& c = m_ctrlPoints[m_pickedIdx];
  c.x = pos[0], c.y = pos[1], c.z = pos[2];
}

void StateSegGCut::OnLBtnUp(const TPoint2i& p) {
  TPointEditMode::OnLBtnUp(p);
  m_input.clearStroke();
}

// ---- cuts and clean-up ----------------------------------------------------------------------------

void StateSegGCut::runGraphCut(double a) {
  if (refuseWhileBusy()) return;
  Volume v;
  if (!volume(v)) return;
  if (!isPrecomputeReady() || m_pre.labels.size() != static_cast<std::size_t>(v.W) * v.H * v.D) {
    t_warn(kNotReadyMessage);
    return;
  }
  double extent[3];
  boxExtent(extent);
  std::vector<int> fore, back;
  t_gcutSeedVoxels(m_ctrlPoints, extent, v.W, v.H, v.D, fore, back);
  std::string why;
  if (!t_graphCutRegionLevel(v.W, v.H, v.D, a, std::move(fore), std::move(back), v.c[0], v.c[1], v.c[2], m_pre,
                             v.flags, &why))
    t_warn(why);
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  t_modeRedrawAll();
}

void StateSegGCut::runGraphCutVoxelLevel(double a, int seamWidth) {
  if (refuseWhileBusy()) return;
  Volume v;
  if (!volume(v)) return;
  std::string why;
  if (!t_graphCutVoxelLevel(v.W, v.H, v.D, seamWidth, a, v.c[0], v.c[1], v.c[2], v.flags, &why)) t_warn(why);
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  t_modeRedrawAll();
}

void StateSegGCut::graphCutFromCpFile(double a) {
  if (refuseWhileBusy()) return;
  Volume v;
  if (!volume(v)) return;
  double extent[3];
  boxExtent(extent);
  std::vector<int> fore, back;
  t_gcutSeedVoxels(m_ctrlPoints, extent, v.W, v.H, v.D, fore, back);
  std::string why;
  if (!t_graphCutWholeVolume(v.W, v.H, v.D, a, std::move(fore), std::move(back), v.c[0], v.flags, &why)) {
    t_warn(why);
    return;
  }
  TModeRegionData* d = t_modeRegionData();
  if (d) d->dropFlagTexture();
  const std::size_t n = static_cast<std::size_t>(v.W) * v.H * v.D;
  std::vector<std::uint8_t> object(n);
  for (std::size_t i = 0; i < n; ++i) object[i] = v.flags[i] == 255 ? 255 : 0;
  buildRegionSurface(object, v.W, v.H, v.D);
  t_modeRedrawAll();
}

void StateSegGCut::buildRegionSurface(const std::vector<std::uint8_t>& object, int W, int H, int D) {
  double extent[3];
  boxExtent(extent);
  t_marchingCubesByte(static_cast<uint32_t>(W), static_cast<uint32_t>(H), static_cast<uint32_t>(D), object.data(),
                      extent, m_regionMesh, nullptr, nullptr);
  m_regionMesh.smoothUmbrella(2);
  m_regionMesh.smoothTangential(2);
}

void StateSegGCut::morphRegion(bool erode) {
  if (refuseWhileBusy()) return;
  Volume v;
  if (!volume(v)) return;
  TModeRegionData* d = t_modeRegionData();
  if (d) d->dropFlagTexture();
  const std::size_t n = static_cast<std::size_t>(v.W) * v.H * v.D;
  std::vector<std::uint8_t> object;
  try {
    object.resize(n);
  } catch (const std::bad_alloc&) {
    t_warn("Not enough memory for this operation: the extracted voxels are unchanged.");
    return;
  }
  for (std::size_t i = 0; i < n; ++i) object[i] = v.flags[i] == 255 ? 255 : 0;
  const int from[3] = {0, 0, 0};
  const int to[3] = {v.W, v.H, v.D};
  if (erode)
    t_erode3D(object.data(), v.W, v.H, v.D, from, to);
  else
    t_dilate3D(object.data(), v.W, v.H, v.D, from, to);
  for (std::size_t i = 0; i < n; ++i)
    if (v.flags[i]) v.flags[i] = object[i] == 255 ? 255 : 1;
  buildRegionSurface(object, v.W, v.H, v.D);
  t_modeRedrawAll();
}

void StateSegGCut::erodeRegion() { morphRegion(true); }
void StateSegGCut::dilateRegion() { morphRegion(false); }

void StateSegGCut::finish() {
  if (refuseWhileBusy()) return;
  if (!selectIdForRegion()) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}

void StateSegGCut::cancelSegmentation() {
  if (refuseWhileBusy()) return;
  if (!t_askOkCancel(kCancelQuestion)) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}

// ---- research keys and their files ----------------------------------------------------------------

bool StateSegGCut::writeCtrlPointFile(const std::string& path) {
  FILE* fp = std::fopen(path.c_str(), "w");
  if (!fp) {
    t_warn("The control points could not be written: " + path + " could not be created (" +
           std::strerror(errno) + ").");
    return false;
  }
  bool ok = std::fprintf(fp, "numCPs %d\n", static_cast<int>(m_ctrlPoints.size())) > 0;
  for (const TGCutCtrlPoint& c : m_ctrlPoints)
    ok = ok && std::fprintf(fp, "%d %f %f %f\n", c.fore ? 1 : 0, c.x, c.y, c.z) > 0;
  ok = std::fclose(fp) == 0 && ok;
  if (!ok) t_warn("The control points could not be written completely to " + path + ".");
  return ok;
}

bool StateSegGCut::readCtrlPointFile(const std::string& path) {
  FILE* fp = std::fopen(path.c_str(), "r");
  if (!fp) {
    t_warn("The control point file could not be opened:\n" + path);
    return false;
  }
  char word[256] = {0};
  int count = -1;
  std::vector<TGCutCtrlPoint> points;
  std::string why;
  if (std::fscanf(fp, "%255s%9d", word, &count) != 2) {
    why = "it does not start with a name and a count";
  } else if (count < 0 || count > kMaxCtrlPointsInFile) {
    why = "the count " + std::to_string(count) + " is out of range";
  } else {
    std::fprintf(stderr, "%s %d\n", word, count);
    for (int i = 0; i < count; ++i) {
      int flag = 0;
      double x = 0, y = 0, z = 0;
      if (std::fscanf(fp, "%9d%lf%lf%lf", &flag, &x, &y, &z) != 4 || !std::isfinite(x) || !std::isfinite(y) ||
          !std::isfinite(z)) {
        why = "record " + std::to_string(i + 1) + " of " + std::to_string(count) + " is missing or not four numbers";
        break;
      }
      std::fprintf(stderr, "%d %d\n", i, flag);
      TGCutCtrlPoint c;
      c.x = x, c.y = y, c.z = z;
      c.fore = flag != 0 ? 1 : 0;
      points.push_back(c);
    }
  }
  std::fclose(fp);
  if (!why.empty()) {
    t_warn("The control point file could not be read (" + why + "); the points are unchanged:\n" + path);
    return false;
  }
  m_ctrlPoints = std::move(points);
  m_pickedIdx = -1;
  t_modeRedrawAll();
  return true;
}

void StateSegGCut::OnKeyDown(int key, int, unsigned) {
  if (key == '1') {
    writeCtrlPointFile(kCtrlPointFileName);
  } else if (key == '2') {
    const std::vector<std::string> files = t_prompts().openFiles("CPdata", "CPdata (*.txt)", false);
    if (!files.empty()) readCtrlPointFile(files[0]);
  } else if (key >= '3' && key <= '7') {
    const double values[5] = {100, 10000, 90000, 9000000, 1};
    const double slider = m_panel ? m_panel->sliderPosition() : 1000;
    std::fprintf(stderr, "%f %f\n", values[key - '3'], slider);
    t_info("compute Voxel Level Graph cut for flower modeling paper (figure )");
    graphCutFromCpFile(slider);
    t_info("done");
  }
}
