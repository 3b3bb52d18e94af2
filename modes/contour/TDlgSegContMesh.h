#pragma once
// "Contour Mesh Dialog": the panel of the contour-mesh mode.  Chooses the canvas, starts, stores,
// drops and edits contours, sets the four sampling coefficients and the kernel, starts region
// updates, saves and loads contour files, and finishes or cancels the mode.
#include <QString>

#include "modes/contour/TDlgSegContMeshIf.h"
#include "ui/TModePanel.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TEditPair;

class TDlgSegContMesh : public TModePanel, public TDlgSegContMeshIf {
 public:
  TDlgSegContMesh();
  // Hidden before the members go: an edit losing the focus as the window closes ends its typing.
  ~TDlgSegContMesh() override { hide(); }

  void updateControls() override;
  void updateContourButtons() override;
  bool isNewContour() const override;
  void setNewContour(bool on) override;
  void setClosedCheck(bool on) override;
  bool isAutoUpdate() const override;
  bool isSurfaceTrack() const override;
  bool showForeground() const override;
  bool showSurface() const override;
  bool showContours() const override;
  int kernel() const override;
  int spinPosition(Spin s) const override;
  void setSpinPositions(int colour, int interval, int blend, int normal) override;

  // Controls, for tests.
  QPushButton* button(const QString& caption) const;
  QCheckBox* check(const QString& caption) const;
  QSpinBox* spin(Spin s) const { return m_spin[s]; }
  QLineEdit* edit(Spin s) const { return m_edit[s]; }

 private:
  void setStartValues();
  void onNewContour(bool checked);
  void onSpin(Spin s);
  // A typed value moved a spin.
  void onEdit(Spin s);
  void onKernel(int code);
  void onSave();
  void onLoad();
  void writeEdit(Spin s, bool oneDecimal);

  QPushButton* m_canvas[3] = {};
  QCheckBox* m_showFore = nullptr;
  QCheckBox* m_showSurf = nullptr;
  QCheckBox* m_showCont = nullptr;
  QPushButton* m_newContour = nullptr;
  QPushButton* m_store = nullptr;
  QPushButton* m_drop = nullptr;
  QPushButton* m_flip = nullptr;
  QCheckBox* m_closed = nullptr;
  QCheckBox* m_auto = nullptr;
  QCheckBox* m_track = nullptr;
  QSpinBox* m_spin[4] = {};
  QLineEdit* m_edit[4] = {};
  TEditPair* m_pair[4] = {};
  QRadioButton* m_kernel[3] = {};
  int m_kernelCode = 1;
  int m_spinWas[4] = {100, 40, 10, 50};
  bool m_updating = false;
};
