#pragma once
// Ruler panel of the standard visualisation mode: the list of rulers with their lengths in
// millimetres and "Clear All".
#include <QDialog>

class QListWidget;
class QPushButton;

class TDlgVisStd : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgVisStd(QWidget* parent = nullptr);

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
