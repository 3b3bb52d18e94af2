#include "ui/edit_sync.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSpinBox>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int clampToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

// The typed decimal number times 10^shift, truncated toward zero, worked out on the digits the
// user typed rather than on the nearest double ("1.001" x 1000 is 1000.9999... as a double and
// would lose a thousandth).  Kept inside int, so that a huge number clamps instead of overflowing
// (the control then clamps to its own range).  False when the text is not a plain decimal
// number ([sign] digits [. digits] [e [sign] digits], blanks before it): hexadecimal, "inf" and
// "nan" are left to the floating-point route.
bool truncatedDecimal(const char* text, int shift, int& out) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  std::string digits;
  long long point = -1;  // digits before the decimal point
  for (;; ++p) {
    if (std::isdigit(static_cast<unsigned char>(*p))) {
      digits += *p;
    } else if (*p == '.' && point < 0) {
      point = static_cast<long long>(digits.size());
    } else {
      break;
    }
  }
  if (digits.empty()) return false;
  if (point < 0) point = static_cast<long long>(digits.size());
  long long exponent = 0;
  if (*p == 'e' || *p == 'E') {
    ++p;
    bool negExp = false;
    if (*p == '+' || *p == '-') negExp = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
      if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
    if (negExp) exponent = -exponent;
  }
  if (*p != '\0') return false;
  // Leading zeros carry nothing (and would keep a long exponent's loop going).
  size_t zeros = 0;
  while (zeros < digits.size() && digits[zeros] == '0') ++zeros;
  digits.erase(0, zeros);
  point -= static_cast<long long>(zeros);
  if (digits.empty()) {
    out = 0;
    return true;
  }
  // The integer part after moving the point by exponent + shift places.
  const long long intDigits = point + exponent + shift;
  long long magnitude = 0;
  bool huge = false;
  for (long long i = 0; i < intDigits && !huge; ++i) {
    const int d = i < static_cast<long long>(digits.size()) ? digits[size_t(i)] - '0' : 0;
    magnitude = magnitude * 10 + d;
    huge = magnitude > static_cast<long long>(INT_MAX) + 1;
  }
  if (huge) {
    out = negative ? INT_MIN : INT_MAX;
  } else {
    const long long v = negative ? -magnitude : magnitude;
    out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
  }
  return true;
}

// The control position of a whole-number text; empty text counts as 0.
bool scaledPosition(const std::string& text, int shift, int& pos) {
  if (text.empty()) {
    pos = 0;
    return true;
  }
  double value = 0;
  if (!t_parseWholeNumber(text.c_str(), value)) return false;
  if (!truncatedDecimal(text.c_str(), shift, pos)) pos = clampToInt(std::trunc(value * std::pow(10.0, shift)));
  return true;
}

std::string editText(QLineEdit* edit) {
  std::string t = edit->text().toUtf8().toStdString();
  if (t.size() > 1024) t.resize(1024);
  return t;
}

std::string positionText(int pos, int shift) {
  char buf[64];
  if (shift <= 0)
    std::snprintf(buf, sizeof buf, "%d", pos);
  else
    std::snprintf(buf, sizeof buf, "%.*f", shift, pos / std::pow(10.0, shift));
  return buf;
}

// Hides the spin's text field and narrows the spin to what its style draws besides that field:
// the frame and the buttons.  The field only hands the keys to the spin, which steps on the
// arrow keys and the wheel itself.
void showArrowsOnly(QSpinBox* spin) {
  if (auto* text = spin->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)) text->hide();
  QStyleOptionSpinBox opt;
  opt.initFrom(spin);
  opt.rect = QRect(QPoint(0, 0), spin->sizeHint());
  opt.frame = spin->hasFrame();
  opt.buttonSymbols = spin->buttonSymbols();
  opt.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
  const QRect field = spin->style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxEditField, spin);
  spin->setFixedWidth(opt.rect.width() - field.width());
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

// ---- TEditPair --------------------------------------------------------------------------------

TEditPair::TEditPair(QLineEdit* edit, QSpinBox* spin, int decimals) : TEditPair(edit, spin, nullptr, decimals) {
  showArrowsOnly(spin);
}

TEditPair::TEditPair(QLineEdit* edit, QSlider* slider, int decimals)
    : TEditPair(edit, nullptr, slider, decimals) {}

TEditPair::TEditPair(QLineEdit* edit, QSpinBox* spin, QSlider* slider, int decimals)
    : QObject(edit), m_edit(edit), m_spin(spin), m_slider(slider), m_decimals(decimals) {
  // textEdited comes from the user's keys (and cut, paste, undo) only, not from setText.
  connect(edit, &QLineEdit::textEdited, this, [this] { typed(); });
  connect(edit, &QLineEdit::editingFinished, this, [this] { finished(); });
}

int TEditPair::position() const { return m_spin ? m_spin->value() : m_slider->value(); }
int TEditPair::minimum() const { return m_spin ? m_spin->minimum() : m_slider->minimum(); }
int TEditPair::maximum() const { return m_spin ? m_spin->maximum() : m_slider->maximum(); }

void TEditPair::setPosition(int pos) {
  if (m_spin) {
    const QSignalBlocker block(m_spin);
    m_spin->setValue(pos);
  } else {
    const QSignalBlocker block(m_slider);
    m_slider->setValue(pos);
  }
}

void TEditPair::showPosition() { m_edit->setText(QString::fromStdString(positionText(position(), m_decimals))); }

bool TEditPair::typedValue(double& value) const {
  const std::string t = editText(m_edit);
  if (t.empty()) {
    value = 0;
    return true;
  }
  return t_parseWholeNumber(t.c_str(), value);
}

TEditPair::Applied TEditPair::apply(int& pos, bool gateAsked) {
  if (!scaledPosition(editText(m_edit), m_decimals, pos)) return Applied::NotParsed;
  int lo = minimum(), hi = maximum();
  if (limit) limit(lo, hi);
  const int target = std::clamp(pos, lo, std::max(lo, hi));
  if (target == position()) return Applied::Parsed;
  if (!gateAsked && gate && !gate()) return Applied::Refused;
  setPosition(target);
  return Applied::Parsed;
}

void TEditPair::typed() {
  // Every keystroke asks: a refused one is undone at once, whether it parses or not.
  if (gate && !gate()) {
    showPosition();
    return;
  }
  const int before = position();
  int pos = 0;
  switch (apply(pos, true)) {
    case Applied::Refused: showPosition(); break;
    case Applied::NotParsed: break;
    case Applied::Parsed:
      if (onTyped) onTyped(position() != before);
      break;
  }
}

void TEditPair::finished() {
  const int before = position();
  int pos = 0;
  const Applied a = apply(pos, false);
  if (a == Applied::Parsed && position() != before && onTyped) onTyped(true);
  if (a != Applied::Parsed || position() != pos) showPosition();
}
