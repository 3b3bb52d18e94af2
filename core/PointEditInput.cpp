#include "core/PointEditInput.h"

#include "core/ModeViewHost.h"
#include "core/mode_helpers.h"

namespace {
unsigned keys(TModeViewHost* h) { return h ? h->keyState() : 0u; }
}  // namespace

bool TPointEditInput::startKeyUse(TPointEditTarget& target, KeyUse use, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  const int idx = target.pointsEditable() ? target.pickPoint(p) : -1;
  double pos[3];
  switch (use) {
    case KeyUse::None:
      return false;
    case KeyUse::MoveOrAdd:
      if (idx >= 0) {
        target.grabPoint(idx);
        m_drag = Drag::MovePoint;
      } else if (h->pickPointOnSlices(p, pos)) {
        m_drag = target.placePoint(pos) ? Drag::MovePoint : Drag::AddPoints;
      }
      return true;
    case KeyUse::Erase:
      if (idx >= 0) target.erasePoint(idx);
      m_drag = Drag::Erase;
      return true;
    case KeyUse::EraseAtPress:
      if (idx >= 0) target.erasePoint(idx);
      return true;
  }
  return false;
}

void TPointEditInput::buttonDown(TPointEditTarget& target, const TPoint2i& p, bool left) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  h->setButtonHeld(true);
  if (m_drag == Drag::None) {
    const ButtonRules& r = m_rules[left ? 0 : 1];
    const unsigned k = keys(h);
    // Shift edits only editable points; Alt is taken even when there is nothing to erase.
    const bool shift = (k & TModeState::MK_SHIFT) && r.shift != KeyUse::None && target.pointsEditable();
    const bool alt = !shift && (k & TModeState::MK_ALT) && r.alt != KeyUse::None;
    double pos[3];
    if (shift) {
      startKeyUse(target, r.shift, p);
    } else if (alt) {
      startKeyUse(target, r.alt, p);
    } else if ((k & TModeState::MK_CONTROL) && r.ctrlStroke && left) {
      m_drag = Drag::Stroke;
      m_stroke.clear();
      if (h->mainUnProject(p, 0.01, pos)) m_stroke.emplace_back(pos[0], pos[1], pos[2]);
    } else if (h->pickSlicePlane(p, m_plane)) {
      m_drag = Drag::SlicePlane;
    } else {
      m_drag = Drag::Camera;
      if (left)
        h->camBtnDownTranslate(p);
      else
        h->camBtnDownRotate(p);
    }
  }
  h->redrawAll();
}

void TPointEditInput::mouseMove(TPointEditTarget& target, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  if (!h) return;
  double pos[3];
  switch (m_drag) {
    case Drag::Stroke:
      if (h->mainUnProject(p, 0.01, pos)) m_stroke.emplace_back(pos[0], pos[1], pos[2]);
      break;
    case Drag::SlicePlane:
      h->dragSlicePlane(p, m_plane);
      break;
    case Drag::MovePoint:
      target.moveGrabbedPoint(h->pickPointOnSlices(p, pos) ? pos : nullptr);
      break;
    case Drag::AddPoints:
      if (h->pickPointOnSlices(p, pos)) target.addPointOnDrag(pos);
      break;
    case Drag::Erase: {
      const int idx = target.pickPoint(p);
      if (idx >= 0) target.erasePoint(idx);
      break;
    }
    case Drag::None:
    case Drag::Camera:
      // A camera drag, or the zoom of the middle button.
      h->camMouseMove(p);
      break;
  }
  h->redrawAll();
}

void TPointEditInput::buttonUp(TPointEditTarget& target, bool left) {
  if (left && m_drag == Drag::Stroke) t_modeCutSurfaceFromStroke(m_stroke);
  if (left && m_drag == Drag::MovePoint) target.pointDragEnded();
  m_drag = Drag::None;
  t_modeEndViewDrag();
}

int TPointEditInput::cursor(TPointEditTarget& target, const TPoint2i& p) const {
  TModeViewHost* h = t_modeViewHost();
  const unsigned k = keys(h);
  if (k & TModeState::MK_SHIFT) return target.pickPoint(p) >= 0 ? 8 : 5;
  if (k & TModeState::MK_CONTROL) return 4;
  if (k & TModeState::MK_ALT) return 9;
  int plane = 0;
  if (h && h->pickSlicePlane(p, plane)) return 6;
  return -1;
}
