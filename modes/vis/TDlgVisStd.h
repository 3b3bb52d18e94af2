#pragma once
// Ruler panel of the standard visualisation mode: the list of rulers with their lengths in
// millimetres and "Clear All".  A mode panel: the keyboard and the window's close button never
// close it; the mode shows and hides it.
#include "ui/TModePanel.h"

class QListWidget;
class QPushButton;

class TDlgVisStd : public TModePanel {
  Q_OBJECT
 public:
  TDlgVisStd();

  // Rewrites the list from the mode's rulers ("ruler %d  : %f", length in mm with the current
  // pitch) and selects the mode's selected ruler.
  void updateRulerList();
  void OnBnClickedButtonClearAll();
  void OnLbnSelchangeListRulers();

  QListWidget* rulerList() const { return m_list; }
  QPushButton* clearAllButton() const { return m_clearAll; }

 private:
  QListWidget* m_list = nullptr;
  QPushButton* m_clearAll = nullptr;
  bool m_updating = false;
};
