#include "modes/contour/StateSegCMeshZel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <numeric>
#include <utility>

#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "geom/TDenseSqMat.h"
#include "geom/marching_cubes.h"
#include "geom/matrix3.h"
#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"
#include "implicit/hrbf_engine.h"
#include "implicit/rbf.h"
#include "modes/contour/contour_edit.h"
#include "modes/contour/contmesh_s2_file.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"

const char* const StateSegCMeshZel::kAxisMessage = "2個以上のaxis pointをセットしてください。";
const char* const StateSegCMeshZel::kTooFewPointsMessage = "3点以上指定してください";
const char* const StateSegCMeshZel::kStep2OnlyMessage = "このボタンはstep2のときに有効です";

namespace {

// Every plane contains the axis, so contours on two planes may meet there, and a contour may be
// registered twice: samples at one place make the systems singular.  Of samples closer than tol
// to each other only the first stays.
template <class Sample>
void dropCoincidentSamples(std::vector<Sample>& samples, double tol) {
  const std::size_t n = samples.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t(0));
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return samples[a].pos[0] < samples[b].pos[0]; });
  std::vector<char> dropped(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t a = order[i];
    for (std::size_t j = i + 1; j < n && !dropped[a]; ++j) {
      const std::size_t b = order[j];
      if (samples[b].pos[0] - samples[a].pos[0] > tol) break;
      if (dropped[b]) continue;
      double d2 = 0;
      for (int k = 0; k < 3; ++k) d2 += (samples[a].pos[k] - samples[b].pos[k]) * (samples[a].pos[k] - samples[b].pos[k]);
      if (d2 <= tol * tol) dropped[std::max(a, b)] = 1;
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (!dropped[i]) samples[kept++] = samples[i];
  samples.resize(kept);
}

constexpr const char* kNoMemoryMessage = "Not enough memory for the boundary surface: the region is unchanged.";
constexpr double kAxisPickDistance = 0.18;

std::function<void(StateSegCMeshZel&)>& drawHook() {
  static std::function<void(StateSegCMeshZel&)> hook;
  return hook;
}

unsigned keys() {
  TModeViewHost* h = t_modeViewHost();
  return h ? h->keyState() : 0u;
}

void redrawAll() { t_modeRedrawAll(); }

void dropFlagTexture() {
  if (TModeRegionData* d = t_modeRegionData()) d->dropFlagTexture();
}

TVec3 add(const TVec3& a, const TVec3& b, double s) { return TVec3(a[0] + s * b[0], a[1] + s * b[1], a[2] + s * b[2]); }

// v' = R v for the column-ordered 4x4 rotation R.
TVec3 rotate(const double R[16], const TVec3& v) {
  TVec3 out;
  for (int r = 0; r < 3; ++r) out[r] = R[r] * v[0] + R[4 + r] * v[1] + R[8 + r] * v[2];
  return out;
}

// The quad's vertices rotated by R about the point c.
void rotateAbout(const double R[16], const TVec3& c, TVec3 v[4]) {
  for (int i = 0; i < 4; ++i) {
    const TVec3 d(v[i][0] - c[0], v[i][1] - c[1], v[i][2] - c[2]);
    v[i] = add(c, rotate(R, d), 1.0);
  }
}

bool hrbfInside(std::uint8_t l) { return l == 2; }
bool rbfInside(std::uint8_t l) { return l == 1 || l == 2; }

}  // namespace

void t_cmeshApplyGrown(std::size_t n, std::uint8_t* flags, const std::uint8_t* label, bool (*inside)(std::uint8_t),
                       float* field) {
  // The smallest field value that marching cubes still reads as off the surface's side.
  constexpr float kTiny = 1e-6f;
  for (std::size_t i = 0; i < n; ++i) {
    if (!flags[i]) {
      field[i] = -1.0f;
      continue;
    }
    if (inside(label[i])) {
      flags[i] = 255;
      if (!(field[i] > 0.0f)) field[i] = kTiny;
    } else {
      flags[i] = 1;
      if (!(field[i] < 0.0f)) field[i] = -kTiny;
    }
  }
}

void t_cmeshAxisFrame(const TVec3& p0, const TVec3& p1, TVec3& a, TVec3& u, TVec3& w) {
  a = TVec3(p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]);
  if (!t_normalize3(a)) a = TVec3(1, 0, 0);
  // The z axis made perpendicular to the axis; an axis along z (the usual slice axis) takes the
  // x axis instead, so that the planes keep their size.
  u = add(TVec3(0, 0, 1), a, -a[2]);
  if (t_length3(u) < 1e-6) u = add(TVec3(1, 0, 0), a, -a[0]);
  t_normalize3(u);
  t_cross3(a, u, w);
}

StateSegCMeshZel* StateSegCMeshZel::getInst() {
  static StateSegCMeshZel mode;
  return &mode;
}

StateSegCMeshZel::StateSegCMeshZel() {
  t_traceModeBanner("StateSegCMeshZel", true);
  t_traceModeBanner("StateSegCMeshZel", false);
}

StateSegCMeshZel::~StateSegCMeshZel() = default;

void StateSegCMeshZel::setDrawHook(std::function<void(StateSegCMeshZel&)> hook) { drawHook() = std::move(hook); }

void StateSegCMeshZel::OnDraw() {
  if (drawHook()) drawHook()(*this);
}

StateSegCMeshZel::Params StateSegCMeshZel::params() const { return t_contourGrid(); }

double StateSegCMeshZel::weight() const { return (dlg() ? dlg()->weightPosition() : 200) * 0.01; }

// ---- entry and steps ------------------------------------------------------------------------------

void StateSegCMeshZel::OnSwitched(int) {
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  showPanel();
  if (dlg()) dlg()->updateControls();
  TModeViewHost* h = t_modeViewHost();
  if (h) h->setRenderingPanelMode(3, true, true, false, false, true);
  t_modeHideSlicePanes();

  m_feature.reset();
  m_featureMissing = false;
  TModeRegionData::VolumeValues v;
  TModeRegionData* d = t_modeRegionData();
  if (d && d->volumeValues(v) && v.W > 0 && v.H > 0 && v.D > 0 && v.ch[0]) {
    TFeatureVolume f[3];
    const float* const ch[3] = {v.ch[0], nullptr, nullptr};
    try {
      t_buildFeatureVolumes(v.W, v.H, v.D, 1, ch, v.rangeLo, v.rangeHi, f);
      m_feature = f[0];
    } catch (const std::bad_alloc&) {
      m_featureMissing = true;
      t_warn(kFeaturesMissingMessage);
    }
  }
  backToStep1();
  dropFlagTexture();
  redrawAll();
}

void StateSegCMeshZel::backToStep1() {
  if (TModeViewHost* h = t_modeViewHost()) h->setRenderingPanelMode(3, true, true, false, false, true);
  m_sliceDrag = false;
  m_pickedSlice = 0;
  m_axisCount = 0;
  m_draggedAxis = -1;
  m_planes.clear();
  m_viewpoints.clear();
  m_contours.clear();
  m_drawn.clear();
  m_surface.clear();
  m_currentPlane = 0;
  m_pickedCP = -1;
  if (dlg()) dlg()->setStep2(false);
  redrawAll();
}

void StateSegCMeshZel::setAxisFrame() {
  TVec3 a;
  t_cmeshAxisFrame(m_p0, m_p1, a, m_u, m_w);
}

bool StateSegCMeshZel::goStep2() {
  if (m_axisCount != 2) {
    t_info(kAxisMessage);
    if (dlg()) dlg()->setStep2(false);
    return false;
  }
  if (TModeViewHost* h = t_modeViewHost()) {
    h->setRenderingPanelMode(3, false, false, false, false, false);
    h->clearCutSurface();
  }
  m_draggedAxis = -1;
  setAxisFrame();
  initPlanes();
  if (dlg()) dlg()->setStep2(true);
  redrawAll();
  return true;
}

void StateSegCMeshZel::initPlanes() {
  TVec3 a(m_p1[0] - m_p0[0], m_p1[1] - m_p0[1], m_p1[2] - m_p0[2]);
  const double L = t_length3(a);
  if (!t_normalize3(a)) a = TVec3(1, 0, 0);
  const TVec3 &u = m_u, &w = m_w, &p0 = m_p0;
  const double h = 1.6 * L, s = 0.8 * h, t = 0.8 * s;
  double d = 0.6 * L / std::tan(M_PI / 8);
  // Coincident axis points collapse the planes; the eye still keeps its distance from them.
  if (!(d > 0)) {
    const Params p = params();
    d = std::max({p.extent[0], p.extent[1], p.extent[2], 1e-3});
  }

  m_planes.assign(8, ClipSurface());
  m_viewpoints.assign(8, std::array<double, 9>{});
  TVec3 normals[8];
  for (int k = 0; k < 8; ++k) {
    TVec3 v[4];
    TVec3 n;
    double R[16];
    if (k < 2) {
      v[0] = add(p0, u, -s);
      v[1] = add(p0, u, s);
      v[2] = add(v[1], a, h);
      v[3] = add(v[0], a, h);
      n = TVec3(-w[0], -w[1], -w[2]);  // u x a
      t_rotMatFromAxisAngle(R, a, k == 0 ? 1.0 : 0.0, k == 0 ? 0.0 : 1.0);
      rotateAbout(R, p0, v);
      n = rotate(R, n);
    } else if (k < 6) {
      const TVec3 c = add(p0, a, (k - 2) / 3.0 * h);
      v[0] = add(add(c, u, -t), w, -t);
      v[1] = add(add(c, u, t), w, -t);
      v[2] = add(add(c, u, t), w, t);
      v[3] = add(add(c, u, -t), w, t);
      n = a;
    } else {
      const TVec3 c = add(p0, a, 0.6 * h);
      v[0] = add(add(c, u, -s), w, -s);
      v[1] = add(add(c, u, s), w, -s);
      v[2] = add(add(c, u, s), w, s);
      v[3] = add(add(c, u, -s), w, s);
      TVec3 axis;
      const TVec3 span(m_p1[0] - p0[0], m_p1[1] - p0[1], m_p1[2] - p0[2]);
      t_cross3(span, u, axis);
      if (!t_normalize3(axis)) axis = w;
      const double ang = (k == 6 ? -45.0 : 45.0) * M_PI / 180.0;
      t_rotMatFromAxisAngle(R, axis, std::cos(ang), std::sin(ang));
      rotateAbout(R, c, v);
      n = rotate(R, a);
    }
    TTriangleMesh m;
    m.initFromVertsPolys({v[0], v[1], v[2], v[3]}, {TPolyIdx{0, 1, 2}, TPolyIdx{0, 2, 3}});
    m_planes[static_cast<size_t>(k)].setFromMesh(m);
    normals[k] = n;
  }
  for (int k = 0; k < 8; ++k) {
    const ClipSurface& pl = m_planes[static_cast<size_t>(k)];
    TVec3 c;
    for (int i = 0; i < 4 && i < pl.vertexCount; ++i)
      for (int j = 0; j < 3; ++j) c[j] += pl.verts[static_cast<size_t>(i)][j] / 4;
    TVec3 n = pl.vertexCount > 0 ? pl.vertNormals[0] : TVec3();
    if (!t_normalize3(n)) n = normals[k];
    const TVec3 eye = add(c, n, d);
    const TVec3& up = k < 2 ? a : w;
    auto& vp = m_viewpoints[static_cast<size_t>(k)];
    for (int j = 0; j < 3; ++j) vp[j] = eye[j], vp[3 + j] = c[j], vp[6 + j] = up[j];
  }
  redrawAll();
}

void StateSegCMeshZel::initViewpoint() {
  TCameraPose pose;
  for (double& x : pose.up) x = 0;
  if (isContourStarted()) {
    for (int j = 0; j < 3; ++j)
      pose.eye[j] = m_drawn.canvasFrame[0][j], pose.center[j] = m_drawn.canvasFrame[1][j],
      pose.up[j] = m_drawn.canvasFrame[2][j];
  } else if (m_currentPlane >= 0 && m_currentPlane < static_cast<int>(m_viewpoints.size())) {
    const auto& vp = m_viewpoints[static_cast<size_t>(m_currentPlane)];
    for (int j = 0; j < 3; ++j) pose.eye[j] = vp[j], pose.center[j] = vp[3 + j], pose.up[j] = vp[6 + j];
  }
  if (TCore::wiring().setCamera) TCore::wiring().setCamera(pose);
  redrawAll();
}

void StateSegCMeshZel::nextPlane() {
  const int n = static_cast<int>(m_planes.size());
  if (n > 0) m_currentPlane = (m_currentPlane + 1) % n;
  redrawAll();
}

void StateSegCMeshZel::prevPlane() {
  const int n = static_cast<int>(m_planes.size());
  if (n > 0) m_currentPlane = (m_currentPlane - 1 + n) % n;
  redrawAll();
}

// ---- contours -------------------------------------------------------------------------------------

void StateSegCMeshZel::startContour() {
  if (!isStep2() || m_currentPlane < 0 || m_currentPlane >= static_cast<int>(m_planes.size())) {
    std::fprintf(stderr, "strange error !\n");
    return;
  }
  m_drawn.clear();
  m_drawn.setCanvas(m_planes[static_cast<size_t>(m_currentPlane)],
                    m_viewpoints[static_cast<size_t>(m_currentPlane)].data());
  m_pickedCP = -1;
  if (dlg()) dlg()->setContourStarted(true);
  redrawAll();
}

bool StateSegCMeshZel::registerContour() {
  if (!isContourStarted()) return false;
  if (m_drawn.controlPoints.size() < 3) {
    t_info(kTooFewPointsMessage);
    return false;
  }
  m_contours.push_back(m_drawn);
  m_drawn.clear();
  m_pickedCP = -1;
  if (dlg()) dlg()->setContourStarted(false);
  redrawAll();
  return true;
}

void StateSegCMeshZel::flipSide() {
  if (!isContourStarted()) return;
  m_drawn.bInsideDir = !m_drawn.bInsideDir;
  redrawAll();
}

void StateSegCMeshZel::discardContour() {
  if (isContourStarted()) m_drawn.clear();
  m_pickedCP = -1;
  if (dlg()) dlg()->setContourStarted(false);
  redrawAll();
}

void StateSegCMeshZel::finish() {
  if (!selectIdForRegion()) return;
  if (TModeViewHost* h = t_modeViewHost()) h->clearCutSurface();
  TCore::getInst().setMode(3);
  backToStep1();
  m_feature.reset();
  redrawAll();
}

// ---- mouse and keys -------------------------------------------------------------------------------

int StateSegCMeshZel::pickAxisPoint(const TPoint2i& p) const {
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return -1;
  for (int i = 0; i < m_axisCount; ++i)
    if (t_contourRayDistance(ray.org, ray.dir, axisPoint(i).data()) < kAxisPickDistance) return i;
  return -1;
}

void StateSegCMeshZel::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  TModeViewHost* h = t_modeViewHost();
  if (h) h->setButtonHeld(true);
  const bool shift = (keys() & MK_SHIFT) != 0;
  if (!isStep2()) {
    if (shift) {
      m_draggedAxis = pickAxisPoint(p);
      return;
    }
    int plane = 0;
    if (h && h->pickSlicePlane(p, plane)) {
      m_sliceDrag = true;
      m_pickedSlice = plane;
      return;
    }
  } else if (shift && isContourStarted()) {
    // A click off every control point adds one there (it is not dragged on).
    m_pickedCP = t_contourPickControlPoint(m_drawn, p);
    if (m_pickedCP < 0) t_contourAddControlPoint(m_drawn, p);
    redrawAll();
    return;
  }
  if (h) h->camBtnDownTranslate(p);
}

void StateSegCMeshZel::OnRBtnDown(const TPoint2i& p) {
  rBtnHeld = true;
  TModeViewHost* h = t_modeViewHost();
  if (h) h->setButtonHeld(true);
  if (isStep2() && isContourStarted() && (keys() & MK_SHIFT) && !m_drawn.controlPoints.empty()) {
    const int i = t_contourPickControlPoint(m_drawn, p);
    if (i >= 0) m_drawn.eraseControlPoint(i);
    redrawAll();
    return;
  }
  if (h) h->camBtnDownRotate(p);
}

void StateSegCMeshZel::OnLBtnUp(const TPoint2i&) {
  if (TModeViewHost* h = t_modeViewHost()) {
    h->camBtnUp();
    h->setButtonHeld(false);
  }
  lBtnHeld = false;
  m_sliceDrag = false;
  m_draggedAxis = -1;
  m_pickedCP = -1;
  redrawAll();
}

void StateSegCMeshZel::OnRBtnUp(const TPoint2i&) {
  if (TModeViewHost* h = t_modeViewHost()) {
    h->camBtnUp();
    h->setButtonHeld(false);
  }
  rBtnHeld = false;
  redrawAll();
}

void StateSegCMeshZel::OnMouseMove(const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  if (!lBtnHeld) {
    if (!rBtnHeld && !mBtnHeld) return;
    h->camMouseMove(p);
    h->redrawMainView();
    return;
  }
  if (!isStep2() && m_draggedAxis >= 0 && m_draggedAxis < m_axisCount) {
    TVec3& q = m_draggedAxis == 0 ? m_p0 : m_p1;
    double hit[3];
    TModeRay ray;
    TCameraPose cam;
    if (h->pickPointOnSlices(p, hit)) {
      q = TVec3(hit);
    } else if (h->mainCursorRay(p, ray) && TCore::wiring().getCamera && TCore::wiring().getCamera(cam)) {
      // Within the plane through the point facing the camera.
      double v[3], po[3];
      t_sub3(cam.center, cam.eye, v);
      t_sub3(q.data(), ray.org, po);
      const double dv = t_dot3(ray.dir, v);
      if (dv == 0) {
        std::fprintf(stderr, "error , system can't project stroke to plane 3\n");
      } else {
        const double t = t_dot3(po, v) / dv;
        for (int k = 0; k < 3; ++k) q[k] = ray.org[k] + t * ray.dir[k];
      }
    }
    redrawAll();
    return;
  }
  if (!isStep2() && m_sliceDrag) {
    h->dragSlicePlane(p, m_pickedSlice);
    redrawAll();
    return;
  }
  if (isStep2() && isContourStarted() && m_pickedCP >= 0) {
    TModeRay ray;
    if (h->mainCursorRay(p, ray)) m_drawn.moveControlPoint(ray.org, ray.dir, m_pickedCP);
    redrawAll();
    return;
  }
  h->camMouseMove(p);
  h->redrawMainView();
}

void StateSegCMeshZel::OnLBtnDclk(const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  if (!isStep2()) {
    double hit[3];
    if (!h->pickPointOnSlices(p, hit)) return;
    if (m_axisCount == 0) {
      m_p0 = TVec3(hit);
      m_axisCount = 1;
    } else {
      m_p1 = TVec3(hit);
      m_axisCount = 2;
    }
    redrawAll();
    return;
  }
  if (isContourStarted()) return;
  TModeRay ray;
  if (!h->mainCursorRay(p, ray)) return;
  const int best = t_contourPickStroke(m_contours, ray);
  if (best < 0) return;
  m_drawn = m_contours[static_cast<size_t>(best)];
  m_contours.erase(m_contours.begin() + best);
  m_pickedCP = -1;
  if (dlg()) dlg()->setContourStarted(true);
  redrawAll();
}

void StateSegCMeshZel::OnMouseWheel(unsigned, int delta, const TPoint2i& p) {
  if (!isStep2()) {
    if (TModeViewHost* h = t_modeViewHost()) h->stepSliceByWheel(p, delta);
  } else if (!isContourStarted() && m_currentPlane < static_cast<int>(m_planes.size())) {
    m_planes[static_cast<size_t>(m_currentPlane)].translate(-delta * 3e-5);
  }
  redrawAll();
}

void StateSegCMeshZel::OnKeyDown(int key, int, unsigned) {
  TDlgSegCMeshZelIf* panel = dlg();
  switch (key) {
    case '1':
      if (panel) panel->setShowSurface(!panel->showSurface());
      break;
    case '2':
      if (panel) panel->setShowRegion(!panel->showRegion());
      break;
    case 'Q':
      nextPlane();
      break;
    case 'W':
      prevPlane();
      break;
    default:
      break;
  }
  redrawAll();
}

void StateSegCMeshZel::OnKeyUp(int, int, unsigned) { redrawAll(); }

int StateSegCMeshZel::OnSetCursor(const TPoint2i& p) {
  const bool shift = (keys() & MK_SHIFT) != 0;
  TModeViewHost* h = t_modeViewHost();
  if (!isStep2()) {
    int plane = 0;
    if ((shift && pickAxisPoint(p) >= 0) || (h && h->pickSlicePlane(p, plane))) return 6;
  } else if (shift && isContourStarted()) {
    return t_contourPickControlPoint(m_drawn, p) >= 0 ? 6 : 5;
  }
  int w = 0, hgt = 0;
  if (h) h->mainViewSize(w, hgt);
  if (p.x < 30 || p.x > w - 30) return 2;
  if (p.y < 30 || p.y > hgt - 30) return 1;
  return 0;
}

// ---- boundary surface -----------------------------------------------------------------------------

void StateSegCMeshZel::calcRoiBox(double mn[3], double mx[3], int lo[3], int hi[3]) const {
  const Params p = params();
  t_contourRoiBox(m_drawn, m_contours, p.extent, p.W, p.H, p.D, mn, mx, lo, hi);
  std::fprintf(stderr, "%f %f %f\n%f %f %f\n", mn[0], mn[1], mn[2], mx[0], mx[1], mx[2]);
}

void StateSegCMeshZel::updateCrossPoints(double m) {
  const double tol = (1.5 * m) * (1.5 * m);
  for (TCanvasContour& c : m_contours) c.tiltHandles.clear();
  m_drawn.tiltHandles.clear();
  t_contourCrossStored(m_contours, tol);
  if (m_drawn.canvas.vertexCount > 0) t_contourCrossDrawn(m_contours, m_drawn, tol);
}

std::uint8_t* StateSegCMeshZel::targetFlags(const Params& p) const {
  TModeRegionData* d = t_modeRegionData();
  const std::size_t nVox = static_cast<std::size_t>(p.W) * p.H * p.D;
  std::uint8_t* flags = d ? d->flagVoxels() : nullptr;
  if (!flags || d->maskVoxelCount() != nVox) return nullptr;
  return flags;
}

void StateSegCMeshZel::sampleContours(const Params& p, double gradientMix) {
  const float* f = m_feature ? m_feature->data() : nullptr;
  const double m = p.meanVoxel, wc = weight();
  // A contour of two points or fewer is no contour yet: it gives no samples.
  auto sample = [&](TCanvasContour& c) {
    if (c.controlPoints.size() > 2)
      c.calcSamples(p.extent, 1, p.W, p.H, p.D, f, nullptr, nullptr, 3.0 * m, wc, 0.8 * m, gradientMix);
  };
  sample(m_drawn);
  for (TCanvasContour& c : m_contours) sample(c);
}

bool StateSegCMeshZel::refuseWithoutFeature() const {
  if (!m_featureMissing) return false;
  t_warn(kFeaturesMissingMessage);
  return true;
}

void StateSegCMeshZel::calcSurfaceHrbf() {
  const Params p = params();
  std::uint8_t* flags = targetFlags(p);
  if (!flags || refuseWithoutFeature()) return;
  t_progressStart(16, 10);
  double mn[3], mx[3];
  int lo[3], hi[3];
  calcRoiBox(mn, mx, lo, hi);
  dropFlagTexture();
  t_progressStep(20);
  sampleContours(p, 0.1);
  updateCrossPoints(p.meanVoxel);
  m_drawn.applyTiltAngles(1, 0.5, 0.1);
  for (TCanvasContour& c : m_contours) c.applyTiltAngles(1, 0.5, 0.1);
  const std::size_t nVox = static_cast<std::size_t>(p.W) * p.H * p.D;
  const char* failure = nullptr;
  try {
    std::vector<THrbfSample> samples;
    std::vector<int> limits;
    unsigned nNew = 0, nPre = 0;
    t_gatherContourConstraints(1, m_contours, m_drawn, nNew, nPre, limits, samples);
    dropCoincidentSamples(samples, 0.01 * p.meanVoxel);
    const int N = static_cast<int>(samples.size());
    if (N == 0) {
      failure = t_hrbfStatusMessage(THrbfStatus::NoSamples);
    } else {
      t_progressStep(40);
      std::fprintf(stderr, "calc HRBF coef\n");
      const int n = 5 * (N + 1);
      TDenseSqMat mat(n);
      std::vector<double> rhs(static_cast<size_t>(n)), coef(static_cast<size_t>(n));
      t_hrbfJoint4_buildRhs(N, samples.data(), rhs.data());
      t_hrbfJoint4_buildMatrix(1, N, samples.data(), &mat);
      if (!mat.factorLU() || !mat.solveLU(rhs.data(), coef.data())) {
        failure = t_hrbfStatusMessage(THrbfStatus::Singular);
      } else {
        t_progressStep(80);
        std::fprintf(stderr, "region growing \n");
        std::vector<std::uint8_t> label(nVox);
        std::vector<float> field(nVox, 0.0f);
        for (std::size_t i = 0; i < nVox; ++i) label[i] = flags[i] ? 1 : 0;
        t_hrbfJoint4_regionGrow(1, p.W, p.H, p.D, m_feature ? m_feature->data() : nullptr, p.extent, weight(), N,
                                coef.data(), samples.data(), lo, hi, label.data(), field.data());
        t_cmeshApplyGrown(nVox, flags, label.data(), hrbfInside, field.data());
        TTriangleMesh mesh;
        t_marchingCubesFloat(uint32_t(p.W), uint32_t(p.H), uint32_t(p.D), field.data(), 0.0f, p.extent, mesh, lo, hi);
        m_surface = std::move(mesh);
      }
    }
  } catch (const std::bad_alloc&) {
    failure = kNoMemoryMessage;
  }
  t_progressEnd();
  std::fprintf(stderr, "fin\n\n");
  dropFlagTexture();
  if (failure) t_warn(failure);
  redrawAll();
}

void StateSegCMeshZel::calcSurfaceRbf() {
  const Params p = params();
  std::uint8_t* flags = targetFlags(p);
  if (!flags || refuseWithoutFeature()) return;
  double mn[3], mx[3];
  int lo[3], hi[3];
  calcRoiBox(mn, mx, lo, hi);
  dropFlagTexture();
  sampleContours(p, 1.0);
  const std::size_t nVox = static_cast<std::size_t>(p.W) * p.H * p.D;
  const char* failure = nullptr;
  try {
    std::vector<TRbfPoint> pts;
    auto take = [&](const TCanvasContour& c) {
      if (c.hasValidShape()) pts.insert(pts.end(), c.rbfPoints.begin(), c.rbfPoints.end());
    };
    take(m_drawn);
    for (const TCanvasContour& c : m_contours) take(c);
    dropCoincidentSamples(pts, 0.01 * p.meanVoxel);
    const int N = static_cast<int>(pts.size());
    if (N == 0) {
      failure = t_hrbfStatusMessage(THrbfStatus::NoSamples);
    } else {
      std::fprintf(stderr, "calc rbf coef\n");
      TDenseSqMat mat(N + 5);
      std::vector<double> rhs(static_cast<size_t>(N + 5)), coef(static_cast<size_t>(N + 5));
      t_rbfJoint_buildSystem(1, N, pts.data(), &mat, rhs.data());
      if (!mat.factorLU() || !mat.solveLU(rhs.data(), coef.data())) {
        failure = t_hrbfStatusMessage(THrbfStatus::Singular);
      } else {
        std::fprintf(stderr, "calc field value\n");
        std::vector<std::uint8_t> label(nVox, 0);
        std::vector<float> field(nVox, -1.0f);
        t_rbfJoint_regionGrow(1, p.W, p.H, p.D, m_feature ? m_feature->data() : nullptr, p.extent, weight(), N,
                              coef.data(), pts.data(), lo, hi, label.data(), field.data());
        t_cmeshApplyGrown(nVox, flags, label.data(), rbfInside, field.data());
        TTriangleMesh mesh;
        t_marchingCubesFloat(uint32_t(p.W), uint32_t(p.H), uint32_t(p.D), field.data(), 0.0f, p.extent, mesh, nullptr,
                             nullptr);
        m_surface = std::move(mesh);
      }
    }
  } catch (const std::bad_alloc&) {
    failure = kNoMemoryMessage;
  }
  std::fprintf(stderr, "fin\n\n");
  dropFlagTexture();
  if (failure) t_warn(failure);
  redrawAll();
}

// ---- files ----------------------------------------------------------------------------------------

bool StateSegCMeshZel::saveContours(const std::string& path) {
  if (!isStep2()) {
    t_info(kStep2OnlyMessage);
    return false;
  }
  TContMeshS2 d;
  d.p0 = m_p0, d.p1 = m_p1, d.w = m_w, d.u = m_u;
  d.weight = weight();
  for (const TCanvasContour& c : m_contours) {
    TContMeshS2Contour r;
    for (int k = 0; k < 3; ++k) r.frame[k] = c.canvasFrame[k];
    for (int i = 0; i < 4 && i < c.canvas.vertexCount; ++i) {
      r.verts[i] = c.canvas.verts[static_cast<size_t>(i)];
      r.normals[i] = c.canvas.vertNormals[static_cast<size_t>(i)];
    }
    for (int i = 0; i < 2 && i < c.canvas.polyCount; ++i) r.tris[i] = c.canvas.polys[static_cast<size_t>(i)];
    r.controlPoints = c.controlPoints;
    r.bInsideDir = c.bInsideDir;
    r.bClosed = c.bClosed;
    d.contours.push_back(std::move(r));
  }
  if (!t_writeContMeshS2(path, d)) {
    t_warn("The contours could not be written to\n" + path);
    return false;
  }
  return true;
}

bool StateSegCMeshZel::loadContours(const std::string& path) {
  TContMeshS2 d;
  std::string why;
  if (!t_readContMeshS2(path, d, &why)) {
    t_warn("The contour file could not be loaded (" + why + "); the contours are unchanged:\n" + path);
    return false;
  }
  // The canvases are checked before anything is replaced.
  std::vector<TCanvasContour> fresh(d.contours.size());
  for (std::size_t i = 0; i < d.contours.size(); ++i) {
    const TContMeshS2Contour& r = d.contours[i];
    TTriangleMesh m;
    if (!m.initFromVertsPolys({r.verts[0], r.verts[1], r.verts[2], r.verts[3]}, {r.tris[0], r.tris[1]})) {
      t_warn("The contour file could not be loaded (a canvas is not a quad); the contours are unchanged:\n" + path);
      return false;
    }
    // The stored normals are those of the canvas before its corners were rounded to the file's
    // digits: kept where they agree with the rounded corners' own.
    for (int k = 0; k < 4 && k < m.vertexCount; ++k) {
      const TVec3 &a = r.normals[k], &b = m.vertNormals[static_cast<size_t>(k)];
      if (std::fabs(a[0] - b[0]) < 1e-3 && std::fabs(a[1] - b[1]) < 1e-3 && std::fabs(a[2] - b[2]) < 1e-3)
        m.vertNormals[static_cast<size_t>(k)] = a;
    }
    t_contourFromFile(fresh[i], m, r.frame, r.controlPoints, r.bInsideDir, r.bClosed);
  }

  backToStep1();
  m_p0 = d.p0;
  m_p1 = d.p1;
  m_axisCount = 2;
  goStep2();
  // The file's directions are those of the axis before its points were rounded: kept when they
  // agree with the directions of the rounded points.
  auto close = [](const TVec3& a, const TVec3& b) {
    return std::fabs(a[0] - b[0]) < 1e-4 && std::fabs(a[1] - b[1]) < 1e-4 && std::fabs(a[2] - b[2]) < 1e-4;
  };
  if (close(d.u, m_u) && close(d.w, m_w)) {
    m_u = d.u, m_w = d.w;
    initPlanes();
  }
  m_contours.swap(fresh);
  if (TDlgSegCMeshZelIf* panel = dlg()) panel->setWeightPosition(static_cast<int>(std::llround(d.weight * 100)));
  redrawAll();
  return true;
}
