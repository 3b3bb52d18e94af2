#pragma once
// "Polygon Surface Param DLG": sampling resolution (1..5) and the two smoothing counts (0..15)
// of a region surface.
#include <QDialog>

class QSpinBox;

class TDlgMarchingCubesParam : public QDialog {
  Q_OBJECT
 public:
  // Both counts start at 1.
  explicit TDlgMarchingCubesParam(int samplingResolution, QWidget* parent = nullptr);

  int samplingResolution;
  int smoothingCount = 1;          // "Laplacian Smoothing △f=0"
  int preserveSmoothingCount = 1;  // "Laplacian preserve smoothing △f=ni"

  QSpinBox* resolutionSpin() const { return m_spins[0]; }
  QSpinBox* smoothingSpin() const { return m_spins[1]; }
  QSpinBox* preserveSpin() const { return m_spins[2]; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  QSpinBox* m_spins[3] = {nullptr, nullptr, nullptr};
};
