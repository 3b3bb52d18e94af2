#include "modes/contour/contour_text_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// A file larger than this is not a contour file.
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 28;

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f'; }

}  // namespace

TContourWords::TContourWords(const std::string& text) : m_text(text) {
  bool in = false;
  for (char c : text) {
    if (!isSpace(c) && !in) ++m_left;
    in = !isSpace(c);
  }
  skip();
}

void TContourWords::skip() {
  while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
}

bool TContourWords::word(std::string& w) {
  if (atEnd()) return false;
  const std::size_t start = m_pos;
  while (m_pos < m_text.size() && !isSpace(m_text[m_pos])) ++m_pos;
  w.assign(m_text, start, m_pos - start);
  --m_left;
  skip();
  return true;
}

bool TContourWords::key(const char* expected) {
  std::string w;
  return word(w) && w == expected;
}

bool TContourWords::number(double& v) {
  std::string w;
  if (!word(w)) return false;
  const auto r = std::from_chars(w.data(), w.data() + w.size(), v, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == w.data() + w.size() && std::isfinite(v);
}

bool TContourWords::integer(long long& v, long long lo, long long hi) {
  std::string w;
  if (!word(w)) return false;
  const auto r = std::from_chars(w.data(), w.data() + w.size(), v);
  return r.ec == std::errc() && r.ptr == w.data() + w.size() && v >= lo && v <= hi;
}

bool TContourWords::flag(bool& f) {
  long long v = 0;
  if (!integer(v, 0, 1)) return false;
  f = v != 0;
  return true;
}

bool t_contourFileRefuse(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

void t_contourAppendf(std::string& out, const char* fmt, double a, double b, double c) {
  char buf[256];
  const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
  if (n > 0) out.append(buf, static_cast<std::size_t>(std::min<int>(n, int(sizeof buf) - 1)));
}

void t_contourAppendInt(std::string& out, const char* fmt, long long a, long long b, long long c) {
  char buf[128];
  const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
  if (n > 0) out.append(buf, static_cast<std::size_t>(std::min<int>(n, int(sizeof buf) - 1)));
}

void t_contourAppendPoint(std::string& out, const TVec3& p) { t_contourAppendf(out, "%f %f %f\n", p[0], p[1], p[2]); }

bool t_contourReadTriangle(TContourWords& t, long long last, TPolyIdx& tri, std::string* why, const char* outside,
                           const char* repeated) {
  long long v[3];
  for (long long& x : v)
    if (!t.integer(x, 0, last)) return t_contourFileRefuse(why, outside);
  if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2]) return t_contourFileRefuse(why, repeated);
  tri = {int(v[0]), int(v[1]), int(v[2])};
  return true;
}

void t_contourAppendControlPoints(std::string& out, const std::vector<TVec3>& controlPoints, bool insideDir,
                                  bool closed) {
  t_contourAppendInt(out, "cpSize %lld\n", static_cast<long long>(controlPoints.size()));
  for (const TVec3& p : controlPoints) t_contourAppendPoint(out, p);
  t_contourAppendf(out, "cpRad      %f\n", 0.01);
  t_contourAppendf(out, "contRad    %f\n", 0.01);
  t_contourAppendInt(out, "bInsideDir %lld\n", insideDir ? 1 : 0);
  t_contourAppendInt(out, "bClosed    %lld\n", closed ? 1 : 0);
}

bool t_contourReadControlPoints(TContourWords& t, std::vector<TVec3>& controlPoints, bool& insideDir, bool& closed,
                                std::string* why) {
  long long n = 0;
  if (!t.key("cpSize") || !t.integer(n, 0, static_cast<long long>(t.left() / 3)))
    return t_contourFileRefuse(why, "bad control-point count");
  controlPoints.resize(static_cast<std::size_t>(n));
  for (TVec3& p : controlPoints)
    if (!t.point(p)) return t_contourFileRefuse(why, "bad control point");
  double radius = 0;
  if (!t.key("cpRad") || !t.number(radius) || !t.key("contRad") || !t.number(radius))
    return t_contourFileRefuse(why, "bad radius lines");
  if (!t.key("bInsideDir") || !t.flag(insideDir) || !t.key("bClosed") || !t.flag(closed))
    return t_contourFileRefuse(why, "bad contour flags");
  return true;
}

bool t_readContourText(const std::string& path, std::string& text, std::string* why) {
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) return t_contourFileRefuse(why, "the file could not be opened");
  text.clear();
  char buf[65536];
  std::size_t got = 0;
  bool tooBig = false;
  while ((got = std::fread(buf, 1, sizeof buf, fp)) > 0) {
    if (text.size() + got > kMaxFileBytes) {
      tooBig = true;
      break;
    }
    text.append(buf, got);
  }
  const bool readError = std::ferror(fp) != 0;
  std::fclose(fp);
  if (tooBig) return t_contourFileRefuse(why, "the file is too large for a contour file");
  if (readError) return t_contourFileRefuse(why, "the file could not be read");
  return true;
}

bool t_writeContourText(const std::string& path, const std::string& text) {
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), fp) == text.size();
  const bool closed = std::fclose(fp) == 0;
  if (!written || !closed) {
    std::remove(path.c_str());
    return false;
  }
  return true;
}
