// Timings of the triangle mesh on a sphere of a few 100k triangles: construction,
// smoothing, normals, writers and remeshing.  Run by hand:
//   mesh_bench [subdivision level, default 7 = 327680 triangles] [output dir]
// With /usr/bin/python3 and VTK, bench/geom_mesh/vtk_reference.py times VTK's smoothing
// and writers on the OBJ written here.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "geom/TTriangleMesh.h"

namespace {

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void icosphere(int level, std::vector<TVec3>& V, std::vector<TPolyIdx>& T) {
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
      return mid[key] = static_cast<int>(V.size()) - 1;
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
  // Unit sphere with a little deterministic noise so that smoothing has work to do.
  for (size_t i = 0; i < V.size(); ++i) {
    TVec3& p = V[i];
    const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const double r = 1.0 + 0.002 * std::sin(12.9898 * i);
    for (int k = 0; k < 3; ++k) p[k] *= r / len;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int level = argc > 1 ? atoi(argv[1]) : 7;
  const std::string dir = argc > 2 ? argv[2] : "/tmp";
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  icosphere(level, V, T);
  printf("mesh: %zu vertices, %zu triangles\n", V.size(), T.size());

  TTriangleMesh m;
  double t0 = now();
  const bool ok = m.initFromVertsPolys(V, T);
  printf("initFromVertsPolys   %8.3f s (valid %d, %d edges)\n", now() - t0, ok, m.edgeCount);

  t0 = now();
  m.updateNormals();
  printf("updateNormals        %8.3f s\n", now() - t0);

  TTriangleMesh a(m), b(m);
  t0 = now();
  a.smoothUmbrella(5);
  printf("smoothUmbrella(5)    %8.3f s\n", now() - t0);
  t0 = now();
  b.smoothLM(5);
  fprintf(stderr, "\n");  // ends the smoothing trace line
  printf("smoothLM(5)          %8.3f s\n", now() - t0);

  const std::string obj = dir + "/kestrin_bench_mesh.obj", stl = dir + "/kestrin_bench_mesh.stl";
  t0 = now();
  const bool wo = m.exportObjFile(fopen(obj.c_str(), "w"));
  printf("exportObjFile        %8.3f s (%s)\n", now() - t0, wo ? obj.c_str() : "failed");
  t0 = now();
  const bool ws = m.exportStlFile(fopen(stl.c_str(), "w"));
  printf("exportStlFile        %8.3f s (%s)\n", now() - t0, ws ? stl.c_str() : "failed");

  double probe[3] = {0.3, 0.2, 1.4}, out[3];
  t0 = now();
  const double d = m.distanceToPoint(probe, out);
  printf("distanceToPoint      %8.3f s (%.6f)\n", now() - t0, d);

  TTriangleMesh r(m);
  std::vector<uint16_t> movable(r.vertexCount, 1);
  std::vector<int> map;
  t0 = now();
  r.remeshToEdgeLength(movable, map, 1.2);
  printf("remeshToEdgeLength   %8.3f s (%d -> %d vertices)\n", now() - t0, m.vertexCount, r.vertexCount);
  return 0;
}
