#pragma once
// The old and new voxel pitch (mm) of the resampling export: six edits, each with a spin that
// holds thousandths (1..100000, so every pitch lies in [0.001, 100] mm).
#include <QDialog>

class QLineEdit;
class QSpinBox;
class TEditPair;

class TDlgResampleVolPitch : public QDialog {
  Q_OBJECT
 public:
  TDlgResampleVolPitch(const double oldPitch[3], const double newPitch[3], QWidget* parent = nullptr);
  // Hidden before the members go: an edit losing the focus as the window closes ends its typing.
  ~TDlgResampleVolPitch() override { hide(); }

  void getOldPitch(double out[3]) const;
  void getNewPitch(double out[3]) const;

  // Controls: index 0..2 old x, y, z; 3..5 new x, y, z.
  QLineEdit* edit(int i) const { return m_edits[i]; }
  QSpinBox* spin(int i) const { return m_spins[i]; }

 private:
  void onSpinChanged(int i);
  void readBack();

  bool m_created = false;
  double m_old[3];
  double m_new[3];
  QLineEdit* m_edits[6] = {};
  QSpinBox* m_spins[6] = {};
  TEditPair* m_pairs[6] = {};
};
