#include "modes/curve/kernels/fiber_cut.h"

#include <cmath>
#include <cstdio>

void t_cutMeshByStrokeSurface(const TPoints& S, const TTriangleMesh& mesh, const TFiberView& view,
                              std::vector<uint8_t>& edgeCut, TPoints& cutPoints, std::vector<double>& strokePos) {
  const int ne = mesh.edgeCount;
  edgeCut.assign(ne, 0);
  cutPoints.assign(ne, TVec3());
  strokePos.assign(ne, 0.0);
  const int m = static_cast<int>(S.size());
  if (m < 2) return;

  double d[3];
  view.viewDirection(d);
  std::vector<TVec3> win(mesh.vertexCount);
  std::vector<uint8_t> front(mesh.vertexCount, 0), projected(mesh.vertexCount, 0);
  for (int v = 0; v < mesh.vertexCount; ++v) {
    double rel[3];
    t_sub3(mesh.verts[v], view.eye, rel);
    front[v] = t_dot3(rel, d) >= 0.0;
    projected[v] = view.project(mesh.verts[v], win[v]);
  }
  std::vector<double> c(m, 0.0);
  for (int i = 1; i < m; ++i) c[i] = c[i - 1] + t_dist3(S[i], S[i - 1]);

  for (int e = 0; e < ne; ++e) {
    const TMeshEdge& E = mesh.edges[e];
    const int A = E.vert0, B = E.vert1;
    if (A < 0 || B < 0 || !front[A] || !front[B] || !projected[A] || !projected[B]) continue;
    const TVec3& wa = win[A];
    const TVec3& wb = win[B];
    for (int k = 1; k < m; ++k) {
      const TVec3& s0 = S[k - 1];
      const TVec3& s1 = S[k];
      if (!t_segmentsBBoxOverlap(s0, s1, wa, wb)) continue;
      // s0 + s (s1 - s0) = wa + u (wb - wa)
      const double ax = s1[0] - s0[0], ay = s1[1] - s0[1];
      const double bx = wb[0] - wa[0], by = wb[1] - wa[1];
      const double det = -ax * by + ay * bx;
      if (det == 0.0) continue;
      const double rx = wa[0] - s0[0], ry = wa[1] - s0[1];
      const double s = (-rx * by + ry * bx) / det;
      const double u = (ax * ry - ay * rx) / det;
      if (!(s >= 0.0 && s <= 1.0 && u > 0.0 && u < 1.0)) continue;
      edgeCut[e] = 1;
      for (int q = 0; q < 3; ++q) cutPoints[e][q] = mesh.verts[A][q] + u * (mesh.verts[B][q] - mesh.verts[A][q]);
      strokePos[e] = c[k - 1] + s * t_dist3(s1, s0);
      break;
    }
  }
}

bool t_linkCutSegments(const TTriangleMesh& mesh, const std::vector<uint8_t>& edgeCut,
                       std::vector<std::vector<int>>& polylines) {
  polylines.clear();
  const int ne = mesh.edgeCount;
  std::vector<uint8_t> mark(ne, 0);
  for (int e = 0; e < ne && e < static_cast<int>(edgeCut.size()); ++e) mark[e] = edgeCut[e] ? 1 : 0;
  for (int p = 0; p < mesh.polyCount; ++p) {
    const TPolyIdx& pe = mesh.polyEdges[p];
    if (mark[pe[0]] && mark[pe[1]] && mark[pe[2]]) return false;
  }
  for (;;) {
    int start = -1, prevFace = -1;
    for (int p = 0; p < mesh.polyCount && start < 0; ++p) {
      const TPolyIdx& pe = mesh.polyEdges[p];
      const bool m0 = mark[pe[0]] == 1, m1 = mark[pe[1]] == 1, m2 = mark[pe[2]] == 1;
      if (m0 && !m1 && !m2) start = pe[0];
      else if (!m0 && m1 && !m2) start = pe[1];
      else if (!m0 && !m1 && m2) start = pe[2];
      if (start >= 0) prevFace = p;
    }
    // A cut edge on the mesh border is a free end as well: walk from it into its one face, so
    // that a cut across an open surface stays one polyline.
    if (start < 0) {
      for (int e = 0; e < ne; ++e)
        if (mark[e] == 1 && mesh.edges[e].isBoundary()) {
          start = e;
          prevFace = -1;
          break;
        }
    }
    if (start < 0) {
      for (int e = 0; e < ne; ++e)
        if (mark[e] == 1) {
          start = e;
          prevFace = mesh.edges[e].polyA;
          break;
        }
    }
    if (start < 0) return true;
    polylines.emplace_back(1, start);
    std::vector<int>& line = polylines.back();
    int cur = start;
    for (;;) {
      mark[cur] = 2;
      const TMeshEdge& E = mesh.edges[cur];
      const int face = (prevFace == E.polyA) ? E.polyB : E.polyA;
      // At the mesh border the cut leaves the surface: the polyline ends here.
      if (face < 0 || face >= mesh.polyCount) break;
      const TPolyIdx& fe = mesh.polyEdges[face];
      int next = -1;
      for (int k = 0; k < 3; ++k)
        if (mark[fe[k]] == 1) {
          next = fe[k];
          break;
        }
      if (next < 0) break;
      line.push_back(next);
      prevFace = face;
      cur = next;
    }
  }
}

void t_setFiberConstraintParams(const TPoints& R, const std::vector<double>& u, std::vector<int>& pointConstraint,
                                std::vector<TFiberConstraint>& cs) {
  const int m = static_cast<int>(R.size());
  const int n = static_cast<int>(cs.size());
  pointConstraint.assign(m, 0);
  if (n == 0) return;
  const double L = t_polylineLength(R);
  std::vector<uint8_t> set(n, 0);
  int j = 0;
  double before = 0.0;
  for (int k = 0; k + 1 < n && j + 1 < m; ++k) {
    const double s = L * u[k];
    while (j + 1 < m) {
      const double seg = t_dist3(R[j + 1], R[j]);
      if (before + seg >= s) {
        cs[k].fibA = j;
        cs[k].fibB = j + 1;
        cs[k].t = seg > 0.0 ? 1.0 - (s - before) / seg : 1.0;
        set[k] = 1;
        break;
      }
      before += seg;
      ++j;
    }
  }
  for (int k = 0; k < n; ++k)
    if (!set[k] || k == n - 1) {
      cs[k].fibA = m - 2;
      cs[k].fibB = m - 1;
      cs[k].t = 0.0;
    }
  if (m == 0) return;
  pointConstraint[0] = 0;
  pointConstraint[m - 1] = n - 1;
  double acc = 0.0;
  for (int i = 1; i + 1 < m; ++i) {
    acc += t_dist3(R[i], R[i - 1]);
    const double p = L > 0.0 ? acc / L : 0.0;
    int ks = -1;
    for (int k = 0; k < n; ++k)
      if (u[k] > p) {
        ks = k;
        break;
      }
    if (ks < 0) {
      std::fputs("strange error 1292938\n", stderr);
      pointConstraint[i] = n - 1;
    } else if (ks == 0) {
      pointConstraint[i] = 0;
    } else {
      pointConstraint[i] = std::fabs(p - u[ks - 1]) > std::fabs(p - u[ks]) ? ks : ks - 1;
    }
  }
}

bool t_createFibersFromStroke(const TPoints& S, const TTriangleMesh& mesh, const TFiberView& view,
                              std::vector<TFiberStroke>& fibers) {
  std::vector<uint8_t> cut;
  TPoints cutPts;
  std::vector<double> arc;
  t_cutMeshByStrokeSurface(S, mesh, view, cut, cutPts, arc);
  std::vector<std::vector<int>> lines;
  fibers.clear();
  if (!t_linkCutSegments(mesh, cut, lines)) return false;
  const double strokeLen = t_polylineLength(S);
  fibers.resize(lines.size());
  for (size_t f = 0; f < lines.size(); ++f) {
    const std::vector<int>& line = lines[f];
    TFiberStroke& F = fibers[f];
    const int n = static_cast<int>(line.size());
    TPoints P(n);
    F.constraints.assign(n, TFiberConstraint());
    std::vector<double> u(n, 0.0);
    double total = 0.0;
    for (int k = 0; k < n; ++k) {
      const int e = line[k];
      const TMeshEdge& E = mesh.edges[e];
      P[k] = cutPts[e];
      TFiberConstraint& c = F.constraints[k];
      c.meshA = E.vert0;
      c.meshB = E.vert1;
      const double len = t_dist3(mesh.verts[E.vert0], mesh.verts[E.vert1]);
      c.w = len > 0.0 ? t_dist3(P[k], mesh.verts[E.vert1]) / len : 0.5;
      for (int q = 0; q < 3; ++q) c.pos[q] = P[k][q];
      c.active = 1;
      c.inRoi = 0;
      c.strokePos = strokeLen > 0.0 ? 10.0 * arc[e] / strokeLen : 0.0;
      c.eyeDist = t_dist3(P[k], view.eye);
      if (k > 0) total += t_dist3(P[k], P[k - 1]);
      u[k] = total;
    }
    for (double& x : u) x = total > 0.0 ? x / total : 0.0;
    if (n > 1) {
      const TMeshEdge& e0 = mesh.edges[line.front()];
      const TMeshEdge& e1 = mesh.edges[line.back()];
      F.closed = e0.vert0 == e1.vert0 || e0.vert0 == e1.vert1 || e0.vert1 == e1.vert0 || e0.vert1 == e1.vert1;
    }
    TPoints R = P;
    if (n >= 2) t_resamplePolyline(static_cast<int>(0.7 * n), P, R);
    F.points = R;
    F.radius = 0.01;
    F.pinned.assign(R.size(), 0);
    F.updateTube();
    t_setFiberConstraintParams(R, u, F.pointConstraint, F.constraints);
  }
  for (const TFiberStroke& F : fibers) {
    if (F.points.size() == 1) return false;
    for (const TFiberConstraint& c : F.constraints)
      if (c.fibA == -1 || c.fibB == -1) {
        std::fputs("there is strange fiber info!!!!!!!!\n", stderr);
        return false;
      }
  }
  return true;
}

bool t_addFiberCrossPoints(const TPoints& S, const TFiberView& view, std::vector<TFiberStroke>& newFibers,
                           std::vector<TFiberStroke>& stored, std::vector<TCrossPoint>& cps) {
  std::fputs("addFiberCrossPoints \n", stderr);
  for (int fi = 0; fi < static_cast<int>(stored.size()); ++fi) {
    TFiberStroke& F = stored[fi];
    const int np = static_cast<int>(F.points.size());
    TPoints win(np);
    for (int i = 0; i < np; ++i) view.project(F.points[i], win[i]);
    std::vector<std::pair<int, double>> crossings;
    t_crossPoint2D(S, win, F.closed, crossings);
    for (const auto& cr : crossings) {
      const int i = cr.first;
      const double t = cr.second;
      const int j = (i == np - 1) ? 0 : i + 1;
      TVec3 X;
      for (int k = 0; k < 3; ++k) X[k] = F.points[i][k] + t * (F.points[j][k] - F.points[i][k]);
      int q;
      if (t < 0.5) {
        F.points[i] = X;
        q = i;
      } else {
        F.points[j] = X;
        q = j;
      }
      int bf = -1, bp = -1;
      double best = 1e7;
      for (int f = 0; f < static_cast<int>(newFibers.size()); ++f)
        for (int p = 0; p < static_cast<int>(newFibers[f].points.size()); ++p) {
          const double d2 = t_distSq3(newFibers[f].points[p], X);
          if (d2 < best) {
            best = d2;
            bf = f;
            bp = p;
          }
        }
      if (bf < 0) return false;
      const TPoints& NP = newFibers[bf].points;
      const double first = NP.size() >= 2 ? t_dist3(NP[0], NP[1]) : 0.0;
      if (best > 2.0 * first) return false;
      newFibers[bf].points[bp] = X;
      F.setPointFlag(q, 1);
      newFibers[bf].setPointFlag(bp, 1);
      int found = -1;
      for (int c = 0; c < static_cast<int>(cps.size()); ++c)
        for (const auto& sp : cps[c].storedPairs)
          if (sp.first == fi && sp.second == q) found = c;
      if (found >= 0) {
        for (const auto& sp : cps[found].storedPairs)
          if (sp.first >= 0 && sp.first < static_cast<int>(stored.size()) && sp.second >= 0 &&
              sp.second < static_cast<int>(stored[sp.first].points.size()))
            stored[sp.first].points[sp.second] = X;
        cps[found].newPairs.emplace_back(bf, bp);
      } else {
        TCrossPoint cp;
        cp.newPairs.emplace_back(bf, bp);
        cp.storedPairs.emplace_back(fi, q);
        cps.push_back(cp);
      }
    }
  }
  std::fputs("addFiberCrossPoints end\n", stderr);
  return true;
}

void t_rebuildFiberTree(std::vector<TFiberStroke>& fibers) {
  const int n = static_cast<int>(fibers.size());
  std::vector<TPoints> loops(n);
  for (int i = 0; i < n; ++i)
    for (const TFiberConstraint& c : fibers[i].constraints) loops[i].emplace_back(c.strokePos, c.eyeDist, 0.0);
  std::vector<std::vector<int>> ancestors(n);
  for (int i = 0; i < n; ++i) {
    if (loops[i].empty()) continue;
    for (int j = 0; j < n; ++j) {
      if (i == j || loops[j].empty()) continue;
      double sum;
      if (t_isPointInLoop(loops[i][0], loops[j], sum)) ancestors[i].push_back(j);
    }
  }
  for (int i = 0; i < n; ++i) fibers[i].depth = static_cast<int>(ancestors[i].size());
  for (int i = 0; i < n; ++i) {
    if (fibers[i].depth == 0) {
      fibers[i].parent = -1;
      continue;
    }
    int parent = -1;
    for (int j : ancestors[i])
      if (fibers[j].depth == fibers[i].depth - 1 && j > parent) parent = j;
    if (parent < 0) std::fputs("something wrong!!!!!!!!!!!!!!!!!\n", stderr);
    else fibers[i].parent = parent;
  }
}

void t_projectToStrokeSurface(double p[3], const double eye[3], const TPoints& S) {
  const int m = static_cast<int>(S.size());
  if (m < 3) return;
  double d[3];
  t_sub3(p, eye, d);
  if (!t_normalize3(d)) return;  // the eye itself: no line to measure from
  int i = -1;
  double best = 1e9;
  std::vector<double> dist(m);
  for (int k = 0; k < m; ++k) {
    dist[k] = t_distPointToLineSq(S[k], eye, d);
    if (dist[k] < best) {
      best = dist[k];
      i = k;
    }
  }
  if (i < 0) return;
  int j;
  if (i == 0) j = 1;
  else if (i == m - 1) j = m - 2;
  else j = dist[i - 1] < dist[i + 1] ? i - 1 : i + 1;
  double a[3], b[3], nrm[3];
  t_sub3(S[i], S[j], a);
  t_sub3(S[i], eye, b);
  t_cross3(a, b, nrm);
  if (!t_normalize3(nrm)) return;
  double rel[3];
  t_sub3(p, eye, rel);
  const double h = t_dot3(rel, nrm);
  for (int k = 0; k < 3; ++k) p[k] -= h * nrm[k];
}

void t_snapFiberToCurve(TFiberStroke& fiber, const double eye[3], const TPoints& stroke) {
  for (TVec3& p : fiber.points) t_projectToStrokeSurface(p, eye, stroke);
  fiber.updateTube();
}

bool t_pickFiberPoint(double x, double y, const TFiberView& view, const std::vector<TFiberStroke>& fibers,
                      TFiberPick& pick) {
  double o[3], d[3];
  view.cursorRay(x, y, o, d);
  double best = 1e9;
  bool found = false;
  for (int f = 0; f < static_cast<int>(fibers.size()); ++f) {
    int idx = -1;
    const double dist = fibers[f].closestPoint(o, d, idx);
    if (idx < 0 || !(dist < 3.0 * fibers[f].radius)) continue;
    const double fromEye = t_dist3(fibers[f].points[idx], o);
    if (fromEye < best) {
      best = fromEye;
      pick.fiber = f;
      pick.point = idx;
      for (int k = 0; k < 3; ++k) pick.pos[k] = fibers[f].points[idx][k];
      found = true;
    }
  }
  return found;
}
