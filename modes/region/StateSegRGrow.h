#pragma once
// Threshold and region growing from control points (mode 6).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.
#include <array>
#include <vector>

#include "core/TModeState.h"

class StateSegRGrow : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegRGrow* getInst();

  void OnSwitched(int modeId) override;
  const std::vector<std::array<double, 3>>& controlPoints() const { return m_ctrlPoints; }
  double ctrlPointRadius() const { return m_ctrlPointRadius; }

 private:
  StateSegRGrow();
  ~StateSegRGrow() override;

  std::vector<std::array<double, 3>> m_ctrlPoints;
  double m_ctrlPointRadius = 0;
  bool m_dragSlice = false, m_dragStroke = false, m_addPoints = false, m_movePoint = false;
};
