// The pitch fields of the rendering panel.
#include <QLineEdit>
#include <QSpinBox>
#include <cmath>
#include <string>

#include "ui/edit_sync.h"
#include "view/TDlgVisParam.h"

int t_pitchToSpinPos(double value, int minimum, int maximum) {
  if (std::isnan(value)) return minimum;
  double scaled = std::trunc(value * 1000.0);
  if (scaled < minimum) return minimum;
  if (scaled > maximum) return maximum;
  return int(scaled);
}

bool t_pitchKeepsValue(double value, int spinPos) {
  if (!std::isfinite(value) || value <= 0) return false;
  double scaled = std::trunc(value * 1000.0);
  return scaled == double(spinPos);
}

bool t_syncPitchEdit(QLineEdit* edit, QSpinBox* spin, double* typed) {
  std::string text = edit->text().left(1024).toStdString();
  double value = 0;
  bool whole = t_parseWholeNumber(text.c_str(), value) && !std::isnan(value);
  t_syncEditToSpin3(edit, spin);
  // The typed value is kept when the field still shows it as typed.
  bool kept = whole && edit->text().toStdString() == text && t_pitchKeepsValue(value, spin->value());
  if (kept && typed) *typed = value;
  return kept;
}
