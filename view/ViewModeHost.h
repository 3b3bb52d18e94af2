#pragma once
// Connects the layers below the views to the main view: the default camera behaviour of the modes
// (TModeViewHost) and the rendering panel's calls into the renderer (TDlgVisParam::ViewHooks).
// The main view installs both when it is built and removes them when it goes.
#include "core/ModeViewHost.h"

class TViewModeHost : public TModeViewHost {
 public:
  void camBtnDownTranslate(const TPoint2i& p) override;
  void camBtnDownRotate(const TPoint2i& p) override;
  void camBtnDownZoom(const TPoint2i& p) override;
  void camMouseMove(const TPoint2i& p) override;
  void camBtnUp() override;
  void setButtonHeld(bool held) override;
  void mainViewSize(int& width, int& height) override;
  void redrawMainView() override;
  void redrawAll() override;

  int panePlaneId(TSubPane* pane) override;
  TModeRay paneCursorRay(TSubPane* pane, const TPoint2i& p) override;
  int pickSliceLineInPane(int planeId, const TModeRay& ray, double tolerance) override;
  void panePanByMouse(TSubPane* pane, const TPoint2i& prev, const TPoint2i& p) override;
  void zoomAllPanes(double factor) override;
  void redrawAllPanes() override;
  void hideSlicePanes() override;
  void showSlicePanes() override;
  bool spaceKeyHeld() override;

  void volumeExtent(double extent[3]) override;
  void getSlicePositions(double s[3]) override;
  void setSlicePositions(const double s[3]) override;
  void updateSlices() override;
  void volumeSize(int& W, int& H, int& D) override;

  // Picking, the cut surface and the rendering panel for the segmentation modes.
  unsigned keyState() override;
  bool mainCursorRay(const TPoint2i& p, TModeRay& ray) override;
  bool mainUnProject(const TPoint2i& p, double depth, double out[3]) override;
  bool pickPointOnSlices(const TPoint2i& p, double pos[3]) override;
  bool pickSlicePlane(const TPoint2i& p, int& plane) override;
  bool isSlicePlaneShown(int plane) override;
  void dragSlicePlane(const TPoint2i& p, int plane) override;
  bool stepSliceByWheel(const TPoint2i& p, int delta) override;
  void genCutSurfaceFromStroke(std::vector<std::array<double, 3>>& stroke) override;
  void clearCutSurface() override;
  void showStatusText(const std::string& text) override;
  void setRenderingPanelMode(int volumeMode, bool planes, bool xy, bool yz, bool zx, bool exclusive) override;
  bool postToInterface(std::function<void()> fn) override;
};

void t_installViewHooks();
void t_uninstallViewHooks();
