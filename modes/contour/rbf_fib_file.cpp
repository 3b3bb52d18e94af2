#include "modes/contour/rbf_fib_file.h"

#include "modes/contour/contour_text_file.h"

namespace {

constexpr const char* kHeader = "#RBFMeshData";
constexpr const char* kEnd = "#RBFMeshDataEnd";
constexpr const char* kTrailer2[6] = {"Winterval", "Wcolor", "Wblend", "Wnormal", "WrbfOffset", "WinsideOffset"};

}  // namespace

std::string t_formatRbfFib(const std::vector<TRbfFibContour>& contours, const TRbfFibCoefs& coefs) {
  std::string out;
  t_contourAppendInt(out, "#RBFMeshData 2 %lld\n", static_cast<long long>(contours.size()));
  for (const TRbfFibContour& c : contours) {
    for (const TVec3& p : c.frame) t_contourAppendPoint(out, p);
    t_contourAppendInt(out, "canvas %lld %lld\n", static_cast<long long>(c.canvasVerts.size()),
                       static_cast<long long>(c.canvasPolys.size()));
    for (const TVec3& p : c.canvasVerts) t_contourAppendPoint(out, p);
    for (const TPolyIdx& t : c.canvasPolys) t_contourAppendInt(out, "%lld %lld %lld\n", t[0], t[1], t[2]);
    t_contourAppendControlPoints(out, c.controlPoints, c.bInsideDir, c.bClosed);
  }
  t_contourAppendf(out, "Winterval     %f\n", coefs.interval);
  t_contourAppendf(out, "Wcolor        %f\n", coefs.colour);
  t_contourAppendf(out, "Wblend        %f\n", coefs.blend);
  t_contourAppendf(out, "Wnormal       %f\n", coefs.normal);
  t_contourAppendf(out, "WrbfOffset    %f\n", 0.0);
  t_contourAppendf(out, "WinsideOffset %f\n", 0.0);
  out += kEnd;
  return out;
}

bool t_parseRbfFib(const std::string& text, std::vector<TRbfFibContour>& contoursOut, TRbfFibCoefs& coefsOut,
                   std::string* why) {
  TContourWords t(text);
  long long version = 0, n = 0;
  if (!t.key(kHeader)) return t_contourFileRefuse(why, "not a contour file (no #RBFMeshData header)");
  if (!t.integer(version, 1, 2)) return t_contourFileRefuse(why, "unknown file version");
  // A contour takes at least 22 words.
  if (!t.integer(n, 0, static_cast<long long>(t.left() / 22)))
    return t_contourFileRefuse(why, "contour count does not match the file");
  std::vector<TRbfFibContour> contours(static_cast<std::size_t>(n));
  for (TRbfFibContour& c : contours) {
    for (TVec3& p : c.frame)
      if (!t.point(p)) return t_contourFileRefuse(why, "bad frame point");
    long long nv = 0, np = 0;
    if (!t.key("canvas") || !t.integer(nv, 0, static_cast<long long>(t.left() / 3)) ||
        !t.integer(np, 0, static_cast<long long>(t.left() / 3)) ||
        static_cast<unsigned long long>(nv + np) * 3 > t.left())
      return t_contourFileRefuse(why, "bad canvas size");
    c.canvasVerts.resize(static_cast<std::size_t>(nv));
    for (TVec3& p : c.canvasVerts)
      if (!t.point(p)) return t_contourFileRefuse(why, "bad canvas vertex");
    c.canvasPolys.resize(static_cast<std::size_t>(np));
    for (TPolyIdx& tri : c.canvasPolys)
      if (!t_contourReadTriangle(t, nv - 1, tri, why, "canvas triangle names a missing vertex",
                                 "canvas triangle repeats a corner"))
        return false;
    if (!t_contourReadControlPoints(t, c.controlPoints, c.bInsideDir, c.bClosed, why)) return false;
  }
  TRbfFibCoefs coefs;
  const int pairs = version == 1 ? 4 : 6;
  double values[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i < pairs; ++i) {
    std::string w;
    if (!t.word(w) || (version == 2 && w != kTrailer2[i]) || !t.number(values[i]))
      return t_contourFileRefuse(why, "bad coefficient lines");
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
  if (!t.key(kEnd) || !t.atEnd()) return t_contourFileRefuse(why, "no #RBFMeshDataEnd at the end of the file");
  contoursOut.swap(contours);
  coefsOut = coefs;
  return true;
}

bool t_writeRbfFib(const std::string& path, const std::vector<TRbfFibContour>& contours, const TRbfFibCoefs& coefs) {
  return t_writeContourText(path, t_formatRbfFib(contours, coefs));
}

bool t_readRbfFib(const std::string& path, std::vector<TRbfFibContour>& contours, TRbfFibCoefs& coefs,
                  std::string* why) {
  std::string text;
  return t_readContourText(path, text, why) && t_parseRbfFib(text, contours, coefs, why);
}
