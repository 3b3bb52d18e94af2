// Test shapes for the mesh tests: built here, independently of the mesh's own shapes.
#pragma once

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "geom/TTriangleMesh.h"

namespace meshtest {

// Icosahedron subdivided `level` times and pushed onto the sphere of radius r
// (outward winding).
inline void icosphere(int level, double r, std::vector<TVec3>& V, std::vector<TPolyIdx>& T) {
  const double t = (1.0 + std::sqrt(5.0)) / 2.0;
  V = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
       {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
  T = {{0, 11, 5}, {0, 5, 1}, {0, 1, 7}, {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
       {11, 10, 2}, {10, 7, 6}, {7, 1, 8}, {3, 9, 4}, {3, 4, 2}, {3, 2, 6}, {3, 6, 8},
       {3, 8, 9}, {4, 9, 5}, {2, 4, 11}, {6, 2, 10}, {8, 6, 7}, {9, 8, 1}};
  for (int l = 0; l < level; ++l) {
    std::map<std::pair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      auto key = std::make_pair(std::min(a, b), std::max(a, b));
      auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      V.emplace_back((V[a][0] + V[b][0]) / 2, (V[a][1] + V[b][1]) / 2, (V[a][2] + V[b][2]) / 2);
      const int idx = static_cast<int>(V.size()) - 1;
      mid[key] = idx;
      return idx;
    };
    std::vector<TPolyIdx> next;
    for (const TPolyIdx& f : T) {
      const int a = midpoint(f[0], f[1]), b = midpoint(f[1], f[2]), c = midpoint(f[2], f[0]);
      next.push_back({f[0], a, c});
      next.push_back({f[1], b, a});
      next.push_back({f[2], c, b});
      next.push_back({a, b, c});
    }
    T.swap(next);
  }
  for (TVec3& p : V) {
    const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    for (int k = 0; k < 3; ++k) p[k] *= r / len;
  }
}

// Flat n x m grid of unit squares in z = 0, each split into two triangles that run
// counter-clockwise seen from +z.
inline void grid(int n, int m, std::vector<TVec3>& V, std::vector<TPolyIdx>& T) {
  V.clear();
  T.clear();
  for (int y = 0; y <= m; ++y)
    for (int x = 0; x <= n; ++x) V.emplace_back(x, y, 0.0);
  auto id = [&](int x, int y) { return y * (n + 1) + x; };
  for (int y = 0; y < m; ++y)
    for (int x = 0; x < n; ++x) {
      T.push_back({id(x, y), id(x + 1, y), id(x + 1, y + 1)});
      T.push_back({id(x, y), id(x + 1, y + 1), id(x, y + 1)});
    }
}

// Surface of the cube [0, n]^3 with every face an n x n grid of split squares,
// outward winding, shared vertices along the cube's edges.
inline void gridCube(int n, std::vector<TVec3>& V, std::vector<TPolyIdx>& T) {
  V.clear();
  T.clear();
  std::map<std::array<int, 3>, int> index;
  auto vid = [&](int x, int y, int z) {
    std::array<int, 3> k{x, y, z};
    auto it = index.find(k);
    if (it != index.end()) return it->second;
    V.emplace_back(x, y, z);
    index[k] = static_cast<int>(V.size()) - 1;
    return index[k];
  };
  // Each face: origin o, in-face axes u, v with u x v pointing outward.
  struct Face { int o[3], u[3], v[3]; };
  const Face faces[6] = {
      {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}},  // z = 0, normal -z
      {{0, 0, n}, {1, 0, 0}, {0, 1, 0}},  // z = n, normal +z
      {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}},  // y = 0, normal -y
      {{0, n, 0}, {0, 0, 1}, {1, 0, 0}},  // y = n, normal +y
      {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}},  // x = 0, normal -x
      {{n, 0, 0}, {0, 1, 0}, {0, 0, 1}},  // x = n, normal +x
  };
  for (const Face& f : faces) {
    auto at = [&](int i, int j) {
      return vid(f.o[0] + i * f.u[0] + j * f.v[0], f.o[1] + i * f.u[1] + j * f.v[1], f.o[2] + i * f.u[2] + j * f.v[2]);
    };
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        T.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
        T.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
      }
  }
}

// Enclosed volume by the divergence theorem (positive for outward winding).
inline double volume(const TTriangleMesh& m) {
  double v = 0.0;
  for (const TPolyIdx& t : m.polys) {
    const TVec3 &a = m.verts[t[0]], &b = m.verts[t[1]], &c = m.verts[t[2]];
    v += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  return v / 6.0;
}

inline int boundaryEdgeCount(const TTriangleMesh& m) {
  int n = 0;
  for (const TMeshEdge& e : m.edges)
    if (e.polyA == -1 || e.polyB == -1) ++n;
  return n;
}

// Euler characteristic over the vertices that triangles use (2 for a closed sphere).
inline int euler(const TTriangleMesh& m) {
  std::vector<char> used(m.vertexCount, 0);
  for (const TPolyIdx& t : m.polys) used[t[0]] = used[t[1]] = used[t[2]] = 1;
  int v = 0;
  for (char u : used) v += u;
  return v - m.edgeCount + m.polyCount;
}

}  // namespace meshtest
