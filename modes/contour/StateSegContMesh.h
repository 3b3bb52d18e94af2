#pragma once
// Contour-mesh segmentation with Hermite-RBF surfaces (mode 10).
//
// On entry the user picks the target regions; their voxels become eligible (1) in the working
// flag volume.  Contours are drawn on a canvas (an axis-aligned plane from the panel, or a surface
// swept by a Ctrl + left drag): "New Contour" puts a copy of the canvas under the contour, Shift +
// left click places or grabs control points on it, Alt + left click erases one.  Each contour
// knows the side the region lies on; an implicit surface through all contours labels the voxels
// (255 inside, 1 outside).
//
// The region is computed on a worker over its own copies (samples, target flags, feature volumes
// held alive by shared pointers, every parameter in the work order); the LU factor of the stored
// contours is cached between runs under the computation lock, stamped with the version of the
// contours it was built from.  Results come back by a queued call on the interface thread and are
// dropped when a newer run or a mode entry replaced them.  While a worker runs, edits are refused
// with the mode's texts and the main frame refuses loads and mode switches with the busy text;
// exit stops and joins the worker.  The interface thread never waits on the lock.
//
// The mode's state is plain C++: the panel is seen through TDlgSegContMeshIf, the view through
// TModeViewHost and the volume through TModeRegionData; OnDraw calls a hook that the Qt library
// installs at registration.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/TModeState.h"
#include "geom/ClipSurface.h"
#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"
#include "implicit/TCanvasContour.h"
#include "implicit/hrbf_engine.h"
#include "modes/contour/TDlgSegContMeshIf.h"
#include "modes/contour/contmesh_features.h"
#include "modes/contour/contour_edit.h"
#include "platform/Worker.h"

class StateSegContMesh : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegContMesh* getInst();

  void OnSwitched(int modeId) override;
  void OnLBtnDown(const TPoint2i& p) override;
  void OnRBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnLBtnDclk(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;

  void stopWorkers() override;
  const char* busyMessage() const override { return isComputing() ? kBusyMessage : nullptr; }
  // A region run or a factor update is running (set before the worker starts, cleared when its
  // result has been taken back on the interface thread).
  bool isComputing() const { return m_running.load(std::memory_order_acquire); }

  // Canvases (ignored while "New Contour" is checked).
  void setCanvasXY();
  void setCanvasYZ();
  void setCanvasZX();
  // "New Contour": a drawn contour on a copy of the canvas; false (the user told) without one.
  bool addNewContour();
  // "Finish &&Store (f)", "Canncel (c)", "Flip side (s)", "Closed (l)".
  void storeContour();
  void cancelContour();
  void flipSide();
  void setClosed(bool closed);
  // Takes stored contour i back into editing and updates the cached factor in the background.
  void eraseContour(int i);
  // Computes the region from the contours (store: the drawn contour joins the stored ones).
  void startRegionUpdate(bool store);
  // Re-samples every contour with the panel's coefficients; the cached factor goes.
  void updateParamsFromDlg();
  void removeCrossPointsOfCurrent();
  void renumberCrossPoints(int i);
  void updateCrossPointsOfCurrent();
  void updateAllCrossPoints();
  void finish();
  void cancel();
  // Contour files; false when refused or failed (the user told why; a refused file changes
  // nothing).
  bool saveContours(const std::string& path);
  bool loadContours(const std::string& path);
  // The direct field computations of keys '1'-'4' (on the interface thread).
  void updateSegmByRBF_Joint();
  void updateSegmByRBF_Spatial();
  void updateSegmByHRBF_Spatial();
  void updateSegmByHRBF_JOINT();

  // The region-of-interest box: the contours' bounding box widened by three voxels, in voxels.
  void calcRoiBox(double min[3], double max[3], int lo[3], int hi[3]) const;

  // Read access for drawing and tests.
  const ClipSurface& canvas() const { return m_canvas; }
  const std::vector<TCanvasContour>& storedContours() const { return m_stored; }
  const TCanvasContour& drawnContour() const { return m_drawn; }
  TCanvasContour& drawnContourForEdit() { return m_drawn; }
  const TTriangleMesh& displayedMesh() const { return m_displayed; }
  const TPoints& canvasStroke() const { return m_canvasStroke; }
  bool isDrawingCanvasStroke() const { return m_canvasStrokeOn; }
  bool drawSamplesOn() const { return m_drawSamples; }
  bool drawPointsOn() const { return m_drawPoints; }
  int channelCount() const { return m_channels; }
  const TFeatureVolume& feature(int k) const { return m_feature[k]; }
  // Whether a factor is cached, and its size (the lock is tried, never waited for: -1 while a
  // worker holds it).
  int cachedFactorSize();
  bool isNewContour() const { return dlg() && dlg()->isNewContour(); }
  // The panel's controls (null without a panel, or with one that only has its title).
  TDlgSegContMeshIf* dlg() const { return dynamic_cast<TDlgSegContMeshIf*>(m_panel); }

  // The GL drawing of the mode (set by the Qt library at registration).  It calls takeNewResult
  // first.
  static void setDrawHook(std::function<void(StateSegContMesh&)> hook);
  // The renderer's cut surface after a swept stroke (set by the Qt library; false without one).
  static void setCutSurfaceHook(std::function<bool(TTriangleMesh&)> hook);
  // The paint's share of a finished run: the computed surface becomes the displayed one.
  void takeNewResult();

  static const char* const kBusyMessage;          // refusals of save, load, finish, ...
  static const char* const kUpdateBusyMessage;    // a region update while computing
  static const char* const kStoreBusyMessage;     // "Finish &&Store (f)" while computing
  static const char* const kPanelBusyMessage;     // panel edits while computing
  static const char* const kNoCanvasMessage;
  static const char* const kTooFewPointsMessage;
  static const char* const kCancelQuestion;
  static const char* const kEraseQuestion;

 private:
  StateSegContMesh();
  ~StateSegContMesh() override;

  // The volume, and the sampling spacing and weights from the panel.
  struct Params : TContourGrid {
    double spacing, wc, wb, wn;
  };
  Params params() const;
  void resampleAll(const Params& p);
  void dropFactor();
  // Refuses (with the text) while a worker runs.
  bool refuseWhileComputing(const char* text) const;
  // Refuses a computation that reads the feature volumes when they could not be built.
  bool refuseWithoutFeatures() const;
  // Starts fn on the worker (or runs it here without an interface thread); apply runs on the
  // interface thread with the generation it was started under.
  void runWorker(std::function<void()> work, std::function<void()> apply);
  void endRun(unsigned generation);
  void autoUpdate();
  void applyRegionLabels(const std::vector<uint8_t>& label, bool insideIsNonZero);
  void runDirect(int key);

  // Main-view drags.
  bool m_canvasStrokeOn = false;
  int m_pickedCP = -1;
  TPoints m_canvasStroke;
  ClipSurface m_canvas;
  int m_channels = 1;
  TFeatureVolume m_feature[3];
  bool m_featuresMissing = false;  // a volume is loaded but its features could not be built
  std::vector<TCanvasContour> m_stored;
  TCanvasContour m_drawn;
  TTriangleMesh m_displayed, m_computed;
  bool m_newResult = false;  // interface thread only: results arrive by queued calls
  bool m_drawSamples = false, m_drawPoints = false;

  // The computation lock and what it guards: the cached factor and the version of the stored
  // contours it belongs to.
  std::mutex m_lock;
  THrbfFactorCache m_cache;
  std::uint64_t m_cacheVersion = 0;
  // Version of the stored contours' samples (interface thread only); every change bumps it.
  std::uint64_t m_version = 1;

  std::atomic<bool> m_running{false};
  unsigned m_generation = 0;  // interface thread only
  std::shared_ptr<std::atomic<bool>> m_stop;
  TWorker m_worker;  // declared last: joined before the data it works on goes
};
