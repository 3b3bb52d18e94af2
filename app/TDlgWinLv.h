#pragma once
// "Window Level": the modeless panel that sets, per channel, the value window [minimum, maximum]
// through which the float channel values become the 8-bit textures.  Slider positions are the
// value x 10; edits show "%.1f".  One instance, built hidden at start-up, shown from the rendering
// panel.  The minimum of a row always stays below its maximum: a dragged slider pushes the other
// one, a typed bound stops short of the other.  The keyboard never closes it.
#include <QDialog>

class QLabel;
class QLineEdit;
class QSlider;
class TEditPair;

class TDlgWinLv : public QDialog {
  Q_OBJECT
 public:
  static TDlgWinLv& getInst();
  static bool exists();
  static void destroyInst();

  // The three minimum / maximum slider positions x 0.1.
  void getMinValues(double out[3]) const;
  void getMaxValues(double out[3]) const;
  // After a volume load: every row takes the load's data range of its channel (zeros for a
  // channel the volume lacks); rows 1..n are enabled.
  void setChannels(int n, const double minValues[3], const double maxValues[3]);
  // After loading channel k (1..3): that row only.
  void setRange(int k, double minValue, double maxValue);
  // Window of row k from a camera/transfer-function file: sliders and edits only.
  void setValues(int k, double minValue, double maxValue);
  // Laid out with the main frame's panels before it appears.
  void setVisible(bool visible) override;
  // Hands the window to the volume holder and redraws.
  void applyWindowLevel();

  // The data range of each channel as last set.
  double dataMin(int c) const { return m_dataMin[c]; }
  double dataMax(int c) const { return m_dataMax[c]; }
  bool isCreated() const { return m_created; }

  // Controls by role (row 0..2), for tests.
  QSlider* minSlider(int row) const { return m_minSlider[row]; }
  QSlider* maxSlider(int row) const { return m_maxSlider[row]; }
  QLineEdit* minEdit(int row) const { return m_minEdit[row]; }
  QLineEdit* maxEdit(int row) const { return m_maxEdit[row]; }
  QLabel* minRangeText(int row) const { return m_minRange[row]; }
  QLabel* maxRangeText(int row) const { return m_maxRange[row]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override {}

 private:
  TDlgWinLv();
  ~TDlgWinLv() override;
  void setRowEnabled(int row, bool on);
  void writeRow(int row, double minValue, double maxValue, bool range);
  // Keeps minimum < maximum in row r: the slider that did not move gives way.
  void keepOrdered(int r, bool maxMoved);
  // Hands the slider positions to the window-level model.
  void publish();
  void onSliderMoved(int row, bool isMax);
  // A typed value moved a slider: publish and apply the window.
  void onTyped();

  double m_dataMax[3] = {0, 0, 0};
  double m_dataMin[3] = {0, 0, 0};
  bool m_created = false;
  QSlider* m_minSlider[3] = {nullptr, nullptr, nullptr};
  QSlider* m_maxSlider[3] = {nullptr, nullptr, nullptr};
  QLineEdit* m_minEdit[3] = {nullptr, nullptr, nullptr};
  QLineEdit* m_maxEdit[3] = {nullptr, nullptr, nullptr};
  TEditPair* m_minPair[3] = {nullptr, nullptr, nullptr};
  TEditPair* m_maxPair[3] = {nullptr, nullptr, nullptr};
  QLabel* m_minRange[3] = {nullptr, nullptr, nullptr};
  QLabel* m_maxRange[3] = {nullptr, nullptr, nullptr};
};
