#pragma once
// "Graph Cut": the panel of the graph-cut mode.  Help texts for the mouse, the energy parameter
// slider with its value, the region-level and voxel-level cuts with the seam width, erode and
// dilate, erasing the control points, "Show All CPs", "Finish" and "cancel".
#include <QString>

#include "modes/region/TDlgSegGCutIf.h"
#include "ui/TModePanel.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

class TDlgSegGCut : public TModePanel, public TDlgSegGCutIf {
 public:
  TDlgSegGCut();

  // TModePanelIf (both bases declare it; the panel base implements it).
  void showPanel() override { TModePanel::showPanel(); }
  void hidePanel() override { TModePanel::hidePanel(); }

  void updateControls() override;
  int sliderPosition() const override;
  int seamWidth() const override;
  bool isShowAllChecked() const override;

  // Controls, for tests.
  QSlider* slider() const { return m_slider; }
  QLineEdit* valueEdit() const { return m_value; }
  QRadioButton* seamRadio(int width) const { return m_seam[width - 1]; }
  QCheckBox* showAllCheck() const { return m_showAll; }
  // The button with this caption, or nullptr.
  QPushButton* button(const QString& caption) const;

 private:
  // The slider, its value and the seam radios as every entry starts them.
  void resetControls();
  void onSeam(int width);

  QSlider* m_slider = nullptr;
  QLineEdit* m_value = nullptr;
  QRadioButton* m_seam[3] = {};
  QCheckBox* m_showAll = nullptr;
};
