#pragma once
// Refinement of one region by fibers on its surface (mode 13).
//
// On entry the user picks the region; its voxels are labelled 6 in the working flag volume (0
// elsewhere) and its surface is built.  A Ctrl stroke in the main view cuts the surface into
// fibers; Shift drags a fiber point (or, with "Over Drawing", redraws a stretch of a fiber on the
// cut surface), Alt rubs a fiber smooth or towards image edges, and a double click in "Erase Trgt
// Fiber Mode" erases a fiber.  After each edit the patch around the fibers is deformed and the
// labels follow the deformed surface:
//   0 outside before and now, 2 removed, 4 added, 6 inside before and now.
// They are those of the region and surface at entry and the surface now, whatever edits led
// there (a surface pulled out and back leaves the region as it was).  "Finish" writes the labels
// into the mask under the region's id.
//
// The relabelling runs on a worker over its own copy of the surface and the record of the entry,
// which stays unchanged while the mode lasts; the newest
// edit wins (older results are dropped) and the result is taken back on the interface thread,
// which then unbinds the flag texture and redraws.  Entry, a mode switch, a volume load, "Finish"
// and the post graph cut never overlap a relabelling: they cancel it or wait for it (the worker
// never waits for the interface thread).
//
// The mode's state is plain C++: the panel is seen through TDlgRefContoursIf, the views through
// TModeViewHost and the hooks below, the volume through TModeRegionData.
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/TModeState.h"
#include "modes/curve/TDlgRefContoursIf.h"
#include "modes/curve/TRefRelabelWorker.h"
#include "modes/curve/kernels/TFiberScene.h"

class StateRefContours : public TPanelMode<TDlgRefContoursIf> {
 public:
  // What the mode needs of the main view beyond TModeViewHost; the Qt library installs them at
  // registration, tests install their own.
  struct ViewHooks {
    std::function<void(StateRefContours&)> draw;
    // A slice pane's picture: the volume's slice as the standard mode draws it.
    std::function<void(TSubPane*)> drawPane;
    // The main view's camera as the fiber kernels read it; false without a main view.
    std::function<bool(TFiberView&)> camera;
    // The renderer's cut surface (null or empty when there is none).
    std::function<const TTriangleMesh*()> cutSurface;
  };
  static void setViewHooks(ViewHooks hooks);

  // The one object of this mode, built on first use.
  static StateRefContours* getInst();

  void OnSwitched(int modeId) override;
  void OnLBtnDown(const TPoint2i& p) override;
  void OnRBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnMBtnUp(const TPoint2i& p) override;
  void OnLBtnDclk(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;
  void OnDraw2D(TSubPane* pane) override;
  int OnSetCursor(const TPoint2i& p) override;

  // A mode switch (every switch hides the panels first) drops any relabelling in flight and
  // frees the record of the entry.
  void hidePanels() override;
  void stopWorkers() override { m_worker.stop(); }
  // While a relabelling runs or its result waits for the interface thread, loads and mode
  // switches of the main frame are refused with this text: they would change the flag volume
  // the result is meant for.
  const char* busyMessage() const override { return m_worker.busy() ? kBusyMessage : nullptr; }
  // From entry until the mode is left, the region surface and every relabelling use the extent
  // of the entry: a pitch change (rendering panel, camera file) is refused meanwhile.
  const char* geometryBusyMessage() const override { return m_holdsSurface ? kGeometryBusyMessage : nullptr; }

  // Panel operations.
  // "Finish": waits for the relabelling of the last edit, asks (saying so where the labels do not
  // hold that edit), then writes the labels into the mask (2 clears, 4 and 6 take the region's
  // id), rebuilds the surfaces of the region and of every region it took voxels from, mode 3.
  void finishEditing();
  // "PostRun Graph Cut": the voxel-level cut refines the boundary of the current labels.
  void postRunGraphCut();
  // "Store this fiber(f)": the new fibers join the stored ones; "tmp.cntrs" is written.
  void storeFiber();
  // Asks, then drops every fiber and cross point.
  void eraseAllFibers();
  // Relabels the working flag volume from the current surface on the worker.
  void startMaskUpdateThread();
  // Deformation 1 (fibers), 2 (Laplacian preserving) or 3 (FiberMesh) and the relabelling.
  void deformAndRelabel(int mode);

  // Takes the newest finished relabelling into the working flag volume (interface thread); one
  // that could not run is told to the user (a message the first time in a row, then the status
  // bar) and leaves the labels as they were.
  void takeRelabelResult();
  // Waits for the relabelling in flight and takes its result (tests, "Finish", the post cut).
  void settleRelabelling();

  int targetId() const { return m_scene.targetId; }
  // The labels do not hold the last edit of the surface: its relabelling could not run.
  bool lastEditMissing() const { return m_lastEditMissing; }
  // The record of the entry (see t_refEntryRaster); null without a surface.
  const std::shared_ptr<const std::vector<std::uint8_t>>& entryInside() const { return m_entryInside; }
  const TFiberScene& scene() const { return m_scene; }
  TFiberScene& sceneForEdit() { return m_scene; }
  const TRefRelabelWorker& worker() const { return m_worker; }
  TRefRelabelWorker& worker() { return m_worker; }
  const TPoints& stroke3D() const { return m_stroke3D; }
  bool isCutting() const { return m_cutting; }
  bool isDragging() const { return m_dragging; }
  bool isOverDrawing() const { return m_overDrawing; }
  bool isRubbing() const { return m_rubbing; }
  double cursorCircleSize() const { return m_circleSize; }
  TPoint2i cursorPoint() const { return m_cursor; }
  bool isChecked(TDlgRefContoursIf::Check c) const { return m_panel && m_panel->isChecked(c); }
  // The ROI ring count of the panel: 8 "small", 14 "middle", else 20.
  int roiRingCount() const;

  static const char* const kInvalidIdMessage;
  static const char* const kIdTitle;
  static const char* const kFinishQuestion;
  static const char* const kEraseAllQuestion;
  static const char* const kEraseAllKeyQuestion;
  static const char* const kNoSolverMessage;
  static const char* const kWriteFailedMessage;
  static const char* const kBusyMessage;
  static const char* const kGeometryBusyMessage;
  static const char* const kNoVoxelChangedNote;
  static const char* const kNoMemoryMessage;
  static const char* const kRelabelNoMemoryMessage;
  static const char* const kRelabelNoSurfaceMessage;
  static const char* const kRelabelMismatchMessage;
  static const char* const kRelabelFailedMessage;
  static const char* const kRelabelNotHandedMessage;
  static const char* const kPostCutNoMemoryMessage;
  static const char* const kFinishNoSurfaceMemoryMessage;
  static const char* const kLastEditMissingNote;

 private:
  StateRefContours();
  ~StateRefContours() override;

  bool camera(TFiberView& v) const;
  const TTriangleMesh* cutSurface() const;
  // Box extent / voxel count per axis.
  void voxelSize(double s[3]) const;
  // The cut surface point under the cursor (either face).
  bool pickCutSurface(const TFiberView& v, const TPoint2i& p, double out[3]) const;
  // Builds the region surface and fills entryInside (sized W*H*D at entry, else left out) with
  // the record of the entry.  False when memory ran out on the way.
  bool buildRegionMesh(int id, std::vector<std::uint8_t> entryInside);
  void buildRegionMeshOrThrow(int id, std::vector<std::uint8_t> entryInside);
  // Frees what the mode keeps of its entry (the record, what erases dropped).
  void releaseEntry();
  // The labels lack the last edit: says why (a message the first time in a row, then the status
  // bar).
  void tellEditMissing(const char* text);
  // Takes a relabelling's result into the flag volume, or tells that it could not run.
  void applyRelabelResult(const TRelabelJob& r);
  void checkOnly(TDlgRefContoursIf::Check on, std::initializer_list<TDlgRefContoursIf::Check> off);

  TFiberScene m_scene;
  TPoint2i m_cursor;
  bool m_rubbing = false, m_dragging = false, m_cutting = false, m_overDrawing = false;
  double m_circleSize = 0.002;
  TPoints m_screenStroke;  // window points of the stroke being drawn (x, y from the top)
  TPoints m_stroke3D;      // its world points
  // Set when a relabelling was taken into the flag volume; the next draw unbinds the texture.
  std::atomic<bool> m_relabelled{false};
  bool m_holdsSurface = false;  // a region's surface built at entry (interface thread only)
  bool m_lastEditMissing = false;  // the labels lack the last edit (interface thread only)
  bool m_toldEditMissing = false;  // ... and the user was told so by a message
  std::shared_ptr<const std::vector<std::uint8_t>> m_entryInside;  // set at entry, read by the jobs
  TRefRelabelWorker m_worker;  // declared last: stopped before the data it hands back to goes
};
