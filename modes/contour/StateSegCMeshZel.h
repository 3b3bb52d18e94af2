#pragma once
// Two-step contour-mesh segmentation (mode 11).
//
// Step 1 places an axis by two points double-clicked on the slice planes (Shift drags move them).
// "Step2 へ" lays eight planes across the axis: two through it, four cross-sections along it and
// two tilted ones.  On each plane the user draws one contour (Shift + left adds or grabs a control
// point, Shift + right erases one) and registers it.  "境界面計算" fits a Hermite-RBF surface in
// the joint space of position and feature through all contours, "境界面計算(RBF)" a plain RBF;
// both label the target voxels the grower reaches inside the surface (255; the other targets 1)
// and mesh the boundary.  Everything runs on the interface thread.
//
// The mode's state is plain C++: the panel is seen through TDlgSegCMeshZelIf, the view through
// TModeViewHost and the volume through TModeRegionData; OnDraw calls a hook that the Qt library
// installs at registration.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/TModeState.h"
#include "geom/ClipSurface.h"
#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"
#include "implicit/TCanvasContour.h"
#include "modes/contour/TDlgSegCMeshZelIf.h"
#include "modes/contour/contmesh_features.h"
#include "modes/contour/contour_edit.h"

// The grower's answer made final: a target voxel (flags non-zero) becomes 255 when the grower
// reached it (inside(label)), else 1; the field is made to agree, positive exactly on the 255
// voxels (-1 off the targets), so that its zero surface bounds the labelled region and no
// positive pocket that the growth never reached.
void t_cmeshApplyGrown(std::size_t n, std::uint8_t* flags, const std::uint8_t* label, bool (*inside)(std::uint8_t),
                       float* field);

// The frame of the planes for the axis p0 -> p1: a its unit direction ((1, 0, 0) for p0 = p1),
// u the z axis made perpendicular to a (the x axis when a is parallel to z), w = a x u.
void t_cmeshAxisFrame(const TVec3& p0, const TVec3& p1, TVec3& a, TVec3& u, TVec3& w);

class StateSegCMeshZel : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegCMeshZel* getInst();

  void OnSwitched(int modeId) override;
  void OnLBtnDown(const TPoint2i& p) override;
  void OnRBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnRBtnUp(const TPoint2i& p) override;
  void OnLBtnDclk(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnKeyUp(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;

  // Panel operations.
  bool goStep2();
  void backToStep1();
  void initPlanes();
  void initViewpoint();
  void nextPlane();
  void prevPlane();
  // "輪郭作成開始": a fresh contour on the current plane.
  void startContour();
  bool registerContour();
  void flipSide();
  void discardContour();
  void finish();
  void calcSurfaceHrbf();
  void calcSurfaceRbf();
  // Contour files; false when refused or failed (the user told why; a refused file changes
  // nothing).
  bool saveContours(const std::string& path);
  bool loadContours(const std::string& path);

  // The region-of-interest box: the contours' control points widened by three voxels.
  void calcRoiBox(double min[3], double max[3], int lo[3], int hi[3]) const;
  // Crossing handles between the contours' canvases (m the mean voxel pitch).
  void updateCrossPoints(double m);
  int pickAxisPoint(const TPoint2i& p) const;

  // Read access for drawing and tests.
  bool isStep2() const { return dlg() && dlg()->isStep2(); }
  bool isContourStarted() const { return dlg() && dlg()->isContourStarted(); }
  int axisCount() const { return m_axisCount; }
  const TVec3& axisPoint(int i) const { return i == 0 ? m_p0 : m_p1; }
  const TVec3& dirU() const { return m_u; }
  const TVec3& dirW() const { return m_w; }
  const std::vector<ClipSurface>& planes() const { return m_planes; }
  // Eye, centre, up of each plane.
  const std::vector<std::array<double, 9>>& viewpoints() const { return m_viewpoints; }
  int currentPlane() const { return m_currentPlane; }
  const std::vector<TCanvasContour>& contours() const { return m_contours; }
  const TCanvasContour& drawnContour() const { return m_drawn; }
  const TTriangleMesh& boundarySurface() const { return m_surface; }
  const TFeatureVolume& feature() const { return m_feature; }
  TDlgSegCMeshZelIf* dlg() const { return dynamic_cast<TDlgSegCMeshZelIf*>(m_panel); }

  static void setDrawHook(std::function<void(StateSegCMeshZel&)> hook);

  static const char* const kAxisMessage;
  static const char* const kTooFewPointsMessage;
  static const char* const kStep2OnlyMessage;

 private:
  StateSegCMeshZel();
  ~StateSegCMeshZel() override;

  using Params = TContourGrid;
  Params params() const;
  double weight() const;
  void setAxisFrame();
  // The flags of the target voxels, or null when the volume does not match.
  std::uint8_t* targetFlags(const Params& p) const;
  void sampleContours(const Params& p, double gradientMix);
  // Refuses a computation when the feature volume could not be built.
  bool refuseWithoutFeature() const;

  bool m_sliceDrag = false;
  int m_pickedSlice = 0;
  int m_draggedAxis = -1;
  int m_axisCount = 0;
  TVec3 m_p0, m_p1;
  TVec3 m_w, m_u;
  std::vector<ClipSurface> m_planes;
  std::vector<std::array<double, 9>> m_viewpoints;
  int m_currentPlane = 0;
  std::vector<TCanvasContour> m_contours;
  TCanvasContour m_drawn;
  TTriangleMesh m_surface;
  int m_pickedCP = -1;
  TFeatureVolume m_feature;
  bool m_featureMissing = false;  // a volume is loaded but its feature could not be built
};
