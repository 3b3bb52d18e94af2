#include "modes/contour/contmesh_s2_file.h"

#include "modes/contour/contour_text_file.h"

namespace {

constexpr const char* kHeader = "#ContMeshData1";
constexpr const char* kEnd = "#ContMeshDataEnd";
constexpr const char* kTrailer[4] = {"param_Wcolor", "param_rbf_Offset", "param_hrbf_Offset", "param_color_pitch"};
// Words of a contour with no control point: 11 points, 2 triangles, 5 keyed values.
constexpr std::size_t kContourWords = 11 * 3 + 2 * 3 + 5 * 2;

}  // namespace

std::string t_formatContMeshS2(const TContMeshS2& d) {
  std::string out;
  t_contourAppendInt(out, "#ContMeshData1 %lld\n", static_cast<long long>(d.contours.size()));
  t_contourAppendPoint(out, d.p0);
  t_contourAppendPoint(out, d.p1);
  t_contourAppendPoint(out, d.w);
  t_contourAppendPoint(out, d.u);
  for (const TContMeshS2Contour& c : d.contours) {
    for (const TVec3& p : c.frame) t_contourAppendPoint(out, p);
    for (const TVec3& p : c.verts) t_contourAppendPoint(out, p);
    for (const TVec3& p : c.normals) t_contourAppendPoint(out, p);
    for (const TPolyIdx& t : c.tris) t_contourAppendInt(out, "%lld %lld %lld\n", t[0], t[1], t[2]);
    t_contourAppendControlPoints(out, c.controlPoints, c.bInsideDir, c.bClosed);
  }
  t_contourAppendf(out, "param_Wcolor      %f\n", d.weight);
  t_contourAppendf(out, "param_rbf_Offset  %f\n", 0.0);
  t_contourAppendf(out, "param_hrbf_Offset %f\n", 0.0);
  t_contourAppendf(out, "param_color_pitch %f\n", 0.0);
  out += kEnd;
  return out;
}

bool t_parseContMeshS2(const std::string& text, TContMeshS2& out, std::string* why) {
  TContourWords t(text);
  TContMeshS2 d;
  long long n = 0;
  if (!t.key(kHeader)) return t_contourFileRefuse(why, "not a contour file of this mode (no #ContMeshData1 header)");
  if (!t.integer(n, 0, static_cast<long long>(t.left() / kContourWords)))
    return t_contourFileRefuse(why, "the contour count does not match the file");
  if (!t.point(d.p0) || !t.point(d.p1) || !t.point(d.w) || !t.point(d.u))
    return t_contourFileRefuse(why, "bad axis lines");
  d.contours.resize(static_cast<std::size_t>(n));
  for (TContMeshS2Contour& c : d.contours) {
    for (TVec3& p : c.frame)
      if (!t.point(p)) return t_contourFileRefuse(why, "bad canvas frame");
    for (TVec3& p : c.verts)
      if (!t.point(p)) return t_contourFileRefuse(why, "bad canvas vertex");
    for (TVec3& p : c.normals)
      if (!t.point(p)) return t_contourFileRefuse(why, "bad canvas normal");
    for (TPolyIdx& tri : c.tris)
      if (!t_contourReadTriangle(t, 3, tri, why, "a canvas triangle names a corner other than 0-3",
                                 "a canvas triangle repeats a corner"))
        return false;
    if (!t_contourReadControlPoints(t, c.controlPoints, c.bInsideDir, c.bClosed, why)) return false;
  }
  double values[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i)
    if (!t.key(kTrailer[i]) || !t.number(values[i])) return t_contourFileRefuse(why, "bad parameter lines");
  d.weight = values[0];
  if (!t.key(kEnd) || !t.atEnd()) return t_contourFileRefuse(why, "no #ContMeshDataEnd at the end of the file");
  out = std::move(d);
  return true;
}

bool t_writeContMeshS2(const std::string& path, const TContMeshS2& data) {
  return t_writeContourText(path, t_formatContMeshS2(data));
}

bool t_readContMeshS2(const std::string& path, TContMeshS2& out, std::string* why) {
  std::string text;
  return t_readContourText(path, text, why) && t_parseContMeshS2(text, out, why);
}
