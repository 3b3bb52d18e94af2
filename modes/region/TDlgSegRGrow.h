#pragma once
// "Region Growing & Thresholding ": the panel of the region-growing mode.  Threshold ranges per
// channel and for the gradient, the distance limit r and the shape coefficient, each an integer
// spin position shown scaled in the edit beside it; the RGB/HSV choice of three-channel volumes;
// the buttons that threshold, grow, clean up, read and write control points, finish and cancel;
// the read-out of the value under the control point being placed or moved.
#include <QString>

#include "modes/region/TDlgSegRGrowIf.h"
#include "ui/TModePanel.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TEditPair;

class TDlgSegRGrow : public TModePanel, public TDlgSegRGrowIf {
 public:
  TDlgSegRGrow();
  // Hidden before the members go: an edit losing the focus as the window closes ends its typing.
  ~TDlgSegRGrow() override { hide(); }

  // TModePanelIf (both bases declare it; the panel base implements it).
  void showPanel() override { TModePanel::showPanel(); }
  void hidePanel() override { TModePanel::hidePanel(); }

  void updateControls(int channels, const double rangeLo[3], const double rangeHi[3]) override;
  int spinPosition(Spin spin) const override;
  bool isRgbChecked() const override;
  void setReadout(const std::string& text) override;
  void setBusy(bool busy) override;

  // Controls, for tests.
  QSpinBox* spin(Spin s) const { return m_spin[s]; }
  QLineEdit* edit(Spin s) const { return m_edit[s]; }
  QRadioButton* rgbRadio() const { return m_rgb; }
  QRadioButton* hsvRadio() const { return m_hsv; }
  QLineEdit* readout() const { return m_readout; }
  QLabel* rowLabel(int row) const { return m_rowLabel[row]; }
  // The button with this caption, or nullptr.
  QPushButton* button(const QString& caption) const;

 private:
  void onSpinChanged(Spin s);
  void onRgb();
  void onHsv();
  // Rewrites the edit of a spin from its position, in the format of its current scale.
  void writeEdit(Spin s);
  // Decimals of a spin's value: 1, 3 or 0 (position = value x 10^decimals).
  int decimalsOf(Spin s) const;
  void setRange(Spin s, double lo, double hi);
  void showRows(int channels);

  void onRunThreshold();
  void onRegionGrow(bool faceOnly);
  void onRegionGrowShape();
  void onRegionGrowList(bool faceOnly);
  void onExport();
  void onImport();

  QLineEdit* m_edit[kSpinCount] = {};
  QSpinBox* m_spin[kSpinCount] = {};
  TEditPair* m_pair[kSpinCount] = {};
  QLabel* m_rowLabel[3] = {};
  QRadioButton* m_rgb = nullptr;
  QRadioButton* m_hsv = nullptr;
  QLineEdit* m_readout = nullptr;

  int m_channels = 1;
  double m_rangeLo[3] = {0, 0, 0};
  double m_rangeHi[3] = {0, 0, 0};
};
