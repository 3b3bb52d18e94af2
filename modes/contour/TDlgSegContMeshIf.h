#pragma once
// What the contour-mesh mode reads and writes of its panel's controls.  The Qt panel implements
// it besides TModePanelIf (TDlgSegContMesh); tests fake it, so the mode's logic runs without a
// window system.  The mode finds it on the panel it was given: a panel with only its title has none.
class TDlgSegContMeshIf {
 public:
  virtual ~TDlgSegContMeshIf() = default;

  // Spins of the four sampling coefficients (integer positions).
  enum Spin { kColour = 0, kInterval = 1, kBlend = 2, kNormal = 3 };

  // Every entry into the mode: shows the panel with every control at its default.
  virtual void updateControls() = 0;
  // Enables the controls of a contour being drawn while "New Contour" is checked, the canvas
  // controls otherwise.
  virtual void updateContourButtons() = 0;
  virtual bool isNewContour() const = 0;
  virtual void setNewContour(bool on) = 0;
  virtual void setClosedCheck(bool on) = 0;
  virtual bool isAutoUpdate() const = 0;
  virtual bool isSurfaceTrack() const = 0;
  virtual bool showForeground() const = 0;
  virtual bool showSurface() const = 0;
  virtual bool showContours() const = 0;
  // 1 "|x|^3", 2 "|x|^4log|x|", 3 "|x|^5".
  virtual int kernel() const = 0;
  virtual int spinPosition(Spin s) const = 0;
  // After loading a file: the four spins (clamped to their ranges) and their edits.
  virtual void setSpinPositions(int colour, int interval, int blend, int normal) = 0;
  // A computation starts or ends (the panel may show it).
  virtual void setBusy(bool busy) {}
};
