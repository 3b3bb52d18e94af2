#pragma once
// What the two-step contour-mesh mode reads and writes of its panel.  The Qt panel implements it
// besides TModePanelIf (TDlgSegCMeshZel); tests fake it, so the mode's logic runs without a
// window system.  The step and the editing state live in the panel's check boxes, as the user
// sees them; the mode puts the panel into the matching state through setStep2 and
// setContourStarted.
class TDlgSegCMeshZelIf {
 public:
  virtual ~TDlgSegCMeshZelIf() = default;

  // Every entry: step 1, both display boxes checked, "Wcol" 2.00.
  virtual void updateControls() = 0;
  // "Step2 へ" checked (the step-2 controls enabled, in navigation) or step 1.
  virtual bool isStep2() const = 0;
  virtual void setStep2(bool on) = 0;
  // "輪郭作成開始" checked: a contour is being edited (plane controls disabled, "登録", "反転",
  // "破棄" enabled), or navigation.
  virtual bool isContourStarted() const = 0;
  virtual void setContourStarted(bool on) = 0;
  virtual bool showSurface() const = 0;
  virtual void setShowSurface(bool on) = 0;
  virtual bool showRegion() const = 0;
  virtual void setShowRegion(bool on) = 0;
  // "Wcol": the spin's position (1-500, weight = position x 0.01); the set clamps it.
  virtual int weightPosition() const = 0;
  virtual void setWeightPosition(int pos) = 0;
};
