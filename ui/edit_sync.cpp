#include "ui/edit_sync.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// int(value x scale) truncated, kept inside int so that a huge number clamps instead of
// overflowing (the control then clamps to its own range).
int scaledPosition(double value, double scale) {
  const double v = std::trunc(value * scale);
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

std::string editText(QLineEdit* edit) {
  std::string t = edit->text().toUtf8().toStdString();
  if (t.size() > 1024) t.resize(1024);
  return t;
}

template <class Control>
void syncEdit(QLineEdit* edit, Control* control, double scale, const char* format, bool integer = false) {
  if (!edit || !control) return;
  double value = 0;
  const bool whole = t_parseWholeNumber(editText(edit).c_str(), value);
  if (whole) {
    const int pos = scaledPosition(value, scale);
    {
      const QSignalBlocker block(control);
      control->setValue(pos);
    }
    if (control->value() == pos) return;
  }
  char buf[64];
  if (integer)
    std::snprintf(buf, sizeof buf, format, control->value());
  else
    std::snprintf(buf, sizeof buf, format, control->value() / scale);
  edit->setText(QString::fromLatin1(buf));
}

}  // namespace

bool t_parseWholeNumber(const char* text, double& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0') return false;
  value = v;
  return true;
}

void t_syncEditToSpin1(QLineEdit* edit, QSpinBox* spin) { syncEdit(edit, spin, 10.0, "%.1f"); }

void t_syncEditToSpin2(QLineEdit* edit, QSpinBox* spin) { syncEdit(edit, spin, 100.0, "%.2f"); }

void t_syncEditToSpin3(QLineEdit* edit, QSpinBox* spin) { syncEdit(edit, spin, 1000.0, "%.3f"); }

void t_syncEditToSpinInt(QLineEdit* edit, QSpinBox* spin) { syncEdit(edit, spin, 1.0, "%d", true); }

void t_syncEditToSlider1(QLineEdit* edit, QSlider* slider) { syncEdit(edit, slider, 10.0, "%.1f"); }
