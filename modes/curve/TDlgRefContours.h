#pragma once
// "Refinement Contours": the panel of the contour-refinement mode.  Its check boxes choose what
// the main view draws and what Shift and Alt edit with; the slider sets the rub passes, the
// "ROI mesh size" boxes the patch size; its buttons store and erase fibers, run the graph cut
// after the edits and finish.
#include <QString>
#include <initializer_list>

#include "modes/curve/TDlgRefContoursIf.h"
#include "ui/TModePanel.h"

class QAbstractButton;
class QPushButton;
class QSlider;

class TDlgRefContours : public TModePanel, public TDlgRefContoursIf {
 public:
  TDlgRefContours();

  // TModePanelIf (both bases declare it; the panel base implements it).
  void showPanel() override { TModePanel::showPanel(); }
  void hidePanel() override { TModePanel::hidePanel(); }

  void updateControls() override;
  bool isChecked(Check c) const override;
  void setChecked(Check c, bool on) override;
  int smoothingRate() const override;

  // Controls, for tests.
  QAbstractButton* checkBox(Check c) const { return m_checks[c]; }
  QSlider* rateSlider() const { return m_slider; }
  // The push button with this caption, or nullptr.
  QPushButton* button(const QString& caption) const;

 private:
  // Checks `on` and unchecks the others of its group.
  void checkOnly(Check on, std::initializer_list<Check> off);

  QAbstractButton* m_checks[kCheckCount] = {};
  QSlider* m_slider = nullptr;
};
