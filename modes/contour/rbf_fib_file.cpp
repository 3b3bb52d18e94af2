#include "modes/contour/rbf_fib_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kHeader = "#RBFMeshData";
constexpr const char* kEnd = "#RBFMeshDataEnd";
constexpr const char* kTrailer2[6] = {"Winterval", "Wcolor", "Wblend", "Wnormal", "WrbfOffset", "WinsideOffset"};
// A file larger than this is not a contour file.
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 28;

void appendf(std::string& out, const char* fmt, double a, double b, double c) {
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

// Whitespace-separated words of the text, read one at a time.
class Tokens {
 public:
  explicit Tokens(const std::string& text) : m_text(text) { skip(); }

  bool atEnd() const { return m_pos >= m_text.size(); }
  // Words left, counted from here (bounds every count before anything is allocated).
  std::size_t remaining() {
    if (m_remaining == std::string::npos || m_remainingAt != m_pos) {
      std::size_t n = 0;
      bool inWord = false;
      for (std::size_t i = m_pos; i < m_text.size(); ++i) {
        const bool space = isSpace(m_text[i]);
        if (!space && !inWord) ++n;
        inWord = !space;
      }
      m_remaining = n;
      m_remainingAt = m_pos;
    }
    return m_remaining;
  }
  bool word(std::string& w) {
    if (atEnd()) return false;
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && !isSpace(m_text[m_pos])) ++m_pos;
    w.assign(m_text, start, m_pos - start);
    skip();
    // The remaining count drops by one per word; keep it without a rescan.
    if (m_remaining != std::string::npos && m_remainingAt == start) {
      --m_remaining;
      m_remainingAt = m_pos;
    }
    return true;
  }
  bool keyword(const char* expected) {
    std::string w;
    return word(w) && w == expected;
  }
  bool number(double& v) {
    std::string w;
    if (!word(w)) return false;
    const char* b = w.data();
    const char* e = b + w.size();
    auto r = std::from_chars(b, e, v, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == e && std::isfinite(v);
  }
  bool integer(long long& v, long long lo, long long hi) {
    std::string w;
    if (!word(w)) return false;
    const char* b = w.data();
    const char* e = b + w.size();
    auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e && v >= lo && v <= hi;
  }
  bool point(TVec3& p) { return number(p[0]) && number(p[1]) && number(p[2]); }
  bool flag(bool& f) {
    long long v = 0;
    if (!integer(v, 0, 1)) return false;
    f = v != 0;
    return true;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f'; }
  void skip() {
    while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
  }
  const std::string& m_text;
  std::size_t m_pos = 0;
  std::size_t m_remaining = std::string::npos;
  std::size_t m_remainingAt = 0;
};

bool fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

}  // namespace

std::string t_formatRbfFib(const std::vector<TRbfFibContour>& contours, const TRbfFibCoefs& coefs) {
  std::string out;
  appendInt(out, "#RBFMeshData 2 %lld\n", static_cast<long long>(contours.size()));
  for (const TRbfFibContour& c : contours) {
    for (const TVec3& p : c.frame) appendPoint(out, p);
    appendInt(out, "canvas %lld %lld\n", static_cast<long long>(c.canvasVerts.size()),
              static_cast<long long>(c.canvasPolys.size()));
    for (const TVec3& p : c.canvasVerts) appendPoint(out, p);
    for (const TPolyIdx& t : c.canvasPolys) appendInt(out, "%lld %lld %lld\n", t[0], t[1], t[2]);
    appendInt(out, "cpSize %lld\n", static_cast<long long>(c.controlPoints.size()));
    for (const TVec3& p : c.controlPoints) appendPoint(out, p);
    appendf(out, "cpRad      %f\n", 0.01, 0, 0);
    appendf(out, "contRad    %f\n", 0.01, 0, 0);
    appendInt(out, "bInsideDir %lld\n", c.bInsideDir ? 1 : 0);
    appendInt(out, "bClosed    %lld\n", c.bClosed ? 1 : 0);
  }
  appendf(out, "Winterval     %f\n", coefs.interval, 0, 0);
  appendf(out, "Wcolor        %f\n", coefs.colour, 0, 0);
  appendf(out, "Wblend        %f\n", coefs.blend, 0, 0);
  appendf(out, "Wnormal       %f\n", coefs.normal, 0, 0);
  appendf(out, "WrbfOffset    %f\n", 0.0, 0, 0);
  appendf(out, "WinsideOffset %f\n", 0.0, 0, 0);
  out += kEnd;
  return out;
}

bool t_parseRbfFib(const std::string& text, std::vector<TRbfFibContour>& contoursOut, TRbfFibCoefs& coefsOut,
                   std::string* why) {
  Tokens t(text);
  long long version = 0, n = 0;
  if (!t.keyword(kHeader)) return fail(why, "not a contour file (no #RBFMeshData header)");
  if (!t.integer(version, 1, 2)) return fail(why, "unknown file version");
  // A contour takes at least 22 words.
  if (!t.integer(n, 0, static_cast<long long>(t.remaining() / 22)))
    return fail(why, "contour count does not match the file");
  std::vector<TRbfFibContour> contours(static_cast<std::size_t>(n));
  for (TRbfFibContour& c : contours) {
    for (TVec3& p : c.frame)
      if (!t.point(p)) return fail(why, "bad frame point");
    long long nv = 0, np = 0;
    if (!t.keyword("canvas") || !t.integer(nv, 0, static_cast<long long>(t.remaining() / 3)) ||
        !t.integer(np, 0, static_cast<long long>(t.remaining() / 3)) ||
        static_cast<unsigned long long>(nv + np) * 3 > t.remaining())
      return fail(why, "bad canvas size");
    c.canvasVerts.resize(static_cast<std::size_t>(nv));
    for (TVec3& p : c.canvasVerts)
      if (!t.point(p)) return fail(why, "bad canvas vertex");
    c.canvasPolys.resize(static_cast<std::size_t>(np));
    for (TPolyIdx& tri : c.canvasPolys) {
      long long v[3];
      for (long long& x : v)
        if (!t.integer(x, 0, nv - 1)) return fail(why, "canvas triangle names a missing vertex");
      if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2]) return fail(why, "canvas triangle repeats a corner");
      tri = {int(v[0]), int(v[1]), int(v[2])};
    }
    long long nc = 0;
    if (!t.keyword("cpSize") || !t.integer(nc, 0, static_cast<long long>(t.remaining() / 3)))
      return fail(why, "bad control-point count");
    c.controlPoints.resize(static_cast<std::size_t>(nc));
    for (TVec3& p : c.controlPoints)
      if (!t.point(p)) return fail(why, "bad control point");
    double radius = 0;
    if (!t.keyword("cpRad") || !t.number(radius) || !t.keyword("contRad") || !t.number(radius))
      return fail(why, "bad radius lines");
    if (!t.keyword("bInsideDir") || !t.flag(c.bInsideDir) || !t.keyword("bClosed") || !t.flag(c.bClosed))
      return fail(why, "bad contour flags");
  }
  TRbfFibCoefs coefs;
  const int pairs = version == 1 ? 4 : 6;
  double values[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i < pairs; ++i) {
    std::string w;
    if (!t.word(w) || (version == 2 && w != kTrailer2[i]) || !t.number(values[i]))
      return fail(why, "bad coefficient lines");
  }
  coefs.interval = values[0];
  if (version == 1) {
    coefs.colour = values[3];
    coefs.hasBlendNormal = false;
  } else {
    coefs.colour = values[1];
    coefs.blend = values[2];
    coefs.normal = values[3];
  }
  if (!t.keyword(kEnd) || !t.atEnd()) return fail(why, "no #RBFMeshDataEnd at the end of the file");
  contoursOut.swap(contours);
  coefsOut = coefs;
  return true;
}

bool t_writeRbfFib(const std::string& path, const std::vector<TRbfFibContour>& contours, const TRbfFibCoefs& coefs) {
  const std::string text = t_formatRbfFib(contours, coefs);
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

bool t_readRbfFib(const std::string& path, std::vector<TRbfFibContour>& contours, TRbfFibCoefs& coefs,
                  std::string* why) {
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
  return t_parseRbfFib(text, contours, coefs, why);
}
