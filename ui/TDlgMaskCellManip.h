#pragma once
// "Mask Region Edit DLG": the modal editor of one mask region, opened by a double click on a cell
// of the region panel.  Every button runs one operation of the mask-ID table on the region and
// closes the dialog; an operation the table would refuse is reported instead, and the dialog
// closes all the same.  Neither Enter nor Escape closes it.
#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QPushButton;

class TDlgMaskCellManip : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgMaskCellManip(int id, QWidget* parent = nullptr);

  int id() const { return m_id; }
  // The button of a command id (1170 Merge, 1171 Move, 1173 Delete, 1176 Erosion, 1205/1204
  // Dilate, 1207 count, 1206 divide, 1188/1190 exports, 1208 membrane, 1186 cancel, 1210).
  QPushButton* button(int commandId) const;

  // Why the table would refuse to move, merge or delete region a (into b); empty when it will not.
  static std::string refusalOfMove(int a, int b);
  static std::string refusalOfMerge(int a, int b);
  static std::string refusalOfDelete(int a);
  static std::string refusalOfMembrane(int a, int b);

  void OnMerge();
  void OnMove();
  void OnDelete();
  void OnErode();
  void OnDilateInvade();
  void OnDilateKeep();
  void OnCountParts();
  void OnSplitParts();
  void OnExportObj();
  void OnExportStl();
  void OnMembrane();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void reject() override {}

 private:
  QPushButton* addButton(int commandId, const char* caption, void (TDlgMaskCellManip::*handler)());
  // Redraws all views and closes with OK.
  void finish();
  bool pickTarget(const char* title, int& target);

  int m_id;
  std::vector<std::pair<int, QPushButton*>> m_buttons;
};
