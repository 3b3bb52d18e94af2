#pragma once
// Graph cut over a watershed pre-segmentation (mode 8).
// The mode is not built out yet: entering it releases the z flip, asks for the target regions
// and shows its (still empty) panel; the watershed pre-computation and the cut are still to come.
//
// The mode has no accessor of its own: the one object is built, guarded, on first use through
// t_buildStateSegGCut() wherever it is needed first (mode switch, new volume, panel placement).
#include <array>
#include <vector>

#include "core/TModeState.h"
#include "platform/Worker.h"

class StateSegGCut : public TPanelMode<> {
 public:
  StateSegGCut();
  ~StateSegGCut() override;

  void OnSwitched(int modeId) override;
  void stopWorkers() override { m_worker.stopAndJoin(); }
  const char* busyMessage() const override { return m_worker.isRunning() ? kBusyMessage : nullptr; }

  // Forgets the pre-computation of the previous volume so that the next cut starts afresh;
  // refused with the busy message while the pre-computation runs.
  void resetForNewVolume();

  bool isPrecomputing() const { return m_worker.isRunning(); }
  bool isPrecomputeReady() const { return m_precompReady; }
  // The pre-computation worker (its computation is started by the mode's panel).
  TWorker& worker() { return m_worker; }

  static const char* const kBusyMessage;

 private:
  bool m_precompReady = false;
  std::vector<int> m_wsdLabels;                  // watershed region of every voxel
  std::vector<std::vector<int>> m_wsdAdjacency;  // neighbouring regions of every region
  std::vector<std::array<double, 3>> m_stroke;
  std::vector<std::array<double, 3>> m_ctrlPoints;
  bool m_lHeld = false, m_rHeld = false, m_mHeld = false;
  TWorker m_worker;  // declared last: destroyed (joined) before the data it works on
};

// The one graph-cut mode object, built on first use.
inline StateSegGCut* t_buildStateSegGCut() {
  static StateSegGCut mode;
  return &mode;
}
