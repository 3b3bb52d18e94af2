#pragma once
// The organ cross-section mode (mode id 4).  Here: its accessor, its hidden panel and the volume
// drawn with the two-dimensional transfer function.
#include <QPointer>

#include "core/TModeState.h"
#include "modes/vis/TDlgVisOrgCrs.h"

class StateVisOrgCrs : public TModeState {
 public:
  static StateVisOrgCrs& getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override;
  void hidePanels() override;
  // The panel: made once the application object exists, deleted at exit.
  void createPanels();
  void destroyPanels();

  TDlgVisOrgCrs* panel() const { return m_panel.data(); }

  StateVisOrgCrs(const StateVisOrgCrs&) = delete;
  StateVisOrgCrs& operator=(const StateVisOrgCrs&) = delete;

 private:
  StateVisOrgCrs();
  ~StateVisOrgCrs() override;
  QPointer<TDlgVisOrgCrs> m_panel;
};
