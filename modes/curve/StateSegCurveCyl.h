#pragma once
// Curved cylinders along control-point curves (mode 9).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.
#include <array>
#include <cstddef>
#include <vector>

#include "app/TModeState.h"
#include "modes/curve/TDlgSegCurveCyl.h"

class StateSegCurveCyl : public TModeState {
 public:
  // The one object of this mode, built on first use.
  static StateSegCurveCyl* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  void hidePanels() override { m_dlg.hide(); }
  void placePanels(int x, int y) override { m_dlg.place(x, y); }
  void destroyPanels() override { m_dlg.destroy(); }
  TDlgSegCurveCyl* panel() const { return m_dlg.get(); }
  std::size_t curveCount() const { return m_curves.size(); }

 private:
  StateSegCurveCyl();
  ~StateSegCurveCyl() override;

  TModePanelHolder<TDlgSegCurveCyl> m_dlg;
  std::vector<std::vector<std::array<double, 3>>> m_curves;
  std::vector<std::array<double, 3>> m_newCurve;
};
