#pragma once
// The panel of the two-step contour-mesh mode: step 1 (the axis) and step 2 (planes, contours,
// boundary surfaces, contour files, "Finish").  The step and the editing state are its two
// push-like check boxes; the mode puts them into place through TDlgSegCMeshZelIf.
#include <QString>

#include "modes/contour/TDlgSegCMeshZelIf.h"
#include "ui/TModePanel.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TEditPair;

class TDlgSegCMeshZel : public TModePanel, public TDlgSegCMeshZelIf {
 public:
  TDlgSegCMeshZel();
  // Hidden before the members go: an edit losing the focus as the window closes ends its typing.
  ~TDlgSegCMeshZel() override { hide(); }

  void updateControls() override;
  bool isStep2() const override;
  void setStep2(bool on) override;
  bool isContourStarted() const override;
  void setContourStarted(bool on) override;
  bool showSurface() const override;
  void setShowSurface(bool on) override;
  bool showRegion() const override;
  void setShowRegion(bool on) override;
  int weightPosition() const override;
  void setWeightPosition(int pos) override;

  // Controls, for tests.
  QPushButton* button(const QString& caption) const;
  QLineEdit* weightEdit() const { return m_edit; }
  QSpinBox* weightSpin() const { return m_spin; }

 private:
  void setStartValues();
  void onStep2(bool checked);
  void onStart(bool checked);
  void onSave();
  void onLoad();
  void writeEdit();

  QPushButton* m_step2 = nullptr;
  QPushButton* m_back = nullptr;
  QPushButton* m_next = nullptr;
  QPushButton* m_prev = nullptr;
  QPushButton* m_initPlanes = nullptr;
  QPushButton* m_initView = nullptr;
  QCheckBox* m_showSurf = nullptr;
  QCheckBox* m_showRegion = nullptr;
  QPushButton* m_start = nullptr;
  QPushButton* m_register = nullptr;
  QPushButton* m_flip = nullptr;
  QPushButton* m_discard = nullptr;
  QPushButton* m_hrbf = nullptr;
  QPushButton* m_rbf = nullptr;
  QPushButton* m_save = nullptr;
  QPushButton* m_load = nullptr;
  QLineEdit* m_edit = nullptr;
  QSpinBox* m_spin = nullptr;
  TEditPair* m_pair = nullptr;
};
