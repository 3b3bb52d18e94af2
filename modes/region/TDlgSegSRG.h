#pragma once
// "Dialog": the panel of the seeded-region-growing mode.  The list of seed groups (one row per
// group, its seed count and its colour), the buttons that add a group, run the growth, finish and
// cancel, and the check boxes that show the group surfaces and the seeds.  Delete or Backspace in
// the list deletes the selected group.
#include <QString>

#include "modes/region/TDlgSegSRGIf.h"
#include "ui/TModePanel.h"

class QCheckBox;
class QPushButton;
class QTableWidget;

class TDlgSegSRG : public TModePanel, public TDlgSegSRGIf {
 public:
  TDlgSegSRG();

  // TModePanelIf (both bases declare it; the panel base implements it).
  void showPanel() override { TModePanel::showPanel(); }
  void hidePanel() override { TModePanel::hidePanel(); }

  void updateGroupList() override;
  bool isVisSurfChecked() const override;
  bool isVisCPsChecked() const override;
  void setBusy(bool busy) override;

  // Controls, for tests.
  QTableWidget* groupList() const { return m_list; }
  QCheckBox* visSurf() const { return m_visSurf; }
  QCheckBox* visCPs() const { return m_visCPs; }
  // The button with this caption, or nullptr.
  QPushButton* button(const QString& caption) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void onSelectionChanged();

  QTableWidget* m_list = nullptr;
  QCheckBox* m_visSurf = nullptr;
  QCheckBox* m_visCPs = nullptr;
  bool m_refilling = false;  // the list's own changes during a refill are not the user's
};
