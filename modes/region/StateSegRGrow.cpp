#include "modes/region/StateSegRGrow.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "geom/marching_cubes.h"
#include "modes/region/kernels/ctrl_point_file.h"
#include "modes/region/kernels/region_tools.h"
#include "modes/region/kernels/rgrow_flood.h"
#include "modes/region/kernels/rgrow_threshold.h"
#include "modes/region/kernels/voxel_readout.h"
#include "platform/LargeMemory.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"

const char* const StateSegRGrow::kBusyMessage =
    "Region growing is still computing: please wait until it has finished.";
const char* const StateSegRGrow::kTooManySeedsMessage =
    "Seedが100こ以上あるのでRegion Growingは出来ません(時間があれだから)";

namespace {

std::function<void(StateSegRGrow&)>& drawHook() {
  static std::function<void(StateSegRGrow&)> hook;
  return hook;
}

constexpr const char* kNoMemoryMessage =
    "Not enough memory for this operation: the extracted voxels are unchanged.";
constexpr const char* kNoVolumeMessage = "No volume is loaded.";

TRgrowThresholds thresholds(double min1, double max1, double min2, double max2, double min3,
                            double max3, double gMin, double gMax) {
  TRgrowThresholds t;
  t.minv[0] = min1, t.maxv[0] = max1;
  t.minv[1] = min2, t.maxv[1] = max2;
  t.minv[2] = min3, t.maxv[2] = max3;
  t.gMin = gMin, t.gMax = gMax;
  return t;
}

void boxFrame(double extent[3], int dims[3]) {
  extent[0] = extent[1] = extent[2] = 1;
  dims[0] = dims[1] = dims[2] = 1;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->volumeExtent(extent);
    h->volumeSize(dims[0], dims[1], dims[2]);
  }
}

}  // namespace

StateSegRGrow* StateSegRGrow::getInst() {
  static StateSegRGrow mode;
  return &mode;
}

// Shift + left moves or adds a point; Alt with either button erases; Ctrl + left cuts.
StateSegRGrow::StateSegRGrow()
    : TPointEditMode({TPointEditInput::KeyUse::MoveOrAdd, TPointEditInput::KeyUse::Erase, true},
                     {TPointEditInput::KeyUse::None, TPointEditInput::KeyUse::Erase, false}) {
  t_traceModeBanner("StateSegRGrow", true);
  t_traceModeBanner("StateSegRGrow", false);
}

StateSegRGrow::~StateSegRGrow() { m_worker.stopAndJoin(); }

void StateSegRGrow::setDrawHook(std::function<void(StateSegRGrow&)> hook) { drawHook() = std::move(hook); }

void StateSegRGrow::OnDraw() {
  if (drawHook()) drawHook()(*this);
}

// ---- entry ----------------------------------------------------------------------------------------

void StateSegRGrow::OnSwitched(int) {
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_input.reset();
  m_ctrlPoints.clear();  // the cut stroke and the iso-surface stay
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  TModeViewHost* h = t_modeViewHost();
  if (h) {
    const double s[3] = {0.2, 0.2, 0.2};
    h->setSlicePositions(s);
    h->updateSlices();
  }
  t_modeHideSlicePanes();
  if (h) h->setRenderingPanelMode(3, true, true, true, false, false);
  if (m_panel) {
    TModeRegionData::VolumeValues v;
    TModeRegionData* d = t_modeRegionData();
    if (!d || !d->volumeValues(v)) v.channels = 1;
    m_panel->updateControls(v.channels, v.rangeLo, v.rangeHi);
  }
  m_ctrlPointRadius = 0.666666 * t_modeVoxelSizeSum();
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
  t_modeRedrawAll();
}

// ---- control points -----------------------------------------------------------------------------

bool StateSegRGrow::pickCtrlPoint(const TPoint2i& p, int& index) {
  index = -1;
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return false;
  index = t_modePickNearRay(ray, static_cast<int>(m_ctrlPoints.size()), m_ctrlPointRadius,
                            [this](int i) { return m_ctrlPoints[i].data(); });
  return index >= 0;
}

void StateSegRGrow::eraseCtrlPoint(int index) {
  if (index < 0 || index >= static_cast<int>(m_ctrlPoints.size())) return;
  m_ctrlPoints.erase(m_ctrlPoints.begin() + index);
  // The point being moved keeps its place in the shorter list.
  if (m_movingIdx == index)
    m_movingIdx = -1;
  else if (m_movingIdx > index)
    --m_movingIdx;
}

void StateSegRGrow::clearAllCtrlPoints() {
  if (refuseWhileBusy()) return;
  m_ctrlPoints.clear();
  m_movingIdx = -1;
  regionGrow(0.0f, false);
}

// ---- mouse ----------------------------------------------------------------------------------------

int StateSegRGrow::pickPoint(const TPoint2i& p) {
  int idx = -1;
  return pickCtrlPoint(p, idx) ? idx : -1;
}

bool StateSegRGrow::placePoint(const double pos[3]) {
  m_ctrlPoints.emplace_back(pos[0], pos[1], pos[2]);
  m_movingIdx = static_cast<int>(m_ctrlPoints.size()) - 1;
  showVoxelValue(m_ctrlPoints.back());
  return true;
}

void StateSegRGrow::moveGrabbedPoint(const double* pos) {
  TVec3 shown(0, 0, 0);
  if (pos && m_movingIdx >= 0 && m_movingIdx < static_cast<int>(m_ctrlPoints.size())) {
    m_ctrlPoints[m_movingIdx] = TVec3(pos[0], pos[1], pos[2]);
    shown = m_ctrlPoints[m_movingIdx];
  }
  showVoxelValue(shown);
}

void StateSegRGrow::OnKeyDown(int key, int, unsigned) {
  if (key != '1') return;
  t_info("論文書きのための実装, Threshold min値を使ってiso surfaceを取り出しますね！");
  TRgrowVolume vol;
  if (!kernelVolume(vol)) return;
  double extent[3];
  int dims[3];
  boxFrame(extent, dims);
  const float iso = static_cast<float>(m_panel ? m_panel->spinPosition(TDlgSegRGrowIf::kCh1Min) * 0.1 : 0.0);
  t_marchingCubesFloat(static_cast<uint32_t>(vol.W), static_cast<uint32_t>(vol.H), static_cast<uint32_t>(vol.D),
                       vol.ch[0], iso, extent, m_isoMesh, nullptr, nullptr);
  m_isoMesh.smoothUmbrella(2);
  m_isoMesh.smoothTangential(1);
  t_modeRedrawAll();
}

// ---- computations -------------------------------------------------------------------------------

bool StateSegRGrow::refuseWhileBusy() const {
  if (!m_busy) return false;
  t_info(kBusyMessage);
  return true;
}

bool StateSegRGrow::refuseTooManySeeds() const {
  if (static_cast<int>(m_ctrlPoints.size()) <= kRgrowMaxSeeds) return false;
  t_info(kTooManySeedsMessage);
  return true;
}

bool StateSegRGrow::kernelVolume(TRgrowVolume& vol, TRgrowChannelRanges* ranges) {
  TModeRegionData* d = t_modeRegionData();
  TModeRegionData::VolumeValues v;
  if (!d || !d->volumeValues(v)) {
    t_warn(kNoVolumeMessage);
    return false;
  }
  vol = TRgrowVolume();
  vol.W = v.W, vol.H = v.H, vol.D = v.D;
  vol.channels = v.channels;
  for (int k = 0; k < 3; ++k) vol.ch[k] = v.ch[k];
  vol.gradient = v.gradient;
  if (ranges) {
    for (int k = 0; k < 3; ++k) ranges->lo[k] = v.rangeLo[k], ranges->hi[k] = v.rangeHi[k];
  }
  if (static_cast<long long>(vol.voxelCount()) > kRgrowMaxVoxels) {
    t_warn(t_modeVoxelLimitText("Region growing", kRgrowMaxVoxels, vol.W, vol.H, vol.D));
    return false;
  }
  if (!vol.valid()) {
    t_warn(kNoVolumeMessage);
    return false;
  }
  return true;
}

namespace {

// A job's own copy of the volume arrays it reads, and the kernels' view of it.
struct TOwnVolume {
  std::vector<float> ch[3];
  std::vector<float> gradient;
  TRgrowVolume view;
};

}  // namespace

bool StateSegRGrow::runFlagJob(const TRgrowVolume& vol, Reads reads, ScratchBytes scratch, FlagJob job) {
  if (refuseWhileBusy()) return false;
  TModeRegionData* d = t_modeRegionData();
  const std::size_t n = d ? d->maskVoxelCount() : 0;
  const std::uint8_t* flags = d ? d->flagVoxels() : nullptr;
  if (n == 0 || !flags || (reads != Reads::FlagsOnly && vol.voxelCount() != n)) {
    t_warn(kNoVolumeMessage);
    return false;
  }
  // The computation works on its own copies: the view keeps drawing the flags meanwhile, a
  // computation that fails half-way leaves them as they were, and the live volume may be
  // rewritten (flipped, smoothed) without the worker reading it.  Only what the job reads is
  // copied, and nothing is when the copies and the kernel's own scratch would not fit in the
  // memory there is.
  std::int64_t need = static_cast<std::int64_t>(n);
  if (reads != Reads::FlagsOnly)
    for (int k = 0; k < vol.channels && k < 3; ++k)
      if (vol.ch[k]) need += static_cast<std::int64_t>(n * sizeof(float));
  if (reads == Reads::ChannelsAndGradient && vol.gradient) need += static_cast<std::int64_t>(n * sizeof(float));
  if (scratch) need += static_cast<std::int64_t>(scratch(vol.W, vol.H, vol.D));
  const std::int64_t avail = t_availableMemoryBytes();
  if (avail > 0 && need > avail) {  // 0: the system does not say, the allocations will tell
    t_warn(kNoMemoryMessage);
    return false;
  }
  auto copy = std::make_shared<std::vector<std::uint8_t>>();
  auto own = std::make_shared<TOwnVolume>();
  own->view.W = vol.W, own->view.H = vol.H, own->view.D = vol.D;
  own->view.channels = vol.channels;
  try {
    copy->assign(flags, flags + n);
    if (reads != Reads::FlagsOnly)
      for (int k = 0; k < vol.channels && k < 3; ++k)
        if (vol.ch[k]) {
          own->ch[k].assign(vol.ch[k], vol.ch[k] + n);
          own->view.ch[k] = own->ch[k].data();
        }
    if (reads == Reads::ChannelsAndGradient && vol.gradient) {
      own->gradient.assign(vol.gradient, vol.gradient + n);
      own->view.gradient = own->gradient.data();
    }
  } catch (const std::bad_alloc&) {
    t_warn(kNoMemoryMessage);
    return false;
  }

  const unsigned gen = ++m_generation;
  m_busy = true;
  if (m_panel) m_panel->setBusy(true);
  t_progressStart(kProgressCaption, 0);

  TModeViewHost* host = t_modeViewHost();
  auto progress = [last = -1](double f) mutable {
    const int percent = static_cast<int>(f * 100);
    if (percent == last) return;
    last = percent;
    t_progressToMainFrame(f);
  };
  auto status = std::make_shared<TRgrowStatus>(TRgrowStatus::Ok);
  auto run = [job, copy, own, status, progress]() mutable {
    try {
      *status = job(own->view, *copy, progress);
    } catch (const std::bad_alloc&) {
      *status = TRgrowStatus::OutOfMemory;
    }
    own.reset();  // the volume copy goes as soon as the job is done
  };

  // Without an interface thread to hand the result back to, the work is done here and now.
  if (!host || !host->postToInterface([] {})) {
    run();
    applyFlagJob(gen, *status, *copy);
    return true;
  }
  m_worker.join();  // the previous run has handed its result over and is ending
  m_worker.start([this, run, host, gen, copy, status]() mutable {
    run();
    host->postToInterface([this, gen, copy, status] { applyFlagJob(gen, *status, *copy); });
  });
  return true;
}

void StateSegRGrow::applyFlagJob(unsigned generation, TRgrowStatus status, std::vector<std::uint8_t>& result) {
  if (generation != m_generation) return;  // a newer computation replaced this one
  m_busy = false;
  if (m_panel) m_panel->setBusy(false);
  t_progressEnd();
  TModeRegionData* d = t_modeRegionData();
  switch (status) {
    case TRgrowStatus::Ok:
      break;
    case TRgrowStatus::OutOfMemory:
      t_warn(kNoMemoryMessage);
      return;
    case TRgrowStatus::TooManySeeds:
      t_info(kTooManySeedsMessage);
      return;
    case TRgrowStatus::BadInput:
      t_warn(kNoVolumeMessage);
      return;
  }
  std::uint8_t* flags = d ? d->flagVoxels() : nullptr;
  if (!flags || d->maskVoxelCount() != result.size()) return;  // the volume went meanwhile
  std::memcpy(flags, result.data(), result.size());
  d->dropFlagTexture();
  t_modeRedrawAll();
}

void StateSegRGrow::runThreshold(double min1, double max1, double min2, double max2, double min3,
                                 double max3, double gMin, double gMax) {
  if (refuseWhileBusy()) return;
  TRgrowVolume vol;
  if (!kernelVolume(vol)) return;
  const TRgrowThresholds t = thresholds(min1, max1, min2, max2, min3, max3, gMin, gMax);
  runFlagJob(vol, Reads::ChannelsAndGradient, nullptr,
             [t](const TRgrowVolume& own, std::vector<std::uint8_t>& flags, const TRgrowProgress& progress) {
               return t_runThreshold(own, flags.data(), t, progress);
             });
}

void StateSegRGrow::runThresholdHsv(double hMin, double hMax, double sMin, double sMax, double vMin,
                                    double vMax, double gMin, double gMax) {
  if (refuseWhileBusy()) return;
  TRgrowVolume vol;
  TRgrowChannelRanges ranges;
  if (!kernelVolume(vol, &ranges)) return;
  if (vol.channels != 3) return;  // HSV needs three channels: nothing happens
  const TRgrowThresholds t = thresholds(hMin, hMax, sMin, sMax, vMin, vMax, gMin, gMax);
  runFlagJob(vol, Reads::ChannelsAndGradient, nullptr,
             [t, ranges](const TRgrowVolume& own, std::vector<std::uint8_t>& flags, const TRgrowProgress& progress) {
               return t_runThresholdHsv(own, flags.data(), t, ranges, progress);
             });
}

void StateSegRGrow::runSeedFlood(bool readsGradient, ScratchBytes scratch, SeedFlood flood) {
  if (refuseWhileBusy() || refuseTooManySeeds()) return;
  TRgrowVolume vol;
  if (!kernelVolume(vol)) return;
  std::array<double, 3> extent;
  int dims[3];
  boxFrame(extent.data(), dims);
  const TPoints seeds = m_ctrlPoints;
  // Without seeds the kernels only reset the flags, in place.
  runFlagJob(vol, readsGradient ? Reads::ChannelsAndGradient : Reads::Channels, seeds.empty() ? nullptr : scratch,
             [seeds, extent, flood = std::move(flood)](const TRgrowVolume& own, std::vector<std::uint8_t>& flags,
                                                       const TRgrowProgress& progress) {
               return flood(own, flags.data(), seeds, extent.data(), progress);
             });
}

void StateSegRGrow::regionGrow(float r, bool faceOnly) {
  runSeedFlood(false, t_rgrowSeedFloodScratchBytes,
               [r, faceOnly](const TRgrowVolume& vol, std::uint8_t* flags, const TPoints& seeds, const double* extent,
                             const TRgrowProgress& progress) {
                 return t_regionGrowFromSeeds(vol, flags, seeds, extent, r, faceOnly, progress);
               });
}

void StateSegRGrow::regionGrowShape(float r, int coefficient) {
  runSeedFlood(false, t_rgrowShapeScratchBytes,
               [r, coefficient](const TRgrowVolume& vol, std::uint8_t* flags, const TPoints& seeds,
                                const double* extent, const TRgrowProgress& progress) {
                 return t_regionGrowShapeFromSeeds(vol, flags, seeds, extent, r, coefficient, progress);
               });
}

void StateSegRGrow::regionGrow27(double min1, double max1, double min2, double max2, double min3,
                                 double max3, double gMin, double gMax) {
  const TRgrowThresholds t = thresholds(min1, max1, min2, max2, min3, max3, gMin, gMax);
  runSeedFlood(true, t_rgrowSeedFloodScratchBytes,
               [t](const TRgrowVolume& vol, std::uint8_t* flags, const TPoints& seeds, const double* extent,
                   const TRgrowProgress& progress) {
                 return t_regionGrowListFromSeeds(vol, flags, seeds, extent, t, false, progress);
               });
}

void StateSegRGrow::regionGrow6(double min1, double max1, double min2, double max2, double min3,
                                double max3, double gMin, double gMax) {
  const TRgrowThresholds t = thresholds(min1, max1, min2, max2, min3, max3, gMin, gMax);
  runSeedFlood(true, t_rgrowSeedFloodScratchBytes,
               [t](const TRgrowVolume& vol, std::uint8_t* flags, const TPoints& seeds, const double* extent,
                   const TRgrowProgress& progress) {
                 return t_regionGrowListFromSeeds(vol, flags, seeds, extent, t, true, progress);
               });
}

void StateSegRGrow::fillHole() {
  if (refuseWhileBusy()) return;
  TRgrowVolume vol;
  if (!kernelVolume(vol)) return;
  runFlagJob(vol, Reads::FlagsOnly, t_fillHoleScratchBytes,
             [](const TRgrowVolume& own, std::vector<std::uint8_t>& flags, const TRgrowProgress& progress) {
               return t_fillHoleFlags(flags.data(), own.W, own.H, own.D, progress);
             });
}

void StateSegRGrow::erosion() {
  if (refuseWhileBusy()) return;
  TRgrowVolume vol;
  if (!kernelVolume(vol)) return;
  runFlagJob(vol, Reads::FlagsOnly, t_morphologyScratchBytes,
             [](const TRgrowVolume& own, std::vector<std::uint8_t>& flags, const TRgrowProgress&) {
               return t_erodeFlags(flags.data(), own.W, own.H, own.D);
             });
}

void StateSegRGrow::dilation() {
  if (refuseWhileBusy()) return;
  TRgrowVolume vol;
  if (!kernelVolume(vol)) return;
  runFlagJob(vol, Reads::FlagsOnly, t_morphologyScratchBytes,
             [](const TRgrowVolume& own, std::vector<std::uint8_t>& flags, const TRgrowProgress&) {
               return t_dilateFlags(flags.data(), own.W, own.H, own.D);
             });
}

// ---- files and read-out ---------------------------------------------------------------------------

namespace {

TCtrlPointFrame ctrlPointFrame() {
  TCtrlPointFrame f;
  boxFrame(f.extent, f.dims);
  TModeRegionData::VolumeValues v;
  if (TModeRegionData* d = t_modeRegionData())
    if (d->volumeValues(v))
      for (int k = 0; k < 3; ++k) f.pitch[k] = v.pitch[k];
  return f;
}

}  // namespace

bool StateSegRGrow::exportControlPoints(const std::string& path) {
  if (t_exportCtrlPoints(path, m_ctrlPoints, ctrlPointFrame())) return true;
  t_warn("The control points could not be written to\n" + path);
  return false;
}

bool StateSegRGrow::importControlPoints(const std::string& path) {
  const int n = t_importCtrlPoints(path, ctrlPointFrame(), m_ctrlPoints);
  t_modeRedrawAll();
  if (n >= 0) return true;
  t_warn("The control point file could not be read:\n" + path);
  return false;
}

void StateSegRGrow::showVoxelValue(const TVec3& point) {
  if (!m_panel) return;
  TModeRegionData* d = t_modeRegionData();
  TModeRegionData::VolumeValues v;
  if (!d || !d->volumeValues(v)) return;
  TRgrowVolume vol;
  vol.W = v.W, vol.H = v.H, vol.D = v.D;
  vol.channels = v.channels;
  TRgrowChannelRanges ranges;
  for (int k = 0; k < 3; ++k) {
    vol.ch[k] = v.ch[k];
    ranges.lo[k] = v.rangeLo[k];
    ranges.hi[k] = v.rangeHi[k];
  }
  vol.gradient = v.gradient;
  double extent[3];
  int dims[3];
  boxFrame(extent, dims);
  const TVoxelReadout r = t_voxelReadout(vol, point, extent, m_panel->isRgbChecked(), ranges);
  m_panel->setReadout(r.text);
}

// ---- leaving --------------------------------------------------------------------------------------

void StateSegRGrow::finish() {
  if (refuseWhileBusy()) return;
  if (!selectIdForRegion()) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}

void StateSegRGrow::cancel() {
  if (refuseWhileBusy()) return;
  if (!t_askOkCancel("抽出結果を適用せずに 修正作業を終了しますか？")) return;
  TCore::getInst().setMode(3);
  t_modeRedrawAll();
}
