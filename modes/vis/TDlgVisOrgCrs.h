#pragma once
// Panel of the organ cross-section mode: which surfaces are shown and how (lit or textured with
// the volume), the brush depth and the reset of the deformable cut.  Of the fifteen boxes of the
// display group at most one of the first fourteen is on, with the edge box beside it; the
// interior box and the vessel and tumour pairs are independent of the group.  A mode panel: the
// keyboard never closes it.
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <functional>

#include "modes/vis/organ_sections.h"
#include "ui/TModePanel.h"

class TDlgVisOrgCrs : public TModePanel {
  Q_OBJECT
 public:
  TDlgVisOrgCrs();

  // Shows the panel with the entry state: "断面3mm", "臓器内部" and "血管" on, depth 50.
  void updateControls();
  TOrgCrsDisplay display() const;
  // The brush depth "z-brush強さ", 0..100.
  int brushDepth() const { return m_slider->value(); }

  QCheckBox* box(int b) const { return m_boxes[b]; }
  QSlider* slider() const { return m_slider; }
  QPushButton* resetButton() const { return m_reset; }

  // Set by the mode: a box changed (redraw all views), "初期化" pressed.
  std::function<void()> onDisplayChanged;
  std::function<void()> onResetDeform;

 private:
  void clicked(int b);
  void writeBoxes(const TOrgCrsDisplay& d);

  std::array<QCheckBox*, TOrgCrsDisplay::Count> m_boxes{};
  QSlider* m_slider = nullptr;
  QPushButton* m_reset = nullptr;
  bool m_created = false;
  bool m_updating = false;
};
