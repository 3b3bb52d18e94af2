#pragma once
// "Curved Cylinder": the panel of the curved-cylinder mode.  Begins a new curve, stores or
// deletes it, chooses the order its tube follows (best three or as placed) and its width, and
// finishes or cancels the mode.
#include <QString>

#include "modes/curve/TDlgSegCurveCylIf.h"
#include "ui/TModePanel.h"

class QCheckBox;
class QPushButton;
class QSlider;

class TDlgSegCurveCyl : public TModePanel, public TDlgSegCurveCylIf {
 public:
  TDlgSegCurveCyl();

  // TModePanelIf (both bases declare it; the panel base implements it).
  void showPanel() override { TModePanel::showPanel(); }
  void hidePanel() override { TModePanel::hidePanel(); }

  void updateControls(double minRadius, double maxRadius) override;
  void enableControls() override;
  void startStoredCurveEditing(double radius, int selected) override;
  bool isEditing() const override;

  // Controls, for tests.
  QCheckBox* newCurveCheck() const { return m_newCurve; }
  // Candidate check box: 0 "placed order", 1-3 "1" - "3".
  QCheckBox* candidateCheck(int selected) const { return m_candidate[selected]; }
  QSlider* widthSlider() const { return m_slider; }
  // The button with this caption, or nullptr.
  QPushButton* button(const QString& caption) const;
  double minRadius() const { return m_minRadius; }
  double maxRadius() const { return m_maxRadius; }

 private:
  void onGenNewCurve();
  void onStoreNewCurve();
  void onDeleteNewCurve();
  void onCandidate(int selected);
  void onSlider(int position);
  void onDeleteAll();
  // Checks the one candidate box.
  void checkCandidate(int selected);
  void setEditing(bool on);

  double m_minRadius = 0;
  double m_maxRadius = 1;
  QCheckBox* m_newCurve = nullptr;
  QCheckBox* m_candidate[4] = {};
  QSlider* m_slider = nullptr;
  QPushButton* m_store = nullptr;
  QPushButton* m_deleteNew = nullptr;
  QPushButton* m_optPoints = nullptr;
  QPushButton* m_optWidth = nullptr;
  QPushButton* m_deleteAll = nullptr;
  QPushButton* m_cancel = nullptr;
  QPushButton* m_finish = nullptr;
};
