#include "modes/region/StateSegSRG.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/WinLvModel.h"
#include "core/mode_helpers.h"
#include "geom/marching_cubes.h"
#include "modes/region/kernels/seed_file.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/volume_filters.h"

const char* const StateSegSRG::kBusyMessage =
    "Seeded region growing is still computing: please wait until it has finished.";
const char* const StateSegSRG::kNoResultMessage =
    "There is no result to store yet: press \"Run ! Seed Region Grow\" first. The mask is unchanged.";
const char* const StateSegSRG::kGroupLimitMessage = "group数限界";
const char* const StateSegSRG::kFinishQuestion =
    "現実装では全ての抽出結果を無視して、複数領域をせっとします。いい？";
const char* const StateSegSRG::kCancelQuestion = "抽出結果を適用せずに 修正作業を終了しますか？";
const char* const StateSegSRG::kSeedFileName = "SRG_CPs.txt";

namespace {

constexpr const char* kNoVolumeMessage = "No volume is loaded.";
constexpr const char* kNoMemoryMessage =
    "Not enough memory for seeded region growing: nothing was changed.";

// The group colours, bytes per channel.
constexpr unsigned char kPalette[15][3] = {
    {0, 206, 209},   {255, 192, 203}, {0, 128, 0},    {0, 0, 255},     {255, 165, 0},
    {50, 205, 50},   {221, 128, 96},  {255, 69, 0},   {208, 96, 96},   {160, 82, 45},
    {204, 204, 211}, {64, 64, 255},   {170, 51, 221}, {255, 170, 170}, {148, 0, 211},
};

std::function<void(StateSegSRG&)>& drawHook() {
  static std::function<void(StateSegSRG&)> hook;
  return hook;
}
TSrgDisplay*& display() {
  static TSrgDisplay* d = nullptr;
  return d;
}

}  // namespace

// What a run hands back to the interface thread.
struct StateSegSRG::RunResult {
  TSrgStatus status = TSrgStatus::NoVolume;
  bool outOfMemory = false;
  std::size_t voxels = 0;
  std::vector<std::uint8_t> labels;   // group label per voxel
  std::vector<std::uint8_t> display;  // channel-1 bytes showing the group means
  std::vector<TSrgGroup> groups;      // sums, means, counts and surfaces
};

StateSegSRG* StateSegSRG::getInst() {
  static StateSegSRG mode;
  return &mode;
}

// Shift + left moves a seed or adds seeds along the drag, Shift + right erases, Ctrl + left cuts.
StateSegSRG::StateSegSRG()
    : TPointEditMode({TPointEditInput::KeyUse::MoveOrAdd, TPointEditInput::KeyUse::None, true},
                     {TPointEditInput::KeyUse::Erase, TPointEditInput::KeyUse::None, false}) {
  t_traceModeBanner("StateSegSRG", true);
  t_traceModeBanner("StateSegSRG", false);
}

StateSegSRG::~StateSegSRG() { stopWorkers(); }

void StateSegSRG::setDrawHook(std::function<void(StateSegSRG&)> hook) { drawHook() = std::move(hook); }
void StateSegSRG::setDisplay(TSrgDisplay* d) { display() = d; }

void StateSegSRG::paletteColor(int row, double rgb[3]) {
  const int r = ((row % 15) + 15) % 15;
  for (int c = 0; c < 3; ++c) rgb[c] = kPalette[r][c] / 255.0;
}

std::uint32_t StateSegSRG::packColor(const double rgb[3]) {
  std::uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const double v = std::fmin(std::fmax(rgb[c], 0.0), 1.0) * 255.0;
    out |= static_cast<std::uint32_t>(v) << (8 * c);
  }
  return out;
}

void StateSegSRG::OnDraw() {
  if (drawHook()) drawHook()(*this);
}

// ---- entry and leaving ----------------------------------------------------------------------------

void StateSegSRG::OnSwitched(int) {
  // (A run still computing was stopped when the switch hid the panels.)
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  TCore::getInst().releaseZFlipTemporarily();

  m_seedRadius = t_modeVoxelSizeSum() / 3.0 * 2.0;
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_input.reset();
  m_input.clearStroke();
  m_groups.clear();
  m_selected = m_pickedSeed = -1;

  TModeViewHost* h = t_modeViewHost();
  if (h) {
    const double s[3] = {0.2, 0.2, 0.2};
    h->setSlicePositions(s);
    h->updateSlices();
  }
  t_modeHideSlicePanes();
  if (h) h->setRenderingPanelMode(3, true, false, true, false, false);

  for (int i = 0; i < 3; ++i) addNewGroup();
  if (m_panel) m_panel->updateGroupList();
  showPanel();
  restoreDisplay();
  std::vector<std::uint8_t>().swap(m_result);
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  t_modeRedrawAll();
}

void StateSegSRG::hidePanels() {
  TPanelMode<TDlgSegSRGIf>::hidePanels();
  if (m_busy) {
    // Switched away while a run computes: it stops, and its result is not taken.
    if (m_stop) m_stop->store(true, std::memory_order_release);
    ++m_generation;
    m_busy = false;
    if (m_panel) m_panel->setBusy(false);
    t_progressEnd();
  }
  restoreDisplay();
  std::vector<std::uint8_t>().swap(m_result);
}

void StateSegSRG::restoreDisplay() {
  if (!m_meanShown) return;
  m_meanShown = false;
  if (display()) display()->restoreChannel1();
}

void StateSegSRG::stopWorkers() {
  if (m_stop) m_stop->store(true, std::memory_order_release);
  m_worker.stopAndJoin();
  // A result still on its way is dropped.
  ++m_generation;
  m_busy = false;
}

bool StateSegSRG::refuseWhileBusy() const {
  if (!m_busy) return false;
  t_info(kBusyMessage);
  return true;
}

// ---- groups and seeds ---------------------------------------------------------------------------

void StateSegSRG::addNewGroup() {
  if (refuseWhileBusy()) return;
  if (static_cast<int>(m_groups.size()) >= kSrgMaxGroups) {
    t_info(kGroupLimitMessage);
    return;
  }
  m_groups.emplace_back();
  paletteColor(static_cast<int>(m_groups.size()) % 15, m_groups.back().color);
  m_selected = static_cast<int>(m_groups.size()) - 1;
  m_pickedSeed = -1;
}

void StateSegSRG::deleteSelectedGroup() {
  if (refuseWhileBusy()) return;
  if (selectedValid()) {
    m_groups.erase(m_groups.begin() + m_selected);
    // The labels of the groups after it moved down: the last result no longer matches them.
    restoreDisplay();
    std::vector<std::uint8_t>().swap(m_result);
  }
  m_selected = static_cast<int>(m_groups.size()) - 1;
  m_pickedSeed = -1;
}

void StateSegSRG::selectGroup(int index) {
  if (index < 0 || index >= static_cast<int>(m_groups.size())) return;
  if (index != m_selected) m_pickedSeed = -1;
  m_selected = index;
}

bool StateSegSRG::pickCtrlPoint(const TPoint2i& p, int& index) {
  index = -1;
  if (!selectedValid()) return false;
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return false;
  const TPoints& seeds = m_groups[m_selected].seeds;
  index = t_modePickNearRay(ray, static_cast<int>(seeds.size()), m_seedRadius,
                            [&seeds](int i) { return seeds[i].data(); });
  return index >= 0;
}

void StateSegSRG::eraseSeed(int index) {
  if (!selectedValid()) return;
  TPoints& seeds = m_groups[m_selected].seeds;
  if (index < 0 || index >= static_cast<int>(seeds.size())) return;
  seeds.erase(seeds.begin() + index);
  if (m_pickedSeed == index)
    m_pickedSeed = -1;
  else if (m_pickedSeed > index)
    --m_pickedSeed;
}

// ---- mouse ----------------------------------------------------------------------------------------

int StateSegSRG::pickPoint(const TPoint2i& p) {
  int idx = -1;
  return pickCtrlPoint(p, idx) ? idx : -1;
}

void StateSegSRG::erasePoint(int index) {
  eraseSeed(index);
  if (m_panel) m_panel->updateGroupList();  // the group's seed count
}

void StateSegSRG::addPointOnDrag(const double pos[3]) {
  if (!selectedValid()) return;
  TPoints& seeds = m_groups[m_selected].seeds;
  // Seeds of a drag keep at least five seed radii between them.
  if (!seeds.empty() && !(t_dist3(seeds.back().data(), pos) > 5 * m_seedRadius)) return;
  seeds.emplace_back(pos[0], pos[1], pos[2]);
  if (m_panel) m_panel->updateGroupList();
}

void StateSegSRG::moveGrabbedPoint(const double* pos) {
  if (pos && selectedValid() && m_pickedSeed >= 0 &&
      m_pickedSeed < static_cast<int>(m_groups[m_selected].seeds.size()))
    m_groups[m_selected].seeds[m_pickedSeed] = TVec3(pos[0], pos[1], pos[2]);
}

// ---- seed files -----------------------------------------------------------------------------------

void StateSegSRG::OnKeyDown(int key, int, unsigned) {
  if (key == '1') {
    writeSeedFile(kSeedFileName);
  } else if (key == '2') {
    if (refuseWhileBusy()) return;
    const std::vector<std::string> files = t_prompts().openFiles("Open", "CPdata (*.txt)", false);
    if (files.empty()) return;
    readSeedFile(files.front());
  }
}

bool StateSegSRG::writeSeedFile(const std::string& path) {
  const TSeedFileResult r = t_writeSrgSeedFile(path, m_groups);
  if (r.ok()) return true;
  t_warn(r.message);
  return false;
}

bool StateSegSRG::readSeedFile(const std::string& path) {
  if (refuseWhileBusy()) return false;
  const TSeedFileResult r = t_readSrgSeedFile(path, m_groups);
  if (!r.ok()) {
    t_warn(r.message);
    return false;
  }
  // The selection keeps to what the file gave; no seed of the old groups stays picked.
  const int n = static_cast<int>(m_groups.size());
  m_selected = n == 0 ? -1 : std::min(std::max(m_selected, 0), n - 1);
  m_pickedSeed = -1;
  // The last result belongs to the groups that were replaced.
  restoreDisplay();
  std::vector<std::uint8_t>().swap(m_result);
  if (m_panel) m_panel->updateGroupList();
  t_modeRedrawAll();
  return true;
}

// ---- the run ----------------------------------------------------------------------------------------

void StateSegSRG::runSRG() {
  if (refuseWhileBusy()) return;
  int withSeeds = 0;
  for (const TSrgGroup& g : m_groups) withSeeds += !g.seeds.empty();
  if (withSeeds < 2) {
    t_info(t_srgStatusMessage(TSrgStatus::TooFewGroups));
    return;
  }
  TModeRegionData* d = t_modeRegionData();
  TModeRegionData::VolumeValues v;
  if (!d || !d->volumeValues(v) || v.W <= 0 || v.H <= 0 || v.D <= 0 || !v.ch[0]) {
    t_warn(kNoVolumeMessage);
    return;
  }
  if (static_cast<std::int64_t>(v.W) * v.H * v.D > kSrgMaxVoxels) {
    t_warn(t_modeVoxelLimitText("Seeded region growing", kSrgMaxVoxels, v.W, v.H, v.D));
    return;
  }
  if (d->maskVoxelCount() != static_cast<std::size_t>(v.W) * v.H * v.D) {
    t_warn(kNoVolumeMessage);
    return;
  }
  double extent[3] = {10, 10, 10};
  if (TModeViewHost* h = t_modeViewHost()) h->volumeExtent(extent);
  const TVoxelBox box(v.W, v.H, v.D, extent);
  double lo[3], hi[3];
  TWinLvModel::getInst().getMinValues(lo);
  TWinLvModel::getInst().getMaxValues(hi);
  const double wlLo = lo[0], wlHi = hi[0];

  // The run's own copies: the volume may be drawn, and the seeds edited, meanwhile.
  const std::size_t n = static_cast<std::size_t>(box.voxelCount());
  auto values = std::make_shared<std::vector<float>>();
  auto out = std::make_shared<RunResult>();
  try {
    values->assign(v.ch[0], v.ch[0] + n);
    out->groups.resize(m_groups.size());
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
      out->groups[g].seeds = m_groups[g].seeds;
      std::copy(m_groups[g].color, m_groups[g].color + 3, out->groups[g].color);
    }
  } catch (const std::bad_alloc&) {
    t_warn(kNoMemoryMessage);
    return;
  }
  out->voxels = n;

  const unsigned gen = ++m_generation;
  auto stop = std::make_shared<std::atomic<bool>>(false);
  m_stop = stop;
  m_busy = true;
  if (m_panel) m_panel->setBusy(true);
  t_progressStart(kProgressCaption, 0);

  // Without an interface thread to hand the result back to, the run is done here and now.
  TModeViewHost* host = t_modeViewHost();
  const bool onWorker = host && host->postToInterface([] {});
  // From a worker the bar moves through the interface thread, and only while the run is the
  // newest: a run stopped by a switch may still be reporting after the switch ended the bar.
  auto step = [this, host, gen, onWorker](int percent) {
    if (!onWorker) {
      t_progressStep(percent);
      return;
    }
    host->postToInterface([this, gen, percent] {
      if (gen == m_generation && m_busy) t_progressStep(percent);
    });
  };

  auto run = [values, out, stop, box, wlLo, wlHi, step]() {
    int lastPercent = -1;
    auto report = [&lastPercent, &step](double f) {
      const int percent = static_cast<int>(f * 100);
      if (percent == lastPercent) return;
      lastPercent = percent;
      step(percent);
    };
    try {
      TSrgControl control;
      // The growth is most of the run; the surfaces take the rest.
      control.progress = [&report](double f) { report(0.8 * f); };
      control.stop = stop.get();
      out->status = t_seededRegionGrowing(values->data(), box, out->groups, out->labels, control);
      if (out->status != TSrgStatus::Done) return;
      t_srgMeanDisplay(out->labels, out->groups, wlLo, wlHi, out->display);
      // A surface for every group but the first: its voxels, dilated once.
      const int W = box.W, H = box.H, D = box.D;
      const int from[3] = {0, 0, 0}, to[3] = {W, H, D};
      std::vector<std::uint8_t> object(out->labels.size());
      const int groups = static_cast<int>(out->groups.size());
      for (int g = 1; g < groups; ++g) {
        if (stop->load(std::memory_order_acquire)) {
          out->status = TSrgStatus::Stopped;
          return;
        }
        report(0.8 + 0.2 * g / groups);
        if (out->groups[g].count == 0) continue;
        const std::uint8_t label = static_cast<std::uint8_t>(g + 1);
        for (std::size_t i = 0; i < object.size(); ++i) object[i] = out->labels[i] == label ? 255 : 0;
        t_dilate3D(object.data(), W, H, D, from, to);
        TTriangleMesh& mesh = out->groups[g].surface;
        t_marchingCubesByte(static_cast<uint32_t>(W), static_cast<uint32_t>(H), static_cast<uint32_t>(D),
                            object.data(), box.extent, mesh, nullptr, nullptr);
        mesh.smoothUmbrella(1);
        mesh.smoothLM(2);
        mesh.updateNormals();
      }
      report(1.0);
    } catch (const std::bad_alloc&) {
      out->outOfMemory = true;
    }
  };

  if (!onWorker) {
    run();
    applyRun(gen, out);
    return;
  }
  m_worker.join();  // a previous run has handed its result over and is ending
  m_worker.start([this, host, run, out, gen]() {
    run();
    host->postToInterface([this, gen, out] { applyRun(gen, out); });
  });
}

void StateSegSRG::applyRun(unsigned generation, const std::shared_ptr<RunResult>& run) {
  if (generation != m_generation) return;  // stopped, or the mode was left meanwhile
  m_worker.join();                          // it posted this call as its last step
  m_busy = false;
  if (m_panel) m_panel->setBusy(false);
  t_progressEnd();
  if (run->outOfMemory) {
    t_warn(kNoMemoryMessage);
    return;
  }
  if (run->status != TSrgStatus::Done) {
    const char* text = t_srgStatusMessage(run->status);
    if (text && *text) t_info(text);
    return;
  }
  TModeRegionData* d = t_modeRegionData();
  if (!d || d->maskVoxelCount() != run->voxels || run->labels.size() != run->voxels) return;  // the volume went

  for (std::size_t g = 0; g < m_groups.size() && g < run->groups.size(); ++g) {
    TSrgGroup& to = m_groups[g];
    TSrgGroup& from = run->groups[g];
    to.sum = from.sum;
    to.mean = from.mean;
    to.count = from.count;
    to.surface = std::move(from.surface);
  }
  m_result = std::move(run->labels);
  if (display() && display()->showChannel1(run->display)) m_meanShown = true;
  if (m_panel) m_panel->updateGroupList();
  t_modeRedrawAll();
}

// ---- leaving ----------------------------------------------------------------------------------------

void StateSegSRG::finishSegmentation() {
  if (refuseWhileBusy()) return;
  TModeRegionData* d = t_modeRegionData();
  const std::size_t n = d ? d->maskVoxelCount() : 0;
  if (m_result.empty() || n == 0 || m_result.size() != n || !d->maskVoxels()) {
    t_info(kNoResultMessage);
    return;
  }
  if (!t_askOkCancel(kFinishQuestion)) return;

  d->dropMaskTexture();
  std::memcpy(d->maskVoxels(), m_result.data(), n);
  bool present[256] = {};
  for (std::uint8_t l : m_result) present[l] = true;

  // Region k is group k; every other region that was in use has no voxels left.
  const int groups = static_cast<int>(m_groups.size());
  t_progressStart(kProgressCaption, 0);
  for (int id = 1; id <= 255; ++id) {
    if (id <= groups && present[id]) {
      d->commitRegion(id);
      if (display()) display()->setRegionColor(id, packColor(m_groups[id - 1].color));
      t_progressStep(id * 100 / (groups + 1));
    } else if (d->isIdUsed(id)) {
      d->releaseRegion(id);
    }
  }
  t_progressEnd();

  restoreDisplay();
  std::vector<std::uint8_t>().swap(m_result);
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}

void StateSegSRG::cancel() {
  if (refuseWhileBusy()) return;
  if (!t_askOkCancel(kCancelQuestion)) return;
  restoreDisplay();
  std::vector<std::uint8_t>().swap(m_result);
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}
