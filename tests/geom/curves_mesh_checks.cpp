#include "curves_mesh_checks.h"

#include <cmath>
#include <map>
#include <sstream>
#include <utility>

std::string MeshTopology::describe() const {
  std::ostringstream s;
  s << "V=" << vertices << " E=" << edges << " F=" << faces << " badEdges=" << badEdges
    << " misoriented=" << misoriented << " unused=" << unusedVerts << " badIndices=" << badIndices;
  return s.str();
}

MeshTopology t_checkTopology(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris) {
  MeshTopology t;
  t.vertices = (long long)verts.size();
  t.faces = (long long)tris.size();
  // directed use counts per undirected edge: first = lo->hi, second = hi->lo
  std::map<std::pair<int, int>, std::pair<int, int>> uses;
  std::vector<char> used(verts.size(), 0);
  for (const TPolyIdx& tr : tris) {
    for (int k = 0; k < 3; ++k) {
      const int a = tr[k], b = tr[(k + 1) % 3];
      if (a < 0 || b < 0 || a >= (int)verts.size() || b >= (int)verts.size() || a == b) {
        ++t.badIndices;
        continue;
      }
      used[size_t(a)] = 1;
      auto& u = uses[{std::min(a, b), std::max(a, b)}];
      (a < b ? u.first : u.second)++;
    }
  }
  t.edges = (long long)uses.size();
  for (const auto& kv : uses) {
    const int total = kv.second.first + kv.second.second;
    if (total != 2) ++t.badEdges;
    else if (kv.second.first != 1) ++t.misoriented;
  }
  for (char c : used) t.unusedVerts += c ? 0 : 1;
  return t;
}

double t_enclosedVolume(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris) {
  double v = 0.0;
  for (const TPolyIdx& tr : tris) {
    const double* p = verts[size_t(tr[0])].v;
    const double* q = verts[size_t(tr[1])].v;
    const double* r = verts[size_t(tr[2])].v;
    v += p[0] * (q[1] * r[2] - q[2] * r[1]) - p[1] * (q[0] * r[2] - q[2] * r[0]) + p[2] * (q[0] * r[1] - q[1] * r[0]);
  }
  return v / 6.0;
}

bool t_pointInsideByParity(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris, const double p[3]) {
  // Moeller-Trumbore along a direction that no axis-aligned or diagonal structure shares.
  const double d[3] = {0.5773502691896258 + 0.01234567, 0.5773502691896258 - 0.00987654, 0.5773502691896258};
  int hits = 0;
  for (const TPolyIdx& tr : tris) {
    const double* a = verts[size_t(tr[0])].v;
    const double* b = verts[size_t(tr[1])].v;
    const double* c = verts[size_t(tr[2])].v;
    double e1[3], e2[3], h[3], s[3], q[3];
    for (int i = 0; i < 3; ++i) {
      e1[i] = b[i] - a[i];
      e2[i] = c[i] - a[i];
      s[i] = p[i] - a[i];
    }
    h[0] = d[1] * e2[2] - d[2] * e2[1];
    h[1] = d[2] * e2[0] - d[0] * e2[2];
    h[2] = d[0] * e2[1] - d[1] * e2[0];
    const double det = e1[0] * h[0] + e1[1] * h[1] + e1[2] * h[2];
    if (std::fabs(det) < 1e-15) continue;
    const double u = (s[0] * h[0] + s[1] * h[1] + s[2] * h[2]) / det;
    if (u < 0.0 || u > 1.0) continue;
    q[0] = s[1] * e1[2] - s[2] * e1[1];
    q[1] = s[2] * e1[0] - s[0] * e1[2];
    q[2] = s[0] * e1[1] - s[1] * e1[0];
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
    if (v < 0.0 || u + v > 1.0) continue;
    const double t = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
    if (t > 0.0) ++hits;
  }
  return hits % 2 == 1;
}
