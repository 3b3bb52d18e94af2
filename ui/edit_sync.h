#pragma once
// Edit and control pairs of the panels: the number typed into an edit moves its control, and the
// edit is rewritten from the control when the text is not a whole number or the control clamped it.
// The position is the decimal number as typed times the scale, truncated toward zero ("1.001"
// gives 1001 thousandths, not the 1000 of its binary rounding); an empty edit counts as 0.
//
// t_syncEditToSpin3: control position = value x 1000, edit text "%.3f" of position x 0.001.
// t_syncEditToSlider1: control position = value x 10, edit text "%.1f" of position x 0.1.
// The text is read in the C numeric locale (a dot is the decimal separator), at most 1024
// characters of it.  Moving the control does not emit its valueChanged signal, as when the
// program sets a control's position itself; rewriting the edit emits textChanged as usual (callers
// that react to it keep their "updating" flag).
class QLineEdit;
class QSpinBox;
class QSlider;

void t_syncEditToSpin1(QLineEdit* edit, QSpinBox* spin);    // x 10, "%.1f"
void t_syncEditToSpin2(QLineEdit* edit, QSpinBox* spin);    // x 100, "%.2f"
void t_syncEditToSpin3(QLineEdit* edit, QSpinBox* spin);    // x 1000, "%.3f"
void t_syncEditToSpinInt(QLineEdit* edit, QSpinBox* spin);  // x 1, "%d"
void t_syncEditToSlider1(QLineEdit* edit, QSlider* slider);

// Parses a whole decimal number (no trailing characters); exposed for tests and callers that
// only need the parse.
bool t_parseWholeNumber(const char* text, double& value);
