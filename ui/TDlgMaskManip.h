#pragma once
// The mask-ID chooser: the 256 region ids as a 16 x 16 grid of cells in the regions' colours,
// asked modally in two ways: pick-many (which regions a segmentation may claim) and pick-one
// (under which id a result is stored).  A used id is marked with a tick.
#include <QColor>
#include <QDialog>

#include <string>
#include <vector>

#include "core/MaskIdChooser.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

class TDlgMaskManip : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgMaskManip(const std::string& title, QWidget* parent = nullptr);

  // Modal pick-many question: true with 256 entries of 0/1 on OK with at least one id chosen.
  bool getSelectedIds(std::vector<unsigned char>& out);
  // Modal pick-one question: true on OK; id is the cell last clicked (-1 when none).
  bool runPickOne(int& id);

  bool pickOne = false;
  bool pickMany = false;
  int currentId = -1;
  unsigned char selection[256] = {};

  QAbstractButton* cell(int id) const { return m_cells[id]; }
  // Panel controls of the current id.
  QSlider* transparencySlider() const { return m_alpha; }
  QCheckBox* polygonCheck() const { return m_polygon; }
  QPushButton* updateMeshButton() const { return m_updateMesh; }

  // Used as a modeless panel: no OK or Cancel, and neither Enter nor Escape hides it (there would
  // be no way to show it again short of switching the mode).
  void setPanelMode();
  // Redraws every cell from the mask-ID table (after a mask or a combined file was loaded).
  void refreshCells();

  void accept() override;
  void reject() override;
  void setVisible(bool visible) override;

  // Panel mode: a double click opens the region editor of the id, a right click its colour.
  void onCellDoubleClicked(int id);
  void onCellRightClicked(int id);

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void onCellClicked(int id);
  void refreshCell(int id);
  void showCurrentControls();
  void onAlphaChanged(int value);
  void onPolygonToggled(bool on);
  void onUpdateMesh();

  bool m_panelMode = false;
  bool m_updating = false;
  QWidget* m_panelControls = nullptr;
  QSlider* m_alpha = nullptr;
  QCheckBox* m_polygon = nullptr;
  QPushButton* m_updateMesh = nullptr;
  QWidget* m_buttons = nullptr;
  QLabel* m_title = nullptr;
  QAbstractButton* m_cells[256] = {};
};

// Contrast ratio of two colours (1 to 21, sRGB relative luminance).
double t_contrastRatio(const QColor& a, const QColor& b);
// The colour of a cell's label: cyan, or black on cells where cyan would read worse.
QColor t_cellLabelColour(const QColor& cell);

// The chooser the program installs: asks through TDlgMaskManip.
class TDlgMaskIdChooser : public TMaskIdChooser {
 public:
  bool pickMany(const std::string& title, std::vector<unsigned char>& selection) override;
  bool pickOne(const std::string& title, int& id) override;
};
