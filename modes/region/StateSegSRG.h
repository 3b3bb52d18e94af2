#pragma once
// Seeded region growing with groups of seeds (mode 7).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.
#include <array>
#include <cstddef>
#include <vector>

#include "core/TModeState.h"

class StateSegSRG : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegSRG* getInst();

  void OnSwitched(int modeId) override;
  std::size_t groupCount() const { return m_groups.size(); }

 private:
  StateSegSRG();
  ~StateSegSRG() override;

  std::vector<std::array<double, 3>> m_stroke;
  std::vector<std::vector<std::array<double, 3>>> m_groups;
};
