#include "modes/vis/StateVisOrgCrs.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <new>
#include <thread>

#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "modes/vis/orgcrs_entry.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "view/CKestrinView.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
#include "view/redraw.h"

namespace {

// The status-bar caption of the surface build.
constexpr int kProgressCaption = 18;

}  // namespace

const char* const StateVisOrgCrs::kBusyMessage =
    "The organ surfaces are being built: please wait until they are done.";
const char* const StateVisOrgCrs::kNoMemoryMessage =
    "Not enough memory for the organ surfaces: nothing was changed.";

StateVisOrgCrs& StateVisOrgCrs::getInst() {
  static StateVisOrgCrs inst;
  return inst;
}

StateVisOrgCrs::StateVisOrgCrs() = default;
StateVisOrgCrs::~StateVisOrgCrs() = default;

void StateVisOrgCrs::createPanels() {
  if (m_panel) return;
  m_panel = new TDlgVisOrgCrs();
  m_panel->onDisplayChanged = [] { t_redrawAll(); };
  m_panel->onResetDeform = [this] { resetDeformableCut(); };
  m_panel->hide();
}

void StateVisOrgCrs::destroyPanels() { delete m_panel.data(); }

void StateVisOrgCrs::hidePanels() {
  if (m_panel) m_panel->hide();
}

TOrgCrsDisplay StateVisOrgCrs::display() const {
  if (m_panel) return m_panel->display();
  TOrgCrsDisplay d;
  d.reset();
  return d;
}

bool StateVisOrgCrs::brushShown() const { return display().brushEnabled(); }

void StateVisOrgCrs::OnSwitched(int) {
  // A switch into this mode while its own build runs (the build's event loop delivers queued
  // calls) changes nothing: the running entry goes on.
  if (m_building) {
    if (m_panel) m_panel->show();  // the switch hid it
    t_info(kBusyMessage);
    return;
  }
  // The mode rewrites the working flag volume: not while another mode's worker reads it.
  if (TCore::getInst().refuseWhileBusy()) {
    TCore::getInst().setMode(3);
    return;
  }
  m_strokeFlag = m_brushFlag = false;
  m_stroke.clear();
  m_brushStrength = 0.0008;
  VolRendManager& vr = VolRendManager::getInst();
  for (double& s : vr.slicePos) s = 0.2;
  TModeViewHost* host = t_modeViewHost();
  if (host) host->hideSlicePanes();
  if (TDlgVisParam::exists())
    TDlgVisParam::getInst().updateModeControls(3, true, true, true, false, false);
  if (m_panel) m_panel->updateControls();

  TModeRegionData* data = t_modeRegionData();
  const uint8_t* mask = data ? data->maskVoxels() : nullptr;
  const std::size_t n = data ? data->maskVoxelCount() : 0;
  if (t_askOrganIds(mask, n, m_ids) != TOrgCrsEntry::Ready) {
    TCore::getInst().setMode(3);
    return;
  }

  TOrganSurfaceJob job;
  if (host) host->volumeSize(job.W, job.H, job.D);
  if (std::size_t(job.W) * job.H * job.D != n) {
    TCore::getInst().setMode(3);
    return;
  }
  job.mask = mask;
  job.ids = m_ids;
  for (int a = 0; a < 3; ++a) job.extent[a] = vr.extent[a];
  if (TDlgVisParam::exists()) TDlgVisParam::getInst().getPitch(job.pitch);
  const TOrganBuild built = buildSurfaces(job);
  // Loads and switches were refused during the build, so the mode and the mask are those it
  // started with; should either have gone all the same, the surfaces are not applied to them.
  TCore& core = TCore::getInst();
  if (core.state != this) return;
  if (built != TOrganBuild::Done || data != t_modeRegionData() || data->maskVoxelCount() != n ||
      data->maskVoxels() != mask) {
    if (built == TOrganBuild::OutOfMemory) t_warn(kNoMemoryMessage);
    core.setMode(3);
    return;
  }

  t_fillOrganFlags(mask, n, m_ids, data->flagVoxels());
  data->dropFlagTexture();
  t_redrawAll();
}

TOrganBuild StateVisOrgCrs::buildSurfaces(const TOrganSurfaceJob& job) {
  // Nothing is taken or changed when the volume cannot be built in the memory there is.
  const std::size_t n = std::size_t(job.W) * job.H * job.D;
  if (!t_organSurfacesFit(job.W, job.H, job.D, std::int64_t(n))) return TOrganBuild::OutOfMemory;
  // The worker reads its own copy of the mask and fills its own surfaces; the interface thread
  // keeps painting (and holds user input off) until it is done, and everything that could
  // change the volume or the mode is refused meanwhile (busyMessage).
  std::vector<uint8_t> mask;
  try {
    mask.assign(job.mask, job.mask + n);
  } catch (const std::bad_alloc&) {
    return TOrganBuild::OutOfMemory;
  }
  TOrganSurfaceJob own = job;
  own.mask = mask.data();
  std::array<ClipSurface, kOrgSurfaceCount> built;
  TOrganBuild result = TOrganBuild::OutOfMemory;
  const auto t0 = std::chrono::steady_clock::now();
  m_building = true;
  t_progressStart(kProgressCaption, 0);
  auto progress = [last = -1](double f) mutable {
    const int percent = static_cast<int>(f * 100);
    if (percent == last) return;
    last = percent;
    t_progressToMainFrame(f);
  };
  if (QCoreApplication::instance()) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      result = buildRegionSurfaces(own, built, progress);
      done.store(true, std::memory_order_release);
    });
    while (!done.load(std::memory_order_acquire)) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker.join();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    result = buildRegionSurfaces(own, built, progress);
  }
  t_progressEnd();
  m_building = false;
  if (result != TOrganBuild::Done) return result;
  try {
    for (int i = 0; i < kOrgSurfaceCount; ++i) {
      m_surfaces[i].clear();
      m_surfaces[i].setFromMesh(built[i]);
    }
  } catch (const std::bad_alloc&) {
    for (ClipSurface& c : m_surfaces) c.clear();
    return TOrganBuild::OutOfMemory;
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::fprintf(stderr, "organ surfaces built in %.3f s\n", secs);
  return TOrganBuild::Done;
}

void StateVisOrgCrs::resetDeformableCut() {
  m_surfaces[kOrgDeform].clear();
  m_surfaces[kOrgDeform].setFromMesh(m_surfaces[kOrgCut1 + 2]);
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}

void StateVisOrgCrs::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  TModeViewHost* h = t_modeViewHost();
  if (h) h->setButtonHeld(true);
  if (t_ctrlHeld()) {
    m_strokeFlag = true;
    m_stroke.clear();
    double w[3];
    if (h && h->mainUnProject(p, 0.01, w)) m_stroke.emplace_back(w[0], w[1], w[2]);
  } else if (t_shiftHeld() && brushShown()) {
    m_brushFlag = true;
    m_lastPoint = p;
  } else if (h) {
    h->camBtnDownTranslate(p);
  }
}

void StateVisOrgCrs::OnLBtnUp(const TPoint2i&) {
  VolRendManager& vr = VolRendManager::getInst();
  if (m_strokeFlag) {
    if (int(m_stroke.size()) < TModeViewHost::kCutStrokeMinPoints) {
      vr.cutSurface.clear();
      t_modeNoteShortCutStroke(int(m_stroke.size()));
    } else
      vr.genCutSurfaceFromStroke(m_stroke);
  }
  lBtnHeld = false;
  m_strokeFlag = m_brushFlag = false;
  m_stroke.clear();
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setButtonHeld(false);
    h->camBtnUp();
  }
  t_redrawAll();
}

void StateVisOrgCrs::OnMouseMove(const TPoint2i& p) {
  m_lastPoint = p;
  TModeViewHost* h = t_modeViewHost();
  if (m_strokeFlag) {
    double w[3];
    if (h && h->mainUnProject(p, 0.01, w)) m_stroke.emplace_back(w[0], w[1], w[2]);
  } else if (m_brushFlag) {
    pickSurfacePatch(p);
  } else if ((lBtnHeld || rBtnHeld || mBtnHeld) && h) {
    h->camMouseMove(p);
  }
  if ((lBtnHeld || rBtnHeld || mBtnHeld || t_shiftHeld()) && h) h->redrawMainView();
}

void StateVisOrgCrs::pickSurfacePatch(const TPoint2i& p) {
  CKestrinView* view = CKestrinView::s_theView;
  if (!view) return;
  TOGL& ogl = view->togl;
  double o[3], d[3];
  ogl.getCursorRay(p.x, p.y, o, d);
  const int depth = m_panel ? m_panel->brushDepth() : 50;
  t_brushSurfacePatch(m_surfaces[kOrgDeform], o, d, ogl.eye, m_brushStrength, ogl.unProjectIdentity(), depth);
}

void StateVisOrgCrs::OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if (flags & MK_SHIFT) {
    m_brushStrength += delta < 1 ? -0.00005 : 0.00005;
    if (m_brushStrength < 0.00005) m_brushStrength = 0.00005;
  } else if (h) {
    h->stepSliceByWheel(p, delta);
  }
  if (h) h->redrawMainView();
}

int StateVisOrgCrs::OnSetCursor(const TPoint2i& p) {
  if (t_ctrlHeld()) return 4;
  if (t_shiftHeld() && brushShown()) return 6;
  int w = 0, hgt = 0;
  if (TModeViewHost* h = t_modeViewHost()) h->mainViewSize(w, hgt);
  if (p.x < 30 || p.x > w - 30) return 2;
  if (p.y < 30 || p.y > hgt - 30) return 1;
  return 0;
}
