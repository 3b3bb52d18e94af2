#pragma once
// The interface of an interaction mode.
//
// The main view and the three slice panes do not interpret input themselves: they ask TCore for
// the current mode and call one of the operations below, then redraw.  Every mode (visualisation,
// segmentation, refinement) derives from TModeState.  The virtual operations keep this order
// (slot numbers in the comments); modes override what they need.
//
// Conventions (the header includes no Qt or GL so that plain code and tests can use it):
// - Points (TPoint2i) are client coordinates, in pixels, of the window that got the event: the
//   main view for slots 2-16, the slice pane for slots 17-31.
// - `flags` of mouse events hold the button and key state at the time of the event as the
//   TModeState::MK_* bits below.  The views build them from Qt's modifiers and buttons.
// - `key` of key events is the Qt::Key value (letters and digits are their upper-case ASCII
//   codes); `repeatCount` is 1 for a fresh press; `flags` holds the MK_* key bits.
// - The wheel delta is Qt's angleDelta().y(): 120 per notch, positive away from the user.
// - A pane is passed as an opaque TSubPane pointer; the view layer owns the class.
// - OnSetCursor returns a cursor index 0..9 that the main view maps to its cursors.
#include <cstdint>

class TSubPane;

struct TPoint2i {
  int x = 0;
  int y = 0;
  TPoint2i() = default;
  TPoint2i(int x_, int y_) : x(x_), y(y_) {}
  bool operator==(const TPoint2i& o) const { return x == o.x && y == o.y; }
  bool operator!=(const TPoint2i& o) const { return !(*this == o); }
};

class TModeState {
 public:
  // Bits of the `flags` argument (the values of the usual mouse-message flags).
  enum : unsigned {
    MK_LBUTTON = 0x0001,
    MK_RBUTTON = 0x0002,
    MK_SHIFT = 0x0004,
    MK_CONTROL = 0x0008,
    MK_MBUTTON = 0x0010,
    MK_ALT = 0x0020,
  };

  TModeState();
  virtual ~TModeState();                                       // slot 0

  virtual void OnSwitched(int modeId) = 0;                     // slot 1

  // Main view.  The defaults drag the main view's camera.
  virtual void OnLBtnDown(const TPoint2i& p);                  // slot 2
  virtual void OnRBtnDown(const TPoint2i& p);                  // slot 3
  virtual void OnMBtnDown(const TPoint2i& p);                  // slot 4
  virtual void OnLBtnUp(const TPoint2i& p);                    // slot 5
  virtual void OnRBtnUp(const TPoint2i& p);                    // slot 6
  virtual void OnMBtnUp(const TPoint2i& p);                    // slot 7
  virtual void OnLBtnDclk(const TPoint2i& p) {}                // slot 8
  virtual void OnRBtnDclk(const TPoint2i& p) {}                // slot 9
  virtual void OnMBtnDclk(const TPoint2i& p) {}                // slot 10
  virtual void OnMouseMove(const TPoint2i& p);                 // slot 11
  virtual void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) = 0;      // slot 12
  virtual void OnKeyDown(int key, int repeatCount, unsigned flags) = 0;            // slot 13
  virtual void OnKeyUp(int key, int repeatCount, unsigned flags) = 0;              // slot 14
  virtual void OnDraw() = 0;                                   // slot 15
  virtual int OnSetCursor(const TPoint2i& p);                  // slot 16

  // Slice panes.  The defaults pan, zoom, drag slice lines and step slices.
  virtual void OnLBtnDclk2D(TSubPane* pane, const TPoint2i& p) {}                  // slot 17
  virtual void OnRBtnDclk2D(TSubPane* pane, const TPoint2i& p) {}                  // slot 18
  virtual void OnMBtnDclk2D(TSubPane* pane, const TPoint2i& p) {}                  // slot 19
  virtual void OnLBtnDown2D(TSubPane* pane, const TPoint2i& p);                    // slot 20
  virtual void OnRBtnDown2D(TSubPane* pane, const TPoint2i& p);                    // slot 21
  virtual void OnMBtnDown2D(TSubPane* pane, const TPoint2i& p);                    // slot 22
  virtual void OnLBtnUp2D(TSubPane* pane, const TPoint2i& p);                      // slot 23
  virtual void OnRBtnUp2D(TSubPane* pane, const TPoint2i& p);                      // slot 24
  virtual void OnMBtnUp2D(TSubPane* pane, const TPoint2i& p);                      // slot 25
  virtual void OnMouseMove2D(TSubPane* pane, const TPoint2i& p);                   // slot 26
  virtual void OnMouseWheel2D(TSubPane* pane, unsigned flags, int delta, const TPoint2i& p);  // 27
  virtual void OnKeyDown2D(TSubPane* pane, int key, int repeatCount, unsigned flags) {}  // 28
  virtual void OnKeyUp2D(TSubPane* pane, int key, int repeatCount, unsigned flags) {}    // 29
  virtual void OnDraw2D(TSubPane* pane) {}                                         // slot 30
  virtual int OnSetCursor2D(TSubPane* pane, const TPoint2i& p) { return 0; }       // slot 31

  // Not an input event: TCore::setMode hides every mode's panels before a switch.  Modes with
  // panels override it.
  virtual void hidePanels() {}
  // Stops and joins the mode's worker threads (exit: no worker may outlive the data it reads).
  virtual void stopWorkers() {}
  // While a worker of the mode runs on the loaded data: the text that refuses a load (or any
  // other change of the data under it); nullptr when the mode is idle.
  virtual const char* busyMessage() const { return nullptr; }
  // While the mode holds state derived from the volume's geometry (a mesh built from the extent
  // at entry): the text that refuses a change of the pitch, and so of the extent, under it;
  // nullptr otherwise.  Leaving the mode (every switch hides its panels) drops that state.
  virtual const char* geometryBusyMessage() const { return nullptr; }

  // Asks which mask regions a segmentation may work on (pick-many mask-ID chooser) and writes
  // valueInside into the working flag volume on their voxels, valueOutside elsewhere.  False when
  // the user cancelled (the flag volume is then unchanged).
  bool selectTargetRegions(std::uint8_t valueOutside, std::uint8_t valueInside);
  // Stores the voxels flagged 255 in the mask under an id the user picks (pick-one chooser).
  // False when there is nothing to store, on cancel, or when the id is invalid or in use.
  bool selectIdForRegion();

 protected:
  bool lBtnHeld = false;
  bool rBtnHeld = false;
  bool mBtnHeld = false;
  int paneId = 0;          // plane id (0 XY, 1 YZ, 2 ZX) of the pane where a pane drag began
  bool panePanning = false;
  bool paneZooming = false;
  int pickedLine = 0;      // 0 none, 1 first slice line, 2 second, 3 their crossing
  TPoint2i pressPoint;
  TPoint2i prevPoint;

 public:
  // Read access for the views and tests.
  bool isLBtnHeld() const { return lBtnHeld; }
  bool isRBtnHeld() const { return rBtnHeld; }
  bool isMBtnHeld() const { return mBtnHeld; }
  bool isPanePanning() const { return panePanning; }
  bool isPaneZooming() const { return paneZooming; }
  int getPickedLine() const { return pickedLine; }
  int getPaneId() const { return paneId; }
};

// What a mode needs of a panel: shown and hidden (the main frame lays the shown ones out).  The Qt panels
// implement it (ui/TModePanel.h); tests fake it, so a mode's logic runs without a window system.
class TModePanelIf {
 public:
  virtual ~TModePanelIf() = default;
  virtual void showPanel() = 0;
  virtual void hidePanel() = 0;
};

// A mode with one panel, seen through the panel interface PanelIf (TModePanelIf or a mode's own
// interface derived from it).  The panel is attached after the application object exists and
// detached before it goes; without one the mode works all the same.  Input the mode does not
// handle is ignored.
template <class PanelIf = TModePanelIf>
class TPanelMode : public TModeState {
 public:
  void hidePanels() override {
    if (m_panel) m_panel->hidePanel();
  }
  void attachPanel(PanelIf* panel) { m_panel = panel; }
  PanelIf* panel() const { return m_panel; }

  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}

 protected:
  void showPanel() {
    if (m_panel) m_panel->showPanel();
  }
  PanelIf* m_panel = nullptr;
};
