#include "modes/contour/contmesh_s2_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kHeader = "#ContMeshData1";
constexpr const char* kEnd = "#ContMeshDataEnd";
constexpr const char* kTrailer[4] = {"param_Wcolor", "param_rbf_Offset", "param_hrbf_Offset", "param_color_pitch"};
// Words of a contour with no control point: 11 points, 2 triangles, 5 keyed values.
constexpr std::size_t kContourWords = 11 * 3 + 2 * 3 + 5 * 2;
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 28;

void appendf(std::string& out, const char* fmt, double a, double b = 0, double c = 0) {
  char buf[256];
  const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
  if (n > 0) out.append(buf, static_cast<std::size_t>(std::min<int>(n, int(sizeof buf) - 1)));
}

void appendInt(std::string& out, const char* fmt, long long a, long long b = 0, long long c = 0) {
  char buf[128];
  const int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
  if (n > 0) out.append(buf, static_cast<std::size_t>(std::min<int>(n, int(sizeof buf) - 1)));
}

void appendPoint(std::string& out, const TVec3& p) { appendf(out, "%f %f %f\n", p[0], p[1], p[2]); }

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f'; }

// Whitespace-separated words, each bounded by the text.
class Words {
 public:
  explicit Words(const std::string& text) : m_text(text) {
    bool in = false;
    for (char c : text) {
      if (!isSpace(c) && !in) ++m_left;
      in = !isSpace(c);
    }
    skip();
  }
  std::size_t left() const { return m_left; }
  bool atEnd() const { return m_pos >= m_text.size(); }
  bool word(std::string& w) {
    if (atEnd()) return false;
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && !isSpace(m_text[m_pos])) ++m_pos;
    w.assign(m_text, start, m_pos - start);
    --m_left;
    skip();
    return true;
  }
  bool key(const char* expected) {
    std::string w;
    return word(w) && w == expected;
  }
  bool number(double& v) {
    std::string w;
    if (!word(w)) return false;
    const auto r = std::from_chars(w.data(), w.data() + w.size(), v, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == w.data() + w.size() && std::isfinite(v);
  }
  bool integer(long long& v, long long lo, long long hi) {
    std::string w;
    if (!word(w)) return false;
    const auto r = std::from_chars(w.data(), w.data() + w.size(), v);
    return r.ec == std::errc() && r.ptr == w.data() + w.size() && v >= lo && v <= hi;
  }
  bool point(TVec3& p) { return number(p[0]) && number(p[1]) && number(p[2]); }
  bool flag(bool& f) {
    long long v = 0;
    if (!integer(v, 0, 1)) return false;
    f = v != 0;
    return true;
  }

 private:
  void skip() {
    while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
  }
  const std::string& m_text;
  std::size_t m_pos = 0, m_left = 0;
};

bool fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

}  // namespace

std::string t_formatContMeshS2(const TContMeshS2& d) {
  std::string out;
  appendInt(out, "#ContMeshData1 %lld\n", static_cast<long long>(d.contours.size()));
  appendPoint(out, d.p0);
  appendPoint(out, d.p1);
  appendPoint(out, d.w);
  appendPoint(out, d.u);
  for (const TContMeshS2Contour& c : d.contours) {
    for (const TVec3& p : c.frame) appendPoint(out, p);
    for (const TVec3& p : c.verts) appendPoint(out, p);
    for (const TVec3& p : c.normals) appendPoint(out, p);
    for (const TPolyIdx& t : c.tris) appendInt(out, "%lld %lld %lld\n", t[0], t[1], t[2]);
    appendInt(out, "cpSize %lld\n", static_cast<long long>(c.controlPoints.size()));
    for (const TVec3& p : c.controlPoints) appendPoint(out, p);
    appendf(out, "cpRad      %f\n", 0.01);
    appendf(out, "contRad    %f\n", 0.01);
    appendInt(out, "bInsideDir %lld\n", c.bInsideDir ? 1 : 0);
    appendInt(out, "bClosed    %lld\n", c.bClosed ? 1 : 0);
  }
  appendf(out, "param_Wcolor      %f\n", d.weight);
  appendf(out, "param_rbf_Offset  %f\n", 0.0);
  appendf(out, "param_hrbf_Offset %f\n", 0.0);
  appendf(out, "param_color_pitch %f\n", 0.0);
  out += kEnd;
  return out;
}

bool t_parseContMeshS2(const std::string& text, TContMeshS2& out, std::string* why) {
  Words t(text);
  TContMeshS2 d;
  long long n = 0;
  if (!t.key(kHeader)) return fail(why, "not a contour file of this mode (no #ContMeshData1 header)");
  if (!t.integer(n, 0, static_cast<long long>(t.left() / kContourWords)))
    return fail(why, "the contour count does not match the file");
  if (!t.point(d.p0) || !t.point(d.p1) || !t.point(d.w) || !t.point(d.u)) return fail(why, "bad axis lines");
  d.contours.resize(static_cast<std::size_t>(n));
  for (TContMeshS2Contour& c : d.contours) {
    for (TVec3& p : c.frame)
      if (!t.point(p)) return fail(why, "bad canvas frame");
    for (TVec3& p : c.verts)
      if (!t.point(p)) return fail(why, "bad canvas vertex");
    for (TVec3& p : c.normals)
      if (!t.point(p)) return fail(why, "bad canvas normal");
    for (TPolyIdx& tri : c.tris) {
      long long v[3];
      for (long long& x : v)
        if (!t.integer(x, 0, 3)) return fail(why, "a canvas triangle names a corner other than 0-3");
      if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2]) return fail(why, "a canvas triangle repeats a corner");
      tri = {int(v[0]), int(v[1]), int(v[2])};
    }
    long long k = 0;
    if (!t.key("cpSize") || !t.integer(k, 0, static_cast<long long>(t.left() / 3)))
      return fail(why, "bad control-point count");
    c.controlPoints.resize(static_cast<std::size_t>(k));
    for (TVec3& p : c.controlPoints)
      if (!t.point(p)) return fail(why, "bad control point");
    double radius = 0;
    if (!t.key("cpRad") || !t.number(radius) || !t.key("contRad") || !t.number(radius))
      return fail(why, "bad radius lines");
    if (!t.key("bInsideDir") || !t.flag(c.bInsideDir) || !t.key("bClosed") || !t.flag(c.bClosed))
      return fail(why, "bad contour flags");
  }
  double values[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i)
    if (!t.key(kTrailer[i]) || !t.number(values[i])) return fail(why, "bad parameter lines");
  d.weight = values[0];
  if (!t.key(kEnd) || !t.atEnd()) return fail(why, "no #ContMeshDataEnd at the end of the file");
  out = std::move(d);
  return true;
}

bool t_writeContMeshS2(const std::string& path, const TContMeshS2& data) {
  const std::string text = t_formatContMeshS2(data);
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

bool t_readContMeshS2(const std::string& path, TContMeshS2& out, std::string* why) {
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) return fail(why, "the file could not be opened");
  std::string text;
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
  if (tooBig) return fail(why, "the file is too large for a contour file");
  if (readError) return fail(why, "the file could not be read");
  return t_parseContMeshS2(text, out, why);
}
