#pragma once
// What the contour files of the contour-mesh modes share: text in the C locale, read whole
// (bounded in size) and checked word by word before anything is handed out.
#include <cstddef>
#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"

// Whitespace-separated words of a text, read one at a time; every count a file states can be
// checked against the words left before anything is allocated for it.
class TContourWords {
 public:
  explicit TContourWords(const std::string& text);

  std::size_t left() const { return m_left; }
  bool atEnd() const { return m_pos >= m_text.size(); }
  bool word(std::string& w);
  // The next word is `expected`.
  bool key(const char* expected);
  // A finite number, the whole word.
  bool number(double& v);
  // An integer within [lo, hi], the whole word.
  bool integer(long long& v, long long lo, long long hi);
  bool point(TVec3& p) { return number(p[0]) && number(p[1]) && number(p[2]); }
  // 0 or 1.
  bool flag(bool& f);

 private:
  void skip();
  const std::string& m_text;
  std::size_t m_pos = 0, m_left = 0;
};

// Sets *why (when given) and returns false: the refusal of a parser or a reader.
bool t_contourFileRefuse(std::string* why, const char* text);

// printf-formatted numbers appended to a file's text (a, b, c as the format takes them).
void t_contourAppendf(std::string& out, const char* fmt, double a, double b = 0, double c = 0);
void t_contourAppendInt(std::string& out, const char* fmt, long long a, long long b = 0, long long c = 0);
// "x y z\n" with six decimals.
void t_contourAppendPoint(std::string& out, const TVec3& p);

// A canvas triangle: three corners in [0, last], all different; false with *why set to
// `outside` or `repeated`.
bool t_contourReadTriangle(TContourWords& t, long long last, TPolyIdx& tri, std::string* why, const char* outside,
                           const char* repeated);

// The end of a contour in both formats: "cpSize n", the control points, the two (ignored) radius
// lines and the side and closed flags.
void t_contourAppendControlPoints(std::string& out, const std::vector<TVec3>& controlPoints, bool insideDir,
                                  bool closed);
bool t_contourReadControlPoints(TContourWords& t, std::vector<TVec3>& controlPoints, bool& insideDir, bool& closed,
                                std::string* why);

// The whole file as text; false (*why set) when it cannot be opened or read, or is larger than
// any contour file (256 MiB).
bool t_readContourText(const std::string& path, std::string& text, std::string* why);
// Writes the text; false when it could not be written completely (a partial file is removed).
bool t_writeContourText(const std::string& path, const std::string& text);
