// Contour refinement's relabelling where the surface moved, along an axis and along a diagonal
// of the volume in the same run.  The zone it walks (the voxels within a voxel of each moved
// point's path) must cost in proportion to the paths, whatever their direction: the diagonal's
// time should be within 1.5x of the axis's.
//  1. The kernel: a ball of radius 30 in a 96^3 volume, its cap pulled 60 voxels out along x,
//     along z and along the diagonal, relabelled from the record of the entry (best of three);
//     then the same in a 160^3 volume that holds the whole pull (in the 96^3 one the pulls along
//     the axes leave the volume sooner, so the diagonal's zone is larger).
//  2. The mode: a 256^3 ball cut across by a stroke and its fiber's top dragged 30 and then 90 px,
//     the camera looking along an axis and along a diagonal (best of three); the deformation on
//     the interface thread and the relabelling on the worker are timed apart.
//
//   bench_curve_refine [kernel size, 96] [mode size, 256]
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "geom/marching_cubes.h"
#include "modes/curve/StateRefContours.h"
#include "modes/curve/kernels/roi_relabel.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

namespace {

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Region 2: a ball of the radius around centre (in voxels).
std::vector<std::uint8_t> ballMask(int n, double radius, const double centre[3]) {
  std::vector<std::uint8_t> m(std::size_t(n) * n * n, 0);
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x)
        if (std::hypot(x + 0.5 - centre[0], y + 0.5 - centre[1], z + 0.5 - centre[2]) <= radius)
          m[x + std::size_t(n) * (y + std::size_t(n) * z)] = 2;
  return m;
}

std::vector<std::uint8_t> ballMask(int n, double radius) {
  const double c[3] = {0.5 * n, 0.5 * n, 0.5 * n};
  return ballMask(n, radius, c);
}

// ---- 1. the kernel --------------------------------------------------------------------------------

// The best of three relabellings of the ball (radius r at c) with its cap pulled along dir.
double capMove(int n, const TTriangleMesh& ball, const std::shared_ptr<const std::vector<std::uint8_t>>& entry,
               const double c[3], double r, const double dir[3], double pull, int& changed) {
  TTriangleMesh pulled;
  pulled.copyFrom(ball);
  for (TVec3& v : pulled.verts) {
    const double d = (v[0] - c[0]) * dir[0] + (v[1] - c[1]) * dir[1] + (v[2] - c[2]) * dir[2];
    const double t = std::clamp((d - 0.3 * r) / (0.7 * r), 0.0, 1.0);
    const double w = t * t * (3 - 2 * t);
    for (int k = 0; k < 3; ++k) v[k] += pull * w * dir[k];
  }
  const double vs[3] = {1, 1, 1};
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    TRelabelJob job;
    job.W = job.H = job.D = n;
    for (double& e : job.extent) e = n;
    job.mesh.copyFrom(pulled);
    job.entry = entry;
    job.moved = t_refMovedPoints(pulled, ball.verts, vs);
    const auto t0 = std::chrono::steady_clock::now();
    if (!t_relabelByRoiMesh(job)) {
      std::printf("  the relabelling did not run\n");
      return 0;
    }
    best = std::min(best, seconds(t0));
    changed = 0;
    for (std::uint8_t l : job.labels) changed += l == 2 || l == 4;
  }
  return best;
}

// A ball of radius 30 at c in an n^3 volume, its cap pulled 60 voxels along x, along z and along
// the diagonal.
void benchKernel(int n, const double c[3], const char* what) {
  const double r = 30, pull = 60;
  const std::vector<std::uint8_t> mask = ballMask(n, r, c);
  const double extent[3] = {double(n), double(n), double(n)};
  TTriangleMesh ball;
  t_marchingCubesMaskRegion(n, n, n, mask.data(), 2, extent, ball, 1);
  ball.updateNormals();
  std::vector<std::uint8_t> labels(mask.size());
  for (std::size_t i = 0; i < mask.size(); ++i) labels[i] = mask[i] == 2 ? 6 : 0;
  auto record = std::make_shared<std::vector<std::uint8_t>>();
  t_refEntryRaster(n, n, n, extent, ball, labels.data(), *record);
  std::printf("kernel: %d^3 volume, ball of radius %.0f at (%.0f, %.0f, %.0f) (%d triangles), cap pulled %.0f "
              "voxels, %s; best of 3\n",
              n, r, c[0], c[1], c[2], ball.polyCount, pull, what);
  const double xAxis[3] = {1, 0, 0}, zAxis[3] = {0, 0, 1}, s = 1 / std::sqrt(3.0), diag[3] = {s, s, s};
  int changedX = 0, changedZ = 0, changedD = 0;
  const double tx = capMove(n, ball, record, c, r, xAxis, pull, changedX);
  const double tz = capMove(n, ball, record, c, r, zAxis, pull, changedZ);
  const double td = capMove(n, ball, record, c, r, diag, pull, changedD);
  std::printf("  along x          %8.3f s  (%d voxels changed)\n", tx, changedX);
  std::printf("  along z          %8.3f s  (%d voxels changed)\n", tz, changedZ);
  std::printf("  along a diagonal %8.3f s  (%d voxels changed)\n", td, changedD);
  std::printf("  diagonal / x     %8.2f   diagonal / z %5.2f\n", tx > 0 ? td / tx : 0.0, tz > 0 ? td / tz : 0.0);
}

// ---- 2. the mode ----------------------------------------------------------------------------------

class BenchPanel : public TDlgRefContoursIf {
 public:
  bool checks[kCheckCount] = {};
  void showPanel() override {}
  void hidePanel() override {}
  void updateControls() override {
    for (bool& c : checks) c = false;
    for (Check c : {Normal, Fibers, ForeHL, RoiSmall, GrabDrag, RubSmooth}) checks[c] = true;
  }
  bool isChecked(Check c) const override { return checks[c]; }
  void setChecked(Check c, bool on) override { checks[c] = on; }
  int smoothingRate() const override { return 8; }
};

class BenchHost : public PointingViewHost {
 public:
  TFiberView view;
  BenchHost() { async = true; }
  void redrawAll() override {}
  void redrawMainView() override {}
  void setButtonHeld(bool) override {}
  void camBtnUp() override {}
};

class BenchData : public FakeRegionData {
 public:
  explicit BenchData(int n) {
    mask = ballMask(n, 0.3 * n);
    flag.assign(mask.size(), 0);
    used[2] = true;
  }
  void rebuildRegionSurface(int) override {}
};

struct DragTimes {
  double deform = 0, relabel = 0;
};

// One mode entry with the camera's eye at eyeDir (from the centre), a cut across the middle and
// the two drags of the fiber's top upwards on the screen.
bool benchModeView(int n, const double eyeDir[3], DragTimes times[2]) {
  FakeMode vis("vis");
  BenchData data(n);
  ScriptedChooser chooser;
  BenchHost host;
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  BenchPanel panel;
  StateRefContours* mode = StateRefContours::getInst();
  TModeRegistry& reg = TModeRegistry::getInst();
  reg.clear();
  TModeEntry v;
  v.name = "vis";
  v.ids = {0, 1, 2, 3, 4};
  v.mode = [&]() -> TModeState* { return &vis; };
  reg.add(v);
  TModeEntry e;
  e.name = "StateRefContours";
  e.ids = {13};
  e.mode = []() -> TModeState* { return StateRefContours::getInst(); };
  reg.add(e);
  mode->attachPanel(&panel);
  TCore::setWiring(TCoreWiring());
  t_setModeRegionData(&data);
  t_setMaskIdChooser(&chooser);
  t_setModeViewHost(&host);
  host.volW = host.volH = host.volD = n;
  const double c[3] = {5, 5, 5}, up[3] = {0, 1, 0};
  double eye[3];
  for (int k = 0; k < 3; ++k) eye[k] = c[k] + 15.0 * eyeDir[k];
  host.view = TFiberView::lookAt(eye, c, up, 40.0, 0.5, 100.0, 400, 400);
  StateRefContours::ViewHooks hooks;
  hooks.camera = [&](TFiberView& out) {
    out = host.view;
    return true;
  };
  StateRefContours::setViewHooks(hooks);

  bool ok = false;
  // Runs the worker's hand-overs as the interface thread would, until none is due.
  auto settle = [&] {
    for (;;) {
      const bool busy = mode->worker().busy();
      if (host.drain() == 0 && !busy) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  auto window = [&](const TVec3& p) {
    double w[3];
    host.view.project(p.data(), w);
    return TPoint2i(static_cast<int>(std::lround(w[0])), static_cast<int>(std::lround(w[1])));
  };
  chooser.one.push_back({true, 2});
  const auto tEntry = std::chrono::steady_clock::now();
  TCore::getInst().setMode(13);
  if (TCore::getInst().modeId == 13) {
    std::printf("  entry %.2f s (%d triangles);", seconds(tEntry), mode->scene().regionMesh.polyCount);
    const TPoint2i mid = window(TVec3(c[0], c[1], c[2]));
    host.keys = TModeState::MK_CONTROL;
    mode->OnLBtnDown(TPoint2i(mid.x - 7, mid.y - 150));
    for (int i = 1; i <= 30; ++i) mode->OnMouseMove(TPoint2i(mid.x - 7 + 12 * i / 30, mid.y - 150 + 300 * i / 30));
    mode->OnLBtnUp(TPoint2i(mid.x + 5, mid.y + 150));
    host.keys = TModeState::MK_SHIFT;
    for (int i = 0; i < 1000; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, -120, mid);
    for (int i = 0; i < 139; ++i) mode->OnMouseWheel(TModeState::MK_SHIFT, 120, mid);
    ok = mode->scene().newFibers.size() == 1;
    const int drags[2] = {30, 90};
    for (int d = 0; d < 2 && ok; ++d) {
      const TFiberStroke& f = mode->scene().newFibers[0];
      TPoint2i top = window(f.points[0]);
      for (const TVec3& p : f.points)
        if (window(p).y < top.y) top = window(p);
      host.keys = TModeState::MK_SHIFT;
      mode->OnLBtnDown(top);
      ok = mode->isDragging();
      for (int i = 1; i <= 4; ++i) mode->OnMouseMove(TPoint2i(top.x, top.y - drags[d] * i / 4));
      const int runs = mode->worker().completedRuns();
      const auto t0 = std::chrono::steady_clock::now();
      mode->OnLBtnUp(TPoint2i(top.x, top.y - drags[d]));
      times[d].deform = seconds(t0);
      const auto t1 = std::chrono::steady_clock::now();
      settle();
      times[d].relabel = seconds(t1);
      ok = ok && mode->worker().completedRuns() > runs;
      host.keys = 0;
    }
  }
  mode->stopWorkers();
  host.drain();
  TCore::getInst().setMode(0);
  mode->attachPanel(nullptr);
  reg.clear();
  StateRefContours::setViewHooks(StateRefContours::ViewHooks());
  t_setModeRegionData(nullptr);
  t_setMaskIdChooser(nullptr);
  t_setModeViewHost(nullptr);
  return ok;
}

void benchMode(int n) {
  std::printf("mode: %d^3 volume, ball of radius %.0f voxels, a cut across it, drags of its fiber's top by 30 and "
              "90 px, best of 3\n",
              n, 0.3 * n);
  const double s = 1 / std::sqrt(3.0);
  const double axis[3] = {0.0047, 0.0073, 1.0}, diag[3] = {s + 0.004, s - 0.003, s};
  DragTimes best[2][2];
  for (int view = 0; view < 2; ++view) {
    for (auto& b : best[view]) b.deform = b.relabel = 1e30;
    std::printf(" %s:", view ? "diagonal" : "axis    ");
    for (int run = 0; run < 3; ++run) {
      DragTimes t[2];
      if (!benchModeView(n, view ? diag : axis, t)) {
        std::printf(" the drags did not take\n");
        return;
      }
      for (int d = 0; d < 2; ++d) {
        best[view][d].deform = std::min(best[view][d].deform, t[d].deform);
        best[view][d].relabel = std::min(best[view][d].relabel, t[d].relabel);
      }
    }
    std::printf("\n");
  }
  for (int d = 0; d < 2; ++d) {
    std::printf("  drag %2d px: relabelling  axis %7.3f s  diagonal %7.3f s  ratio %5.2f   (deformation %.3f s, "
                "%.3f s)\n",
                d ? 90 : 30, best[0][d].relabel, best[1][d].relabel,
                best[0][d].relabel > 0 ? best[1][d].relabel / best[0][d].relabel : 0.0, best[0][d].deform,
                best[1][d].deform);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int kernelSize = argc > 1 ? std::atoi(argv[1]) : 96;
  const int modeSize = argc > 2 ? std::atoi(argv[2]) : 256;
  if (kernelSize < 16 || modeSize < 16) {
    std::fprintf(stderr, "usage: bench_curve_refine [kernel size >= 16] [mode size >= 16]\n");
    return 1;
  }
  std::printf("contour refinement relabelling, %d threads\n", omp_get_max_threads());
  const double middle[3] = {0.5 * kernelSize, 0.5 * kernelSize, 0.5 * kernelSize};
  benchKernel(kernelSize, middle, "along x and z the cap leaves the volume after a third of the pull");
  // The same ball and pull in a volume that holds every path whole.
  const double corner[3] = {48, 48, 48};
  benchKernel(160, corner, "every path inside the volume");
  benchMode(modeSize);
  return 0;
}
