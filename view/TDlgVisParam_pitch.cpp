// The pitch fields of the rendering panel.
#include <cmath>

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
