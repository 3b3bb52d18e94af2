#include "modes/curve/kernels/fiber_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>

#include "modes/curve/kernels/fiber_cut.h"
#include "platform/Progress.h"

void t_rubSnakes(std::vector<TFiberStroke>& fibers, const TTriangleMesh& regionMesh, const double eye[3],
                 const TPoints& stroke, int fiberIndex, int k, const TFiberVolume& vol) {
  if (fiberIndex < 0 || fiberIndex >= static_cast<int>(fibers.size())) return;
  TFiberStroke& F = fibers[fiberIndex];
  const int n = static_cast<int>(F.points.size());
  if (k < 0 || k >= n) return;
  if (!F.closed && (k == 0 || k == n - 1)) return;
  if (F.getPointFlag(k)) return;
  F.moveVectors.resize(n);

  const int W = std::max(vol.W, 1), H = std::max(vol.H, 1), D = std::max(vol.D, 1);
  const double pitch[3] = {vol.extent[0] / W, vol.extent[1] / H, vol.extent[2] / D};
  const double h = 0.8 * std::min(pitch[0], std::min(pitch[1], pitch[2]));
  const int prev = k == 0 ? n - 1 : k - 1;
  const int next = k == n - 1 ? 0 : k + 1;

  if (k >= static_cast<int>(F.pointConstraint.size())) return;
  const int ci = F.pointConstraint[k];
  if (ci < 0 || ci >= static_cast<int>(F.constraints.size())) return;
  const TFiberConstraint& c = F.constraints[ci];
  if (c.meshA < 0 || c.meshA >= regionMesh.vertexCount || c.meshB < 0 || c.meshB >= regionMesh.vertexCount) return;
  double nrm[3];
  for (int q = 0; q < 3; ++q) nrm[q] = regionMesh.vertNormals[c.meshA][q] + regionMesh.vertNormals[c.meshB][q];
  if (!t_normalize3(nrm)) return;

  TVec3& P = F.points[k];
  double Q[3];
  for (int q = 0; q < 3; ++q) Q[q] = P[q] + h * nrm[q];
  t_projectToStrokeSurface(Q, eye, stroke);
  double d[3];
  t_sub3(Q, P, d);
  if (!t_normalize3(d)) return;

  double m[3];
  for (int q = 0; q < 3; ++q) m[q] = 0.5 * (F.points[prev][q] + F.points[next][q]) - P[q];

  double best = -100000.0;
  double v[3] = {0, 0, 0};
  for (int s = -3; s <= 3; ++s) {
    double X[3];
    for (int q = 0; q < 3; ++q) X[q] = P[q] + s * h * d[q];
    if (X[0] < 0 || X[0] > vol.extent[0] || X[1] < 0 || X[1] > vol.extent[1] || X[2] < 0 || X[2] > vol.extent[2])
      continue;
    int ix = static_cast<int>(X[0] / pitch[0]), iy = static_cast<int>(X[1] / pitch[1]),
        iz = static_cast<int>(X[2] / pitch[2]);
    ix = std::min(std::max(ix, 0), W - 1);
    iy = std::min(std::max(iy, 0), H - 1);
    iz = std::min(std::max(iz, 0), D - 1);
    const double g = vol.gradient ? vol.gradient[ix + W * (iy + static_cast<size_t>(H) * iz)] : 0.0;
    if (g > best) {
      best = g;
      for (int q = 0; q < 3; ++q) v[q] = X[q] - P[q];
      F.moveVectors[k].set(v[0], v[1], v[2]);
    }
  }
  if (best < 0.15) {
    v[0] = v[1] = v[2] = 0.0;
  } else {
    for (double& x : v) x *= best;
  }
  for (int q = 0; q < 3; ++q) P[q] += 0.02 * m[q] + 0.05 * v[q];
}

int t_findMeshEdge(const TTriangleMesh& mesh, int v0, int v1) {
  const int a = std::min(v0, v1), b = std::max(v0, v1);
  if (a < 0 || b >= mesh.vertexCount || a == b) return -1;
  std::vector<int> ring;
  mesh.getRingEdges(a, ring);
  for (int e : ring) {
    const TMeshEdge& E = mesh.edges[e];
    if (std::min(E.vert0, E.vert1) == a && std::max(E.vert0, E.vert1) == b) return e;
  }
  return -1;
}

bool t_checkFiberErasable(const std::vector<TCrossPoint>& cps, const std::vector<TFiberStroke>& fibers, int idx,
                          std::string* message) {
  auto refuse = [&](const char* text) {
    if (message) *message = text;
    return false;
  };
  const int n = static_cast<int>(fibers.size());
  if (n == 1) return refuse("cant erase single fiber\n");
  if (idx < 0 || idx >= n) return refuse("cant erase this fiber code=1\n");
  for (const TCrossPoint& cp : cps)
    for (const auto& p : cp.newPairs)
      if (p.first == idx) return refuse("this fiber walk across the existing fiber \n");
  int longest = -1;
  double best = -1.0;
  for (int i = 0; i < n; ++i) {
    const double L = t_polylineLength(fibers[i].points);
    if (L > best) {
      best = L;
      longest = i;
    }
  }
  if (longest == idx) return refuse("cant erase longest fiber\n");
  for (const TFiberStroke& f : fibers)
    if (f.parent == idx) return refuse("this node has child fiber node");
  if (fibers[idx].depth >= 2) return refuse("cant erase too deep fiber \n");
  return true;
}

bool t_cutMeshAlongFiber(const TTriangleMesh& mesh, const TFiberStroke& fiber, TTriangleMesh& out,
                         std::string* message) {
  auto refuse = [&](const char* text) {
    if (message) *message = text;
    return false;
  };
  std::set<int> faces;
  for (const TFiberConstraint& c : fiber.constraints) {
    const int e = t_findMeshEdge(mesh, c.meshA, c.meshB);
    if (e < 0) return refuse("strange Edge!!!! ");
    const TMeshEdge& E = mesh.edges[e];
    if (E.isBoundary()) return refuse("there is hole!!!!");
    faces.insert(E.polyA);
    faces.insert(E.polyB);
  }
  std::vector<TPolyIdx> polys;
  for (int p = 0; p < mesh.polyCount; ++p)
    if (!faces.count(p)) polys.push_back(mesh.polys[p]);
  if (!out.initFromVertsPolys(mesh.verts, polys))
    return refuse("the surface cannot be cut along this fiber; nothing was erased");
  // Every fill closes one border loop; a loop that cannot be closed would leave the surface open.
  for (int guard = out.edgeCount + 1; guard > 0; --guard) {
    int border = -1;
    for (int e = 0; e < out.edgeCount; ++e)
      if (out.edges[e].isBoundary()) {
        border = e;
        break;
      }
    if (border < 0) return true;
    if (!out.fillHoles(out.edges[border].vert0) || out.vertexCount == 0)
      return refuse("the cut along this fiber cannot be closed; nothing was erased");
  }
  return refuse("the cut along this fiber cannot be closed; nothing was erased");
}

void t_removeIsolatedMeshPart(const TTriangleMesh& mesh, const std::vector<int>& labels, int compA, int compB,
                              std::vector<int>& oldToNew, TTriangleMesh& out, TPoints& initial) {
  std::fprintf(stderr, "mesh vertices size = %d %d\n", mesh.vertexCount, static_cast<int>(initial.size()));
  oldToNew.assign(mesh.vertexCount, -1);
  TPoints verts, init;
  for (int v = 0; v < mesh.vertexCount; ++v) {
    const int l = v < static_cast<int>(labels.size()) ? labels[v] : -1;
    if ((compA >= 0 && l == compA) || (compB >= 0 && l == compB)) continue;
    oldToNew[v] = static_cast<int>(verts.size());
    verts.push_back(mesh.verts[v]);
    init.push_back(v < static_cast<int>(initial.size()) ? initial[v] : mesh.verts[v]);
  }
  std::vector<TPolyIdx> polys;
  for (const TPolyIdx& p : mesh.polys) {
    const int a = oldToNew[p[0]], b = oldToNew[p[1]], c = oldToNew[p[2]];
    if (a >= 0 && b >= 0 && c >= 0) polys.push_back({a, b, c});
  }
  out.initFromVertsPolys(verts, polys);
  initial = init;
}

void t_extractRoiPatch(TTriangleMesh& regionMesh, const std::vector<int>& seeds, int ringCount,
                       std::vector<TVec3>& verts, std::vector<TPolyIdx>& polys, std::vector<int>& roiToRegion,
                       std::vector<int>& regionToRoi) {
  regionMesh.extractSubmesh(seeds, static_cast<uint32_t>(std::max(ringCount, 0)), verts, polys, roiToRegion,
                            regionToRoi);
  // Each round adds at least one vertex to the patch: at most one round per vertex of the mesh.
  for (int round = 0; round <= regionMesh.vertexCount; ++round) {
    // Border edges (sides of exactly one patch triangle) per patch vertex.
    std::vector<std::pair<int, int>> sides;
    sides.reserve(polys.size() * 3);
    for (const TPolyIdx& t : polys)
      for (int k = 0; k < 3; ++k) sides.emplace_back(std::min(t[k], t[(k + 1) % 3]), std::max(t[k], t[(k + 1) % 3]));
    std::sort(sides.begin(), sides.end());
    std::vector<int> borderEdges(verts.size(), 0);
    for (size_t i = 0; i < sides.size();) {
      size_t j = i;
      while (j < sides.size() && sides[j] == sides[i]) ++j;
      if (j - i == 1) {
        ++borderEdges[sides[i].first];
        ++borderEdges[sides[i].second];
      }
      i = j;
    }
    std::vector<int> widened(roiToRegion);
    bool pinched = false;
    for (size_t v = 0; v < borderEdges.size(); ++v) {
      if (borderEdges[v] <= 2) continue;
      pinched = true;
      const int r = roiToRegion[v];
      if (r >= 0 && r < static_cast<int>(regionMesh.rings.size()))
        widened.insert(widened.end(), regionMesh.rings[r].begin(), regionMesh.rings[r].end());
    }
    if (!pinched) return;
    regionMesh.extractSubmesh(widened, 0, verts, polys, roiToRegion, regionToRoi);
  }
}

void t_roiSeeds(const std::vector<TFiberStroke>& newFibers, std::vector<int>& seeds) {
  seeds.clear();
  for (const TFiberStroke& f : newFibers)
    for (const TFiberConstraint& c : f.constraints)
      if (c.active) {
        seeds.push_back(c.meshA);
        seeds.push_back(c.meshB);
      }
}

namespace {

void renumber(std::vector<TFiberStroke>& fibers, const std::vector<int>& map) {
  for (TFiberStroke& f : fibers)
    for (TFiberConstraint& c : f.constraints) {
      c.meshA = (c.meshA >= 0 && c.meshA < static_cast<int>(map.size())) ? map[c.meshA] : -1;
      c.meshB = (c.meshB >= 0 && c.meshB < static_cast<int>(map.size())) ? map[c.meshB] : -1;
    }
}

// What cutting `before` into `cut` (the same vertices first, then those of the patches) and
// dropping the parts compA and compB of it takes out of the surface, with the corners' entry
// positions from initial (one per vertex of cut).
void recordDropped(const TTriangleMesh& before, const TTriangleMesh& cut, const std::vector<int>& labels, int compA,
                   int compB, const TPoints& initial, TRefDropped& out) {
  auto droppedVertex = [&](int v) {
    const int l = v >= 0 && v < static_cast<int>(labels.size()) ? labels[v] : -1;
    return (compA >= 0 && l == compA) || (compB >= 0 && l == compB);
  };
  auto key = [](TPolyIdx t) {
    std::sort(t.begin(), t.end());
    return t;
  };
  TRefErase e;
  e.before.assign(cut.verts.begin(), cut.verts.end());
  for (int v = 0; v < before.vertexCount && v < cut.vertexCount; ++v) e.before[v] = before.verts[v];
  e.after = cut.verts;
  e.atEntry = initial;
  e.atEntry.resize(cut.verts.size());
  for (size_t v = initial.size(); v < cut.verts.size(); ++v) e.atEntry[v] = cut.verts[v];
  e.polysBefore = before.polys;
  for (const TPolyIdx& t : cut.polys)
    if (!droppedVertex(t[0])) e.polysAfter.push_back(t);
  for (int k = 0; k < 3; ++k) e.lo[k] = 1e300, e.hi[k] = -1e300;
  const size_t first = out.triangles.size();
  auto add = [&](const std::vector<TVec3>& at, const TPolyIdx& t) {
    for (int v : t) out.triangles.push_back(e.atEntry[v]);
    for (int v : t) out.triangles.push_back(at[v]);
  };
  std::set<TPolyIdx> cutTris, beforeTris;
  for (const TPolyIdx& t : cut.polys) cutTris.insert(key(t));
  // The strip along the fiber and the triangles of the dropped parts, where they stood.
  for (const TPolyIdx& t : before.polys) {
    beforeTris.insert(key(t));
    if (!cutTris.count(key(t)) || droppedVertex(t[0])) add(e.before, t);
  }
  // The patches, of the dropped parts and of the surface now.
  for (const TPolyIdx& t : cut.polys)
    if (!beforeTris.count(key(t))) add(e.after, t);
  for (size_t i = first; i < out.triangles.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      e.lo[k] = std::min(e.lo[k], out.triangles[i][k]);
      e.hi[k] = std::max(e.hi[k], out.triangles[i][k]);
    }
  if (out.triangles.size() > first) out.erases.push_back(std::make_shared<const TRefErase>(std::move(e)));
}

}  // namespace

bool t_eraseFiberAndCutMesh(TTriangleMesh& regionMesh, TRoiMesh& roi, std::vector<int>& regionToRoi,
                            std::vector<int>& roiToRegion, std::vector<TCrossPoint>& cps,
                            std::vector<TFiberStroke>& newFibers, std::vector<TFiberStroke>& stored,
                            TPoints& initial, int ringCount, int idx, std::string* message, TRefDropped* dropped) {
  t_progressStart(10, 0);
  std::fputs("check removability\n", stderr);
  t_progressStep(15);
  if (!t_checkFiberErasable(cps, newFibers, idx, message)) {
    t_progressEnd();
    return false;
  }
  std::fputs("cut mesh \n", stderr);
  t_progressStep(30);
  TTriangleMesh C;
  if (!t_cutMeshAlongFiber(regionMesh, newFibers[idx], C, message)) {
    t_progressEnd();
    return false;
  }
  // Smooth the closed cut: the erased fiber's vertices and two rings around them, except the
  // vertices that other fibers are tied to.
  {
    std::vector<uint8_t> flag(C.vertexCount, 0);
    for (const TFiberConstraint& c : newFibers[idx].constraints)
      for (int v : {c.meshA, c.meshB})
        if (v >= 0 && v < C.vertexCount) flag[v] = 1;
    for (int grow = 0; grow < 2; ++grow) {
      std::vector<uint8_t> next = flag;
      for (int v = 0; v < C.vertexCount; ++v)
        if (flag[v])
          for (int w : C.rings[v]) next[w] = 1;
      flag.swap(next);
    }
    auto unflag = [&](const TFiberStroke& f) {
      for (const TFiberConstraint& c : f.constraints)
        for (int v : {c.meshA, c.meshB})
          if (v >= 0 && v < C.vertexCount) flag[v] = 0;
    };
    for (int i = 0; i < static_cast<int>(newFibers.size()); ++i)
      if (i != idx) unflag(newFibers[i]);
    for (const TFiberStroke& f : stored) unflag(f);
    for (int pass = 0; pass < 5; ++pass) {
      TPoints moved = C.verts;
      for (int v = 0; v < C.vertexCount; ++v) {
        if (!flag[v] || C.rings[v].empty()) continue;
        double s[3] = {0, 0, 0};
        for (int w : C.rings[v])
          for (int q = 0; q < 3; ++q) s[q] += C.verts[w][q];
        const double k = 1.0 / static_cast<double>(C.rings[v].size());
        moved[v].set(s[0] * k, s[1] * k, s[2] * k);
      }
      C.verts = moved;
    }
    C.updateNormals();
    for (int v = static_cast<int>(initial.size()); v < C.vertexCount; ++v) initial.push_back(C.verts[v]);
  }

  std::fputs("check isolation\n", stderr);
  t_progressStep(35);
  std::vector<int> labels;
  C.getConnectedComponents(labels);
  auto label = [&](int v) { return (v >= 0 && v < static_cast<int>(labels.size())) ? labels[v] : -1; };
  const TFiberStroke& erased = newFibers[idx];
  int cA = erased.constraints.empty() ? -1 : label(erased.constraints[0].meshA);
  int cB = erased.constraints.empty() ? -1 : label(erased.constraints[0].meshB);
  auto heldByOther = [&](int comp) {
    if (comp < 0) return true;
    for (int i = 0; i < static_cast<int>(newFibers.size()); ++i)
      if (i != idx && !newFibers[i].constraints.empty() && label(newFibers[i].constraints[0].meshA) == comp)
        return true;
    for (const TFiberStroke& f : stored)
      if (!f.constraints.empty() && label(f.constraints[0].meshA) == comp) return true;
    return false;
  };
  if (heldByOther(cA)) cA = -1;
  if (heldByOther(cB)) cB = -1;
  // A fiber that did not split its surface leaves both ends in one part: that part is the
  // surface itself, not a piece the fiber alone enclosed, and it stays.
  if (cA >= 0 && cA == cB) cA = cB = -1;

  std::fputs("delete mesh\n", stderr);
  t_progressStep(50);
  if (dropped) recordDropped(regionMesh, C, labels, cA, cB, initial, *dropped);
  std::vector<int> map;
  TTriangleMesh kept;
  t_removeIsolatedMeshPart(C, labels, cA, cB, map, kept, initial);
  regionMesh.copyFrom(kept);

  std::fputs("fiber update \n", stderr);
  t_progressStep(70);
  newFibers.erase(newFibers.begin() + idx);
  renumber(newFibers, map);
  renumber(stored, map);
  for (TCrossPoint& cp : cps)
    for (auto& p : cp.newPairs) {
      if (p.first == idx) {
        std::fputs("strange cross point !!\n", stderr);
        // The ROI maps still name vertices of the surface before the cut: drop them so that no
        // deformation writes through them.
        roi.clear();
        regionToRoi.clear();
        roiToRegion.clear();
        t_progressEnd();
        return false;
      }
      if (p.first > idx) --p.first;
    }

  std::fputs("update ROI mesh", stderr);
  t_progressStep(80);
  std::vector<int> seeds;
  t_roiSeeds(newFibers, seeds);
  std::vector<TVec3> rv;
  std::vector<TPolyIdx> rp;
  t_extractRoiPatch(regionMesh, seeds, ringCount, rv, rp, roiToRegion, regionToRoi);
  roi.init(rv, rp, initial, roiToRegion);
  t_progressEnd();
  return true;
}
