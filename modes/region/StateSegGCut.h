#pragma once
// Graph cut over a watershed pre-segmentation (mode 8).
//
// On entry the user picks the target regions (their voxels become eligible, 1).  The mode makes
// sure the watershed pre-segmentation of the loaded volume exists: reused when ready, read from the
// cache file beside the volume when the user accepts it, else computed by a worker thread with
// status-bar progress.  Foreground and background control points are placed with Shift + left and
// Shift + right drags on the shown slice planes or the cut surface; the region-level cut and the
// voxel-level cut flag the object (255); erode and dilate clean it up; "Finish" stores it under a
// region id.
//
// The worker reads only its own copies of the gradient and the channels, and the cache path and
// volume size taken when it started; its result comes back by a queued call on the interface
// thread, which drops it when a newer computation or a new volume has replaced it, and marks the
// target regions there.  While it runs the commands that read the pre-segmentation, and loads of
// the main frame (through busyMessage()), are refused with the busy text.
//
// The mode's state is plain C++: the panel is seen through TDlgSegGCutIf, the view through
// TModeViewHost and the volume through TModeRegionData; OnDraw calls a hook that the Qt library
// installs at registration.  The mode has no accessor of its own: the one object is built,
// guarded, on first use through t_buildStateSegGCut().
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PointEditInput.h"
#include "core/TModeState.h"
#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"
#include "modes/region/TDlgSegGCutIf.h"
#include "modes/region/kernels/gcut_precompute.h"
#include "modes/region/kernels/graph_cut.h"
#include "platform/Worker.h"

class StateSegGCut : public TPointEditMode<TDlgSegGCutIf> {
 public:
  StateSegGCut();
  ~StateSegGCut() override;

  void OnSwitched(int modeId) override;
  // The cut stroke goes once the left button is let go.
  void OnLBtnUp(const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;

  void stopWorkers() override;
  const char* busyMessage() const override { return isPrecomputing() ? kBusyMessage : nullptr; }

  // Forgets the pre-computation of the previous volume; while the pre-computation runs only the
  // busy message (and its result will not be published).
  void resetForNewVolume();

  // Reuses a ready pre-segmentation, reads the cache file when the user accepts it, else starts
  // the worker.
  void loadOrStartPrecompute();
  // In-target flags of the regions from the working flag volume.
  void markTargetRegions();

  // The control point whose distance from the cursor ray is below the radius, nearest the ray's
  // origin (the first on ties); false (index -1) when none.
  bool pickCtrlPoint(const TPoint2i& p, int& index);

  // Panel operations; each is refused with the busy message while the pre-computation runs.
  void runGraphCut(double a);
  void runGraphCutVoxelLevel(double a, int seamWidth);
  void graphCutFromCpFile(double a);
  void erodeRegion();
  void dilateRegion();
  void eraseAllCtrlPoints() { m_ctrlPoints.clear(); m_pickedIdx = -1; }
  void finish();
  void cancelSegmentation();

  // The control-point files of the research keys; false (the user told why) on failure, the
  // points unchanged.
  bool writeCtrlPointFile(const std::string& path);
  bool readCtrlPointFile(const std::string& path);

  bool isPrecomputing() const { return m_worker.isRunning() || m_pending.load(std::memory_order_acquire); }
  bool isPrecomputeReady() const { return m_ready.load(std::memory_order_acquire); }
  // The pre-computation worker.
  TWorker& worker() { return m_worker; }
  const TGCutPrecomp& precomp() const { return m_pre; }

  const std::vector<TGCutCtrlPoint>& controlPoints() const { return m_ctrlPoints; }
  std::vector<TGCutCtrlPoint>& controlPointsForEdit() { return m_ctrlPoints; }
  double ctrlPointRadius() const { return m_ctrlPointRadius; }
  const TPoints& cutStroke() const { return m_input.stroke(); }
  bool isDrawingStroke() const { return m_input.drag() == TPointEditInput::Drag::Stroke; }
  const TTriangleMesh& regionSurface() const { return m_regionMesh; }
  bool isShowAllChecked() const { return m_panel ? m_panel->isShowAllChecked() : true; }

  // The GL drawing of the mode and the file path of the loaded volume (set by the Qt library at
  // registration).
  static void setDrawHook(std::function<void(StateSegGCut&)> hook);
  static void setVolumePathHook(std::function<std::string()> hook);

  static const char* const kBusyMessage;
  static const char* const kUseCacheQuestion;
  static const char* const kCancelQuestion;
  static const char* const kCtrlPointFileName;

 private:
  struct Volume;
  bool volume(Volume& v);
  bool refuseWhileBusy() const;
  void startPrecompute(const Volume& v);
  void applyPrecompute(unsigned generation, int W, int H, int D, TWatershedStatus status,
                       const std::shared_ptr<TGCutPrecomp>& result);
  // Flags 255 stay 255, every other non-zero flag 1, after the 255 voxels are eroded or dilated.
  void morphRegion(bool erode);
  void buildRegionSurface(const std::vector<std::uint8_t>& object, int W, int H, int D);
  void eraseCtrlPoint(int index);

  // The control points as the main view's mouse edits them.
  int pickPoint(const TPoint2i& p) override;
  void erasePoint(int index) override { eraseCtrlPoint(index); }
  void grabPoint(int index) override { m_pickedIdx = index; }
  bool placePoint(const double*) override { return false; }
  void addPointOnDrag(const double pos[3]) override;
  void moveGrabbedPoint(const double* pos) override;

  std::vector<TGCutCtrlPoint> m_ctrlPoints;
  int m_pickedIdx = -1;
  double m_ctrlPointRadius = 1;
  TTriangleMesh m_regionMesh;  // surface of the extracted voxels (erode, dilate, whole-volume cut)

  // Pre-segmentation (interface thread only; the worker fills its own copy).
  TGCutPrecomp m_pre;
  int m_preSize[3] = {0, 0, 0};
  std::atomic<bool> m_ready{false};
  std::atomic<bool> m_pending{false};  // a started computation has not been taken back yet
  unsigned m_generation = 0;           // of the newest computation or volume
  unsigned m_pendingGeneration = 0;    // of the computation that was started last
  std::shared_ptr<std::atomic<bool>> m_stop;
  TWorker m_worker;  // declared last: destroyed (joined) before the data it works on
};

// The one graph-cut mode object, built on first use.
inline StateSegGCut* t_buildStateSegGCut() {
  static StateSegGCut mode;
  return &mode;
}
