#pragma once
// The standard visualisation mode, shared by mode ids 0-3: intensity (0), intensity with gradient
// (1), two-dimensional transfer function (2) and mask regions (3).  The ids differ only in the
// volume program used to draw; id 3 also draws the region surfaces.  Its panels: the ruler list
// (ids 0-2) and the region-id panel (id 3).
//
// In the main view: a left drag on a plane handle moves that slice plane, Ctrl + left drag draws
// the stroke of a cut surface, Shift + left drag on a slice plane (or the cut surface) draws a
// ruler, the wheel over a plane steps it by one voxel; elsewhere the camera moves.  The panes
// show each plane's slice with the two other planes' cross lines.
#include <QPointer>
#include <array>
#include <vector>

#include "ui/TDlgMaskManip.h"
#include "core/TModeState.h"
#include "geom/vec3.h"
#include "modes/vis/TDlgVisStd.h"

class StateVisStd : public TModeState {
 public:
  static StateVisStd& getInst();

  void OnSwitched(int modeId) override;
  void OnLBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnKeyUp(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;
  void OnDraw2D(TSubPane* pane) override;
  void hidePanels() override;

  // Volume mode of the rendering panel for a mode id: 1, 2, 3 for ids 0, 1, 2; 0 for id 3.
  static int volumeModeFor(int modeId);

  void drawRulers();
  void drawMaskSurfaces();

  // The ruler and region panels: made once the application object exists, deleted at exit.
  void createPanels();
  void destroyPanels();

  // The panels entering modeId shows, the rendering panel sized for it (start-up lays the frame
  // out with them before they show).
  std::vector<const QWidget*> panelsOnEntry(int modeId);

  TDlgVisStd* rulerPanel() const { return m_rulerPanel.data(); }
  TDlgMaskManip* regionPanel() const { return m_regionPanel.data(); }

  // Rulers: start x, y, z and end x, y, z as fractions of the volume box; the newest first.
  std::vector<std::array<double, 6>> rulers;
  int selectedRuler = 0;

  // The state of a left drag in the main view (from the press to the release).
  bool isDrawingStroke() const { return m_strokeFlag; }
  bool isDraggingSlice() const { return m_sliceDragFlag; }
  bool isDraggingRuler() const { return m_rulerDragFlag; }
  int pickedPlane() const { return m_pickedPlane; }
  const TPoints& cutStroke() const { return m_cutStroke; }

  StateVisStd(const StateVisStd&) = delete;
  StateVisStd& operator=(const StateVisStd&) = delete;

 private:
  StateVisStd();
  ~StateVisStd() override;

  bool m_strokeFlag = false;
  bool m_sliceDragFlag = false;
  bool m_rulerDragFlag = false;
  TPoints m_cutStroke;
  int m_pickedPlane = 0;

  QPointer<TDlgVisStd> m_rulerPanel;
  QPointer<TDlgMaskManip> m_regionPanel;
};

// A cylinder without caps from a to b (six sides), lighting off, in the given colour.
void t_drawCylinder(const double a[3], const double b[3], const double colour[3], double r);
