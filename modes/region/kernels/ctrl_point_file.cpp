#include "modes/region/kernels/ctrl_point_file.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Whether the frame converts both ways: every extent, size and pitch finite and non-zero.
bool convertible(const TCtrlPointFrame& f) {
  for (int a = 0; a < 3; ++a) {
    const double s = f.dims[a] * f.pitch[a] / f.extent[a];
    if (!std::isfinite(s) || s == 0 || f.dims[a] == 0 || f.pitch[a] == 0) return false;
  }
  return true;
}

double toFile(double v, const TCtrlPointFrame& f, int a) { return v / f.extent[a] * f.dims[a] * f.pitch[a]; }
double fromFile(double v, const TCtrlPointFrame& f, int a) { return v * f.extent[a] / (f.dims[a] * f.pitch[a]); }

// Reads one number as "%lf" does for plain decimal text: leading blanks, an optional sign,
// digits with an optional point, an optional exponent.  Advances `p` past it.
bool readNumber(const char*& p, const char* end, double& out) {
  while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* s = p;
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  const char* digits = s;
  int count = 0;
  while (s < end && std::isdigit(static_cast<unsigned char>(*s))) ++s, ++count;
  if (s < end && *s == '.') {
    ++s;
    while (s < end && std::isdigit(static_cast<unsigned char>(*s))) ++s, ++count;
  }
  if (count == 0) return false;
  if (s < end && (*s == 'e' || *s == 'E')) {
    const char* e = s + 1;
    if (e < end && (*e == '+' || *e == '-')) ++e;
    if (e < end && std::isdigit(static_cast<unsigned char>(*e))) {
      while (e < end && std::isdigit(static_cast<unsigned char>(*e))) ++e;
      s = e;
    }
  }
  double v = 0;
  const std::from_chars_result r = std::from_chars(digits, s, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != s || !std::isfinite(v)) return false;
  out = negative ? -v : v;
  p = s;
  return true;
}

bool readComma(const char*& p, const char* end) {
  if (p < end && *p == ',') {
    ++p;
    return true;
  }
  return false;
}

}  // namespace

bool t_exportCtrlPoints(const std::string& path, const TPoints& points, const TCtrlPointFrame& frame) {
  if (!convertible(frame)) return false;
  std::string text;
  for (const TVec3& p : points) {
    for (int a = 0; a < 3; ++a) {
      char buf[400];
      const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, toFile(p[a], frame, a), std::chars_format::fixed, 6);
      if (r.ec != std::errc()) return false;
      text.append(buf, r.ptr);
      text += a < 2 ? ", " : ",\n";
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed;
}

int t_parseCtrlPoints(const char* text, size_t len, const TCtrlPointFrame& frame, TPoints& points) {
  if (!text || !convertible(frame)) return 0;
  const char* p = text;
  const char* end = text + len;
  int added = 0;
  for (;;) {
    double v[3];
    if (!readNumber(p, end, v[0]) || !readComma(p, end) || !readNumber(p, end, v[1]) || !readComma(p, end) ||
        !readNumber(p, end, v[2]))
      break;
    readComma(p, end);
    const TVec3 point(fromFile(v[0], frame, 0), fromFile(v[1], frame, 1), fromFile(v[2], frame, 2));
    if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2])) break;
    points.push_back(point);
    ++added;
  }
  return added;
}

int t_importCtrlPoints(const std::string& path, const TCtrlPointFrame& frame, TPoints& points) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::vector<char> text;
  char buf[1 << 16];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) text.insert(text.end(), buf, buf + got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return -1;
  return t_parseCtrlPoints(text.data(), text.size(), frame, points);
}
