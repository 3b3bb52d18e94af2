#pragma once
// What the default behaviours of TModeState need of the views: the main view's camera drags,
// the slice panes, the renderer's slice positions and the redraw helpers.  The view layer
// installs an implementation when the main view exists; without one (no window, tests) the
// defaults only keep their own state.
#include <array>
#include <functional>
#include <string>
#include <vector>

class TSubPane;
struct TPoint2i;

struct TModeRay {
  double org[3] = {0, 0, 0};
  double dir[3] = {0, 0, 1};
};

class TModeViewHost {
 public:
  virtual ~TModeViewHost() = default;

  // Main view camera (TOGL): button down picks the drag by border zone and captures the mouse.
  virtual void camBtnDownTranslate(const TPoint2i& p) = 0;
  virtual void camBtnDownRotate(const TPoint2i& p) = 0;
  // Previous mouse point := p, drag mode := zoom, capture the mouse.
  virtual void camBtnDownZoom(const TPoint2i& p) = 0;
  virtual void camMouseMove(const TPoint2i& p) = 0;
  // Drag mode := none; releases the mouse capture if the main view holds it.
  virtual void camBtnUp() = 0;
  // The renderer's "a drag is in progress" flag.
  virtual void setButtonHeld(bool held) = 0;
  virtual void mainViewSize(int& width, int& height) = 0;
  virtual void redrawMainView() = 0;
  virtual void redrawAll() = 0;

  // Slice panes.
  virtual int panePlaneId(TSubPane* pane) = 0;
  virtual TModeRay paneCursorRay(TSubPane* pane, const TPoint2i& p) = 0;
  // 0 none, 1 first line, 2 second, 3 crossing.
  virtual int pickSliceLineInPane(int planeId, const TModeRay& ray, double tolerance) = 0;
  virtual void panePanByMouse(TSubPane* pane, const TPoint2i& prev, const TPoint2i& p) = 0;
  // Zooms the XY, YZ and ZX panes by the same factor.
  virtual void zoomAllPanes(double factor) = 0;
  virtual void redrawAllPanes() = 0;

  // Renderer: the volume box extent and the slice positions (fractions of the box along x, y, z).
  virtual void volumeExtent(double extent[3]) = 0;
  virtual void getSlicePositions(double s[3]) = 0;
  virtual void setSlicePositions(const double s[3]) = 0;
  virtual void updateSlices() = 0;
  // Volume dimensions (1 each when no volume data is present).
  virtual void volumeSize(int& W, int& H, int& D) = 0;
  // Hides the three slice panes (modes that work in the main view only), or shows them again.
  virtual void hideSlicePanes() {}
  virtual void showSlicePanes() {}
  // The space bar is held in one of our windows (rulers hidden, cut surface unclipped).
  virtual bool spaceKeyHeld() { return false; }

  // ---- what the segmentation modes use of the main view (the defaults pick and draw nothing) ----
  // The Shift, Ctrl and Alt keys (TModeState::MK_SHIFT, MK_CONTROL, MK_ALT) as the latest input
  // event of our windows had them.
  virtual unsigned keyState() { return 0; }
  // The ray under a main-view point (origin at window depth 0, unit direction); false without a
  // main view.
  virtual bool mainCursorRay(const TPoint2i& p, TModeRay& ray) { return false; }
  // The world point under a main-view point at a window depth (0 near, 1 far).
  virtual bool mainUnProject(const TPoint2i& p, double depth, double out[3]) { return false; }
  // The nearest point under the cursor on a shown slice plane or the cut surface, in box units.
  virtual bool pickPointOnSlices(const TPoint2i& p, double pos[3]) { return false; }
  // The slice-plane handle under the cursor (0 XY, 1 YZ, 2 ZX), and its drag.
  virtual bool pickSlicePlane(const TPoint2i& p, int& plane) { return false; }
  // The slice plane (0 XY, 1 YZ, 2 ZX) is shown: the rendering panel is ready and its box for
  // the plane is checked.
  virtual bool isSlicePlaneShown(int plane) { return false; }
  virtual void dragSlicePlane(const TPoint2i& p, int plane) {}
  // Steps the slice under the cursor by one voxel per wheel notch; false when none was hit.
  virtual bool stepSliceByWheel(const TPoint2i& p, int delta) { return false; }
  // The renderer's cut surface: built from a stroke of world points (the renderer needs at least
  // kCutStrokeMinPoints of them), or emptied.
  static constexpr int kCutStrokeMinPoints = 6;
  virtual void genCutSurfaceFromStroke(std::vector<std::array<double, 3>>& stroke) {}
  virtual void clearCutSurface() {}
  // A note in the main frame's status bar (what a gesture did not do, and why).
  virtual void showStatusText(const std::string& text) {}
  // The rendering panel's controls for a mode: volume mode, slice controls enabled, the three
  // slice-plane check boxes and the exclusive flag.
  virtual void setRenderingPanelMode(int volumeMode, bool planes, bool xy, bool yz, bool zx,
                                     bool exclusive) {}
  // Runs fn later on the interface thread; callable from any thread.  False when there is no
  // interface thread to run it (then the caller does its work synchronously).
  virtual bool postToInterface(std::function<void()> fn) { return false; }
};

void t_setModeViewHost(TModeViewHost* host);
TModeViewHost* t_modeViewHost();
