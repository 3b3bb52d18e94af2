#pragma once
// Edit and control pairs of the panels (TEditPair, below): the number typed into an edit moves
// its control, and when editing ends the edit is rewritten from the control where the text is not
// a whole number or the control clamped it.  The position is the decimal number as typed times
// 10^decimals, truncated toward zero ("1.001" gives 1001 thousandths, not the 1000 of its binary
// rounding); an empty edit counts as 0.  The text is read in the C numeric locale (a dot is the
// decimal separator), at most 1024 characters of it.
#include <QObject>

#include <functional>

class QLineEdit;
class QSpinBox;
class QSlider;

// Parses a whole decimal number (no trailing characters); exposed for tests and callers that
// only need the parse.
bool t_parseWholeNumber(const char* text, double& value);

// An edit bound to the control (spin or slider) that holds its value as an integer position,
// value x 10^decimals.  While the user types, a text that parses whole (as above; empty counts as
// 0) moves the control, clamped to its range and to limit, and the text stays as typed; a text
// that does not parse applies nothing.  When editing ends (Enter, or the focus leaving the edit)
// the text is applied once more and rewritten with the applied position unless it parsed whole
// and the control holds its truncated value, so "12.34" stays and "150" beyond the range shows the
// range's end.  The program's own setText on the edit is not typing: only the user's edits apply.
// The control's valueChanged is not emitted when the pair moves it; the owner hears of it through
// onTyped.  An owner whose callbacks use its members hides its window first in its destructor:
// an edit that loses the focus as the window goes ends its editing, and calls back.
// A paired spin serves as the edit's up-down arrows: the pair hides the spin's own text (the raw
// position) and narrows the spin to its buttons; its arrows, keys and wheel still step it.
class TEditPair : public QObject {
 public:
  TEditPair(QLineEdit* edit, QSpinBox* spin, int decimals);
  TEditPair(QLineEdit* edit, QSlider* slider, int decimals);

  void setDecimals(int decimals) { m_decimals = decimals; }
  // Edit := the control's position in the pair's format ("%d" for no decimals): the program
  // writing it, not typing.
  void showPosition();
  // The value of the text when it parses whole (an empty text gives 0).
  bool typedValue(double& value) const;

  // Asked at each keystroke, and when editing's end would move the control; false refuses it and
  // the edit shows the control's position again.  The owner may say why (a busy mode).
  std::function<bool()> gate;
  // Narrows the range a typed position is clamped to (the control's own range comes in).
  std::function<void(int& lo, int& hi)> limit;
  // After a text that parses whole was applied (moved: the control's position changed).
  std::function<void(bool moved)> onTyped;

 private:
  TEditPair(QLineEdit* edit, QSpinBox* spin, QSlider* slider, int decimals);
  enum class Applied { Parsed, NotParsed, Refused };
  // Moves the control to the text's position (pos: as parsed, before clamping); the gate is
  // asked before the control moves unless the caller asked it already.
  Applied apply(int& pos, bool gateAsked);
  void typed();
  void finished();
  int position() const;
  int minimum() const;
  int maximum() const;
  void setPosition(int pos);

  QLineEdit* m_edit;
  QSpinBox* m_spin;
  QSlider* m_slider;
  int m_decimals;
};
