#pragma once
// The organ cross-section mode (mode id 4): surgical planning around a tumour.  At entry the user
// names the organ, its highlighted part, the vessels and the tumour by mask ids; the mode builds
// twelve surfaces from them (the whole organ, the organ cut 1-5 mm around the tumour, a
// deformable cut, the highlighted interior, the vessels and the tumour) and shows the ones the
// panel's boxes pick, lit or textured with the volume, over the volume drawn with the 2-D transfer
// function.  Ctrl + left drag draws a cut surface, Shift + left drag sculpts the deformable cut
// with a brush (Shift + wheel: its size), other drags move the camera.  The slice panes are
// hidden while the mode is on.
#include <QPointer>
#include <array>
#include <vector>

#include "core/TModeState.h"
#include "geom/ClipSurface.h"
#include "geom/vec3.h"
#include "modes/vis/TDlgVisOrgCrs.h"
#include "modes/vis/organ_sections.h"

class StateVisOrgCrs : public TModeState {
 public:
  static StateVisOrgCrs& getInst();

  void OnSwitched(int modeId) override;
  void OnLBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;
  void hidePanels() override;
  // While the surfaces are built every load, drop and switch is refused with this text.
  const char* busyMessage() const override { return m_building ? kBusyMessage : nullptr; }
  static const char* const kBusyMessage;
  static const char* const kNoMemoryMessage;

  // The panel: made once the application object exists, deleted at exit.
  void createPanels();
  void destroyPanels();
  TDlgVisOrgCrs* panel() const { return m_panel.data(); }

  // "初期化": the deformable cut becomes a copy of cut 3.
  void resetDeformableCut();
  // One brush step under a main-view point on the deformable cut.
  void pickSurfacePatch(const TPoint2i& p);

  const std::array<ClipSurface, kOrgSurfaceCount>& surfaces() const { return m_surfaces; }
  const TOrganIds& ids() const { return m_ids; }
  double brushStrength() const { return m_brushStrength; }
  bool isBrushing() const { return m_brushFlag; }
  // The display boxes as the panel shows them (the entry state without a panel).
  TOrgCrsDisplay display() const;

  StateVisOrgCrs(const StateVisOrgCrs&) = delete;
  StateVisOrgCrs& operator=(const StateVisOrgCrs&) = delete;

 private:
  StateVisOrgCrs();
  ~StateVisOrgCrs() override;
  // Builds the surfaces on a worker from its own copy of the mask while the window keeps
  // painting with input held off; the surfaces are replaced only when the build is Done.
  TOrganBuild buildSurfaces(const TOrganSurfaceJob& job);
  bool brushShown() const;

  QPointer<TDlgVisOrgCrs> m_panel;
  TOrganIds m_ids;
  std::array<ClipSurface, kOrgSurfaceCount> m_surfaces;
  bool m_strokeFlag = false;
  TPoints m_stroke;
  bool m_brushFlag = false;
  TPoint2i m_lastPoint;
  double m_brushStrength = 0.0008;
  bool m_building = false;
};
