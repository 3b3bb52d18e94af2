#pragma once
// Thresholding and region growing from control points (mode 6).
//
// On entry the user picks the target regions; their voxels become eligible (1) in the working
// flag volume.  Control points (seeds) are placed with Shift + left click on the shown slice
// planes or the cut surface, moved by dragging them with Shift held and erased with Alt.  The
// panel thresholds, grows from the seeds, cleans the result up and stores the extracted voxels
// (255) under a region id.
//
// The computations run on a copy of the flags and of the volume arrays they read (never on the
// live arrays, which Flip Stack, smoothing or a load may rewrite), on a worker thread when the view can take the
// result back on the interface thread (else at once), with progress in the status bar; while one
// runs the mode refuses every other command that changes the flags, and the loads and mode
// switches of the main frame are refused with the busy text.  The result replaces the flags when
// it is complete; a computation that fails leaves them as they were.
//
// The mode's state is plain C++: the panel is seen through TDlgSegRGrowIf, the view through
// TModeViewHost and the volume through TModeRegionData; OnDraw calls a hook that the Qt library
// installs at registration.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/PointEditInput.h"
#include "core/TModeState.h"
#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"
#include "modes/region/TDlgSegRGrowIf.h"
#include "modes/region/kernels/rgrow_volume.h"
#include "platform/Worker.h"

class StateSegRGrow : public TPointEditMode<TDlgSegRGrowIf> {
 public:
  // The one object of this mode, built on first use.
  static StateSegRGrow* getInst();

  void OnSwitched(int modeId) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;

  void stopWorkers() override { m_worker.stopAndJoin(); }
  const char* busyMessage() const override { return m_busy ? kBusyMessage : nullptr; }
  bool isBusy() const { return m_busy; }

  // The control point nearest the eye whose distance from the cursor ray is below the
  // control-point radius; false (index -1) when none.
  bool pickCtrlPoint(const TPoint2i& p, int& index);

  // Panel operations.  Thresholds: channel ranges minv/maxv (HSV: hue, saturation, value) and
  // the gradient range, all bounds included.
  void runThreshold(double min1, double max1, double min2, double max2, double min3, double max3,
                    double gMin, double gMax);
  void runThresholdHsv(double hMin, double hMax, double sMin, double sMax, double vMin, double vMax,
                       double gMin, double gMax);
  // "Region Grow 26" (faceOnly false) and "Region Grow 8" (face neighbours only).
  void regionGrow(float r, bool faceOnly);
  void regionGrowShape(float r, int coefficient);
  void regionGrow27(double min1, double max1, double min2, double max2, double min3, double max3,
                    double gMin, double gMax);
  void regionGrow6(double min1, double max1, double min2, double max2, double min3, double max3,
                   double gMin, double gMax);
  void fillHole();
  void erosion();
  void dilation();
  // "Clear All CPs": no control points, every extracted voxel back to 1.
  void clearAllCtrlPoints();
  // The control-point file; false (the user told why) when it could not be written or read.
  bool exportControlPoints(const std::string& path);
  bool importControlPoints(const std::string& path);
  // The values of the voxel under a point of the volume box, into the panel's read-out.
  void showVoxelValue(const TVec3& point);
  // "Finish": stores the extracted voxels under an id the user picks, then mode 3.  "cancel":
  // asks, then mode 3 leaving the mask as it was.
  void finish();
  void cancel();

  const TPoints& controlPoints() const { return m_ctrlPoints; }
  TPoints& controlPointsForEdit() { return m_ctrlPoints; }
  double ctrlPointRadius() const { return m_ctrlPointRadius; }
  const TPoints& cutStroke() const { return m_input.stroke(); }
  bool isDrawingStroke() const { return m_input.drag() == TPointEditInput::Drag::Stroke; }
  bool isMovingPoint() const { return m_input.drag() == TPointEditInput::Drag::MovePoint; }
  int movingPointIndex() const { return m_movingIdx; }
  const TTriangleMesh& isoSurface() const { return m_isoMesh; }

  // The GL drawing of the mode (set by the Qt library at registration).
  static void setDrawHook(std::function<void(StateSegRGrow&)> hook);

  static const char* const kBusyMessage;
  static const char* const kTooManySeedsMessage;
  // The status-bar caption of the mode's computations.
  static constexpr int kProgressCaption = 17;

 private:
  StateSegRGrow();
  ~StateSegRGrow() override;

  // A computation over a copy of the flags and of the volume arrays it reads.
  using FlagJob = std::function<TRgrowStatus(const TRgrowVolume& vol, std::vector<std::uint8_t>& flags,
                                             const TRgrowProgress& progress)>;
  // What a job reads of the loaded volume besides the flags.
  enum class Reads { FlagsOnly, Channels, ChannelsAndGradient };
  // The memory (bytes) a job's kernel takes for W x H x D voxels besides what it is given; null
  // for kernels that take none.
  using ScratchBytes = std::size_t (*)(int W, int H, int D);
  // Starts job on copies of the flags and of what it reads of vol (the live volume, copied here on
  // the interface thread); false (the user told why) when refused, among others when the copies
  // and the kernel's scratch would not fit in the memory there is.
  bool runFlagJob(const TRgrowVolume& vol, Reads reads, ScratchBytes scratch, FlagJob job);
  // Takes a finished computation back (interface thread).
  void applyFlagJob(unsigned generation, TRgrowStatus status, std::vector<std::uint8_t>& flags);
  // A flood from the seeds over the loaded volume (box extent in world units).
  using SeedFlood = std::function<TRgrowStatus(const TRgrowVolume& vol, std::uint8_t* flags, const TPoints& seeds,
                                               const double* extent, const TRgrowProgress& progress)>;
  // Starts flood from the current seeds on a copy of the flags, after the busy and seed-count
  // refusals; the threshold floods also read the gradient.
  void runSeedFlood(bool readsGradient, ScratchBytes scratch, SeedFlood flood);
  // The loaded volume as the kernels read it; false (the user told) without one.
  bool kernelVolume(TRgrowVolume& vol, TRgrowChannelRanges* ranges = nullptr);
  // Refuses (with the busy text) while a computation runs.
  bool refuseWhileBusy() const;
  // Seed runs refuse more than the kernels' limit of seeds (message, flags untouched).
  bool refuseTooManySeeds() const;
  void eraseCtrlPoint(int index);

  // The control points as the main view's mouse edits them.
  int pickPoint(const TPoint2i& p) override;
  void erasePoint(int index) override { eraseCtrlPoint(index); }
  void grabPoint(int index) override { m_movingIdx = index; }
  bool placePoint(const double pos[3]) override;
  void moveGrabbedPoint(const double* pos) override;

  double m_ctrlPointRadius = 0;
  int m_movingIdx = -1;
  TPoints m_ctrlPoints;
  TTriangleMesh m_isoMesh;  // built by key '1'

  bool m_busy = false;          // a computation runs (interface thread only)
  unsigned m_generation = 0;    // of the newest computation; older results are dropped
  TWorker m_worker;             // declared last: joined before the data it works on goes
};
