#pragma once
// "Slice By Slice Manipulation": the panel of the slice-by-slice mode.  The mode's title, the
// paint tool ("Paint" or "Lasso", two check boxes that act as a radio pair), "Fix Other Region",
// the mouse help, "Finish" and "Cancel ".
#include <QString>

#include "modes/region/TDlgSegFulManuIf.h"
#include "ui/TModePanel.h"

class QCheckBox;
class QLabel;
class QPushButton;

class TDlgSegFulManu : public TModePanel, public TDlgSegFulManuIf {
 public:
  TDlgSegFulManu();

  // TModePanelIf (both bases declare it; the panel base implements it).
  void showPanel() override { TModePanel::showPanel(); }
  void hidePanel() override { TModePanel::hidePanel(); }

  void resetControls(bool refinement, int targetId) override;
  bool isPaintChecked() const override;
  bool isFixOtherChecked() const override;

  // Controls, for tests.
  QCheckBox* paintCheck() const { return m_paint; }
  QCheckBox* lassoCheck() const { return m_lasso; }
  QCheckBox* fixOtherCheck() const { return m_fixOther; }
  QLabel* titleLabel() const { return m_title; }
  // The button with this caption, or nullptr.
  QPushButton* button(const QString& caption) const;

 private:
  void setStartControls(bool refinement, int targetId);
  void checkTool(bool paint);

  QLabel* m_title = nullptr;
  QCheckBox* m_paint = nullptr;
  QCheckBox* m_lasso = nullptr;
  QCheckBox* m_fixOther = nullptr;
};
