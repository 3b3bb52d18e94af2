#pragma once
// The main-view mouse dispatch of the modes that edit points on the slice planes (region growing,
// seeded growing, graph cut, curved cylinders).  A button press picks one drag by the keys held:
// with Shift the mode's points are moved or added, with Alt erased, with Ctrl (left button) a cut
// stroke is drawn; otherwise the press drags the slice plane under the cursor or the camera.  Each
// mode says what Shift and Alt do with each button and does the point work itself through
// TPointEditTarget; the dispatch, the drags, the cut stroke and the redraws are here.
//
// Every move of a drag takes its point and asks for a coalesced redraw: nothing waits for a frame.
#include "core/ModeViewHost.h"
#include "core/TModeState.h"
#include "core/mode_helpers.h"
#include "geom/vec3.h"

// The points a mode edits.
class TPointEditTarget {
 public:
  virtual ~TPointEditTarget() = default;
  // Points can be edited now.  When they cannot, Shift does what no key does and Alt erases
  // nothing.
  virtual bool pointsEditable() const { return true; }
  // The point under a main-view point; -1 for none.
  virtual int pickPoint(const TPoint2i& p) = 0;
  virtual void erasePoint(int index) = 0;
  // A Shift press on point `index`: it follows the cursor until the button is let go.
  virtual void grabPoint(int index) = 0;
  // A Shift press on the slice planes (or the cut surface) away from every point, at pos: true
  // when the mode placed a point there and grabbed it, false when the drag adds points instead.
  virtual bool placePoint(const double pos[3]) = 0;
  // A move of an adding drag, at the cursor's point on the slice planes.
  virtual void addPointOnDrag(const double pos[3]) {}
  // A move of a grabbed point's drag: the cursor's point on the slice planes, nullptr off them.
  virtual void moveGrabbedPoint(const double* pos) = 0;
  // The left button let go of a grabbed point.
  virtual void pointDragEnded() {}
};

class TPointEditInput {
 public:
  // What a key does with a button.
  enum class KeyUse {
    None,          // nothing: the press goes on to the next key
    MoveOrAdd,     // grab the point under the cursor, else place or add points on the slices
    Erase,         // erase the point under the cursor, and those the drag passes over
    EraseAtPress,  // erase the point under the cursor only
  };
  struct ButtonRules {
    KeyUse shift = KeyUse::None;
    KeyUse alt = KeyUse::None;
    bool ctrlStroke = false;  // Ctrl draws a cut stroke
  };
  enum class Drag { None, Stroke, SlicePlane, MovePoint, AddPoints, Erase, Camera };

  TPointEditInput(ButtonRules left, ButtonRules right) : m_rules{left, right} {}

  // A press of the left or right button in the main view.  A press while another drag runs
  // only starts nothing new.
  void buttonDown(TPointEditTarget& target, const TPoint2i& p, bool left);
  // A move while a button is held: the running drag takes the point.
  void mouseMove(TPointEditTarget& target, const TPoint2i& p);
  // A release: a cut stroke drawn with the left button becomes the cut surface (a stroke too
  // short for one says so in the status bar); every drag ends.
  void buttonUp(TPointEditTarget& target, bool left);
  // The cursor the mode shows: 8 over a point and 5 elsewhere with Shift, 4 with Ctrl, 9 with
  // Alt, 6 over a slice-plane handle; -1 elsewhere (the default zones).
  int cursor(TPointEditTarget& target, const TPoint2i& p) const;

  // No drag (entering the mode); the stroke stays.
  void reset() { m_drag = Drag::None; }
  void clearStroke() { m_stroke.clear(); }

  Drag drag() const { return m_drag; }
  const TPoints& stroke() const { return m_stroke; }

 private:
  bool startKeyUse(TPointEditTarget& target, KeyUse use, const TPoint2i& p);

  ButtonRules m_rules[2];  // left, right
  Drag m_drag = Drag::None;
  int m_plane = 0;  // the slice plane a plane drag moves
  TPoints m_stroke;
};

// A mode with one panel whose main-view mouse is the point-editing dispatch: the left and right
// buttons go through m_input, the middle button zooms the camera, the wheel steps a slice and the
// cursor follows the keys.
// The mode implements TPointEditTarget and passes the rules of its buttons.
template <class PanelIf>
class TPointEditMode : public TPanelMode<PanelIf>, protected TPointEditTarget {
 public:
  void OnLBtnDown(const TPoint2i& p) override {
    this->lBtnHeld = true;
    m_input.buttonDown(*this, p, true);
  }
  void OnRBtnDown(const TPoint2i& p) override {
    this->rBtnHeld = true;
    m_input.buttonDown(*this, p, false);
  }
  void OnMBtnDown(const TPoint2i& p) override {
    TModeState::OnMBtnDown(p);  // zooming; the planes and panes follow
    if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
  }
  void OnMouseMove(const TPoint2i& p) override {
    if (this->lBtnHeld || this->rBtnHeld || this->mBtnHeld) m_input.mouseMove(*this, p);
  }
  void OnLBtnUp(const TPoint2i&) override {
    this->lBtnHeld = false;
    m_input.buttonUp(*this, true);
  }
  void OnRBtnUp(const TPoint2i&) override {
    this->rBtnHeld = false;
    m_input.buttonUp(*this, false);
  }
  int OnSetCursor(const TPoint2i& p) override {
    const int c = m_input.cursor(*this, p);
    return c >= 0 ? c : TModeState::OnSetCursor(p);
  }
  void OnMouseWheel(unsigned, int delta, const TPoint2i& p) override { t_modeWheelStepsSlice(delta, p); }

 protected:
  TPointEditMode(TPointEditInput::ButtonRules left, TPointEditInput::ButtonRules right) : m_input(left, right) {}

  TPointEditInput m_input;
};
