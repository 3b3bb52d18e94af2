#pragma once
// Curved cylinders along control-point curves (mode 9).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.
#include <array>
#include <cstddef>
#include <vector>

#include "core/TModeState.h"

class StateSegCurveCyl : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegCurveCyl* getInst();

  void OnSwitched(int modeId) override;
  std::size_t curveCount() const { return m_curves.size(); }

 private:
  StateSegCurveCyl();
  ~StateSegCurveCyl() override;

  std::vector<std::vector<std::array<double, 3>>> m_curves;
  std::vector<std::array<double, 3>> m_newCurve;
};
