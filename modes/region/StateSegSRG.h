#pragma once
// Seeded region growing with groups of seeds (mode 7).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.
#include <array>
#include <cstddef>
#include <vector>

#include "app/TModeState.h"
#include "modes/region/TDlgSegSRG.h"

class StateSegSRG : public TModeState {
 public:
  // The one object of this mode, built on first use.
  static StateSegSRG* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  void hidePanels() override { m_dlg.hide(); }
  void placePanels(int x, int y) override { m_dlg.place(x, y); }
  void destroyPanels() override { m_dlg.destroy(); }
  TDlgSegSRG* panel() const { return m_dlg.get(); }
  std::size_t groupCount() const { return m_groups.size(); }

 private:
  StateSegSRG();
  ~StateSegSRG() override;

  TModePanelHolder<TDlgSegSRG> m_dlg;
  std::vector<std::array<double, 3>> m_stroke;
  std::vector<std::vector<std::array<double, 3>>> m_groups;
};
