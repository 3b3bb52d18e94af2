// Edge collapse, edge split, remeshing and neighbourhood queries of TTriangleMesh.
#include <cstdio>
#include <deque>
#include <unordered_set>

#include "geom/TTriangleMesh.h"

namespace {

int farEnd(const TMeshEdge& e, int from) { return e.vert0 == from ? e.vert1 : e.vert0; }

void replaceWing(TMeshEdge& e, int from, int to) {
  if (e.wingA0 == from) e.wingA0 = to;
  if (e.wingA1 == from) e.wingA1 = to;
  if (e.wingB0 == from) e.wingB0 = to;
  if (e.wingB1 == from) e.wingB1 = to;
}

}  // namespace

bool TTriangleMesh::isCollapsible(int e) const {
  if (!validEdge(e)) return false;
  const TMeshEdge& E = edges[e];
  const int a = E.vert0, b = E.vert1;
  if (isBoundaryVertex(a) || isBoundaryVertex(b)) return false;
  if (!validEdge(E.wingA0) || !validEdge(E.wingB0)) return false;
  const int c = farEnd(edges[E.wingA0], a);
  const int d = farEnd(edges[E.wingB0], a);

  // Valence by the forward walk around the vertex.
  auto valence = [&](int v) {
    const int s = vertEdge[v];
    if (!validEdge(s)) return 0;
    int count = 0, R = s;
    do {
      ++count;
      const TMeshEdge& X = edges[R];
      R = (X.vert0 == v) ? X.wingA0 : X.wingB1;
    } while (validEdge(R) && R != s && count <= edgeCount);
    return count;
  };
  if (valence(a) < 3 || valence(b) < 3) return false;
  // c and d each lose one edge.  At valence 3 they would be left with two neighbours and
  // two triangles on the same three corners (the last collapse of a tetrahedron).
  // Counted over the whole fan (both walks): c or d may lie on a boundary, where the
  // forward walk alone stops early.
  if (getValence(c) < 4 || getValence(d) < 4) return false;

  std::vector<int> ra, rb;
  getRingVerts(a, ra);
  getRingVerts(b, rb);
  std::unordered_set<int> around;
  for (int v : ra)
    if (v != c && v != d) around.insert(v);
  for (int v : rb)
    if (around.count(v)) return false;
  return true;
}

bool TTriangleMesh::collapseEdge(int e) {
  // The re-linking trusts the winged-edge table: on a mesh that failed its topology
  // checks (coinciding wings, a third triangle on an edge) it would leave dead vertices
  // referenced by live triangles.
  if (!isValid || !validEdge(e)) return false;
  if (!isCollapsible(e) || edges[e].isBoundary()) return false;
  const TMeshEdge E = edges[e];
  const int a = E.vert0, b = E.vert1;
  const int A = E.polyA, B = E.polyB;
  const int ac = E.wingA0, bc = E.wingA1, ad = E.wingB0, bd = E.wingB1;
  const int c = farEnd(edges[ac], a);
  const int d = farEnd(edges[ad], a);

  for (int k = 0; k < 3; ++k) verts[a][k] = (verts[a][k] + verts[b][k]) * 0.5;

  std::vector<int> ringV, ringP, ringE;
  getRing(b, ringV, ringP, ringE);

  // The triangle on the far side of the edge xy (xy joins b and the vertex y) from the
  // dying triangle `dying`, with its edges at b and at y.
  struct Far {
    int poly, edgeAtB, edgeAtY;
  };
  auto farSide = [&](int xy, int dying, int y) {
    const TMeshEdge& X = edges[xy];
    Far f;
    if (X.polyA == dying) {
      f.poly = X.polyB;
      f.edgeAtB = (X.vert0 == b) ? X.wingB0 : X.wingB1;
      f.edgeAtY = (X.vert0 == y) ? X.wingB0 : X.wingB1;
    } else {
      f.poly = X.polyA;
      f.edgeAtB = (X.vert0 == b) ? X.wingA0 : X.wingA1;
      f.edgeAtY = (X.vert0 == y) ? X.wingA0 : X.wingA1;
    }
    return f;
  };
  // The edge a-y takes over the far triangle of b-y: it goes into the slot of the dying
  // triangle, whose direction along a-y it shares once b has become a.
  auto inherit = [&](int ay, const Far& f, int dying, int deadOther, int liveOther) {
    TMeshEdge& R = edges[ay];
    const int atA = f.edgeAtB == deadOther ? liveOther : f.edgeAtB;
    const int atY = f.edgeAtY == deadOther ? liveOther : f.edgeAtY;
    const int w0 = (R.vert0 == a) ? atA : atY;
    const int w1 = (R.vert0 == a) ? atY : atA;
    if (R.polyA == dying) {
      R.polyA = f.poly;
      R.wingA0 = w0;
      R.wingA1 = w1;
    } else {
      R.polyB = f.poly;
      R.wingB0 = w0;
      R.wingB1 = w1;
    }
  };

  const Far X = farSide(bc, A, c);
  const Far Y = farSide(bd, B, d);
  inherit(ac, X, A, bd, ad);
  inherit(ad, Y, B, bc, ac);
  for (int fp : {X.poly, Y.poly})
    if (fp >= 0)
      for (int k = 0; k < 3; ++k)
        if (polys[fp][k] == b) polys[fp][k] = a;

  vertEdge[a] = vertEdge[c] = ac;
  vertEdge[d] = ad;

  if (X.poly >= 0) {
    for (int k = 0; k < 3; ++k)
      if (polyEdges[X.poly][k] == bc) polyEdges[X.poly][k] = ac;
    for (int k = 0; k < 3; ++k) replaceWing(edges[polyEdges[X.poly][k]], bc, ac);
  }
  if (Y.poly >= 0) {
    for (int k = 0; k < 3; ++k)
      if (polyEdges[Y.poly][k] == bd) polyEdges[Y.poly][k] = ad;
    for (int k = 0; k < 3; ++k) replaceWing(edges[polyEdges[Y.poly][k]], bd, ad);
  }

  for (int p : ringP) {
    if (p == A || p == B || p < 0) continue;
    for (int k = 0; k < 3; ++k)
      if (polys[p][k] == b) polys[p][k] = a;
  }
  for (int r : ringE) {
    if (r == e || r == bc || r == bd) continue;
    TMeshEdge& R = edges[r];
    if (R.vert0 == b) R.vert0 = a;
    if (R.vert1 == b) R.vert1 = a;
    if (R.vert0 > R.vert1) {
      std::swap(R.vert0, R.vert1);
      std::swap(R.polyA, R.polyB);
      std::swap(R.wingA0, R.wingB1);
      std::swap(R.wingA1, R.wingB0);
    }
  }
  return true;
}

void TTriangleMesh::compact(const std::set<int>& RV, const std::set<int>& RP, const std::set<int>& RE) {
  std::vector<int> vmap(vertexCount, -1), pmap(polyCount, -1), emap(edgeCount, -1);
  int nv = 0, np = 0, ne = 0;
  for (int i = 0; i < vertexCount; ++i)
    if (!RV.count(i)) vmap[i] = nv++;
  for (int i = 0; i < polyCount; ++i)
    if (!RP.count(i)) pmap[i] = np++;
  for (int i = 0; i < edgeCount; ++i)
    if (!RE.count(i)) emap[i] = ne++;
  auto mapOf = [](const std::vector<int>& m, int i) { return (i >= 0 && i < static_cast<int>(m.size())) ? m[i] : -1; };

  std::vector<TVec3> nVerts(nv), nNormals(nv);
  std::vector<int> nVertEdge(nv);
  for (int i = 0; i < vertexCount; ++i) {
    const int j = vmap[i];
    if (j < 0) continue;
    nVerts[j] = verts[i];
    nNormals[j] = vertNormals[i];
    nVertEdge[j] = mapOf(emap, vertEdge[i]);
  }
  std::vector<TPolyIdx> nPolys(np), nPolyEdges(np);
  std::vector<TVec3> nPolyNormals(np);
  for (int i = 0; i < polyCount; ++i) {
    const int j = pmap[i];
    if (j < 0) continue;
    for (int k = 0; k < 3; ++k) {
      nPolys[j][k] = mapOf(vmap, polys[i][k]);
      nPolyEdges[j][k] = mapOf(emap, polyEdges[i][k]);
    }
    nPolyNormals[j] = polyNormals[i];
  }
  std::vector<TMeshEdge> nEdges(ne);
  for (int i = 0; i < edgeCount; ++i) {
    const int j = emap[i];
    if (j < 0) continue;
    const TMeshEdge& E = edges[i];
    TMeshEdge& N = nEdges[j];
    N.vert0 = mapOf(vmap, E.vert0);
    N.vert1 = mapOf(vmap, E.vert1);
    N.polyA = mapOf(pmap, E.polyA);
    N.polyB = mapOf(pmap, E.polyB);
    N.wingA0 = mapOf(emap, E.wingA0);
    N.wingA1 = mapOf(emap, E.wingA1);
    N.wingB0 = mapOf(emap, E.wingB0);
    N.wingB1 = mapOf(emap, E.wingB1);
  }
  vertexCount = nv;
  polyCount = np;
  edgeCount = ne;
  verts.swap(nVerts);
  vertNormals.swap(nNormals);
  vertEdge.swap(nVertEdge);
  polys.swap(nPolys);
  polyEdges.swap(nPolyEdges);
  polyNormals.swap(nPolyNormals);
  edges.swap(nEdges);
  updateNormals();
  updateRingLists();
}

void TTriangleMesh::remeshToEdgeLength(const std::vector<uint16_t>& movable, std::vector<int>& newIndex,
                                       double ratio) {
  const double L = averageEdgeLength();
  const double bound = ratio * L;
  std::set<int> RV, RP, RE;
  // Where two surfaces touch in one vertex, the walk around it sees one fan only:
  // collapsing such a vertex away would leave the triangles of its other fan pointing at
  // a removed vertex.  It stays, like a vertex that is not movable.
  std::vector<int> incident(vertexCount, 0);
  for (const TMeshEdge& E : edges) {
    if (validVertex(E.vert0)) ++incident[E.vert0];
    if (validVertex(E.vert1)) ++incident[E.vert1];
  }
  std::vector<uint8_t> canMove(vertexCount, 0);
  for (int v = 0; v < vertexCount && v < static_cast<int>(movable.size()); ++v)
    canMove[v] = movable[v] != 0 && getValence(v) == incident[v];
  auto isMovable = [&](int v) { return validVertex(v) && canMove[v] != 0; };
  bool collapsed = true;
  while (collapsed) {
    collapsed = false;
    for (int e = 0; e < edgeCount; ++e) {
      if (RE.count(e)) continue;
      const TMeshEdge E = edges[e];
      if (!isMovable(E.vert0) || !isMovable(E.vert1)) continue;
      if (t_dist3(verts[E.vert0], verts[E.vert1]) > bound) continue;
      if (!collapseEdge(e)) continue;
      RV.insert(E.vert1);
      RP.insert(E.polyA);
      RP.insert(E.polyB);
      RE.insert(E.wingA1);
      RE.insert(E.wingB1);
      RE.insert(e);
      collapsed = true;
    }
  }
  newIndex.assign(vertexCount, -1);
  int next = 0;
  for (int i = 0; i < vertexCount; ++i)
    if (!RV.count(i)) newIndex[i] = next++;
  compact(RV, RP, RE);
}

int TTriangleMesh::appendVertex() {
  verts.emplace_back();
  vertNormals.emplace_back();
  vertEdge.push_back(-1);
  if (static_cast<int>(rings.size()) == vertexCount) rings.emplace_back();
  return vertexCount++;
}

int TTriangleMesh::appendEdge() {
  edges.emplace_back();
  return edgeCount++;
}

int TTriangleMesh::appendPoly() {
  polys.push_back({0, 0, 0});
  polyEdges.push_back({0, 0, 0});
  polyNormals.emplace_back();
  return polyCount++;
}

bool TTriangleMesh::splitEdge(int e, const double point[3], int& newVertex) {
  if (!validEdge(e)) {
    fprintf(stderr, "splitEdge: there is no edge %d (the mesh has %d edges)\n", e, edgeCount);
    return false;
  }
  const int a = edges[e].vert0, b = edges[e].vert1;
  const int A = edges[e].polyA, B = edges[e].polyB;
  const int ac = edges[e].wingA0, bc = edges[e].wingA1;
  const int ad = edges[e].wingB0, bd = edges[e].wingB1;
  if ((A != -1 && (!validEdge(ac) || !validEdge(bc))) || (B != -1 && (!validEdge(ad) || !validEdge(bd)))) {
    fprintf(stderr, "splitEdge: edge %d has broken wings\n", e);
    return false;
  }
  const int c = A != -1 ? farEnd(edges[ac], a) : -1;
  const int d = B != -1 ? farEnd(edges[ad], a) : -1;

  const int m = appendVertex();
  verts[m].set(point[0], point[1], point[2]);
  newVertex = m;
  const int e2 = appendEdge();
  int ec = -1, A2 = -1, ed = -1, B2 = -1;
  if (A != -1) {
    ec = appendEdge();
    A2 = appendPoly();
  }
  if (B != -1) {
    ed = appendEdge();
    B2 = appendPoly();
  }

  edges[e].vert1 = m;
  edges[e2].vert0 = b;
  edges[e2].vert1 = m;
  vertEdge[a] = e;
  vertEdge[b] = vertEdge[m] = e2;

  if (A != -1) {
    for (int k = 0; k < 3; ++k) {
      if (polys[A][k] == b) polys[A][k] = m;
      if (polyEdges[A][k] == bc) polyEdges[A][k] = ec;
    }
    polys[A2] = {m, b, c};
    polyEdges[A2] = {e2, bc, ec};
    TMeshEdge& EC = edges[ec];
    EC.vert0 = c;
    EC.vert1 = m;
    EC.polyA = A2;
    EC.wingA0 = bc;
    EC.wingA1 = e2;
    EC.polyB = A;
    EC.wingB0 = ac;
    EC.wingB1 = e;
    edges[e].wingA1 = ec;
    edges[e2].polyB = A2;
    edges[e2].wingB0 = bc;
    edges[e2].wingB1 = ec;
    replaceWing(edges[ac], bc, ec);
    TMeshEdge& BC = edges[bc];
    replaceWing(BC, ac, ec);
    replaceWing(BC, e, e2);
    if (BC.polyA == A) BC.polyA = A2;
    if (BC.polyB == A) BC.polyB = A2;
    vertEdge[c] = ac;
  }
  if (B != -1) {
    for (int k = 0; k < 3; ++k) {
      if (polys[B][k] == b) polys[B][k] = m;
      if (polyEdges[B][k] == bd) polyEdges[B][k] = ed;
    }
    polys[B2] = {m, d, b};
    polyEdges[B2] = {ed, bd, e2};
    TMeshEdge& ED = edges[ed];
    ED.vert0 = d;
    ED.vert1 = m;
    ED.polyA = B;
    ED.wingA0 = ad;
    ED.wingA1 = e;
    ED.polyB = B2;
    ED.wingB0 = bd;
    ED.wingB1 = e2;
    edges[e].wingB1 = ed;
    edges[e2].polyA = B2;
    edges[e2].wingA0 = bd;
    edges[e2].wingA1 = ed;
    replaceWing(edges[ad], bd, ed);
    TMeshEdge& BD = edges[bd];
    replaceWing(BD, ad, ed);
    replaceWing(BD, e, e2);
    if (BD.polyA == B) BD.polyA = B2;
    if (BD.polyB == B) BD.polyB = B2;
    vertEdge[d] = ad;
  }
  updateNormals();
  updateRingLists();
  return true;
}

int TTriangleMesh::getConnectedComponents(std::vector<int>& labels) {
  ensureRingLists();
  labels.assign(vertexCount, -1);
  int k = 0;
  std::deque<int> queue;
  for (int s = 0; s < vertexCount; ++s) {
    if (labels[s] != -1) continue;
    labels[s] = k;
    queue.push_back(s);
    while (!queue.empty()) {
      const int v = queue.front();
      queue.pop_front();
      for (int w : rings[v])
        if (labels[w] == -1) {
          labels[w] = k;
          queue.push_back(w);
        }
    }
    ++k;
  }
  return k;
}

void TTriangleMesh::extractSubmesh(const std::vector<int>& seeds, uint32_t steps, std::vector<TVec3>& outVerts,
                                   std::vector<TPolyIdx>& outPolys, std::vector<int>& outOld,
                                   std::vector<int>& outNew) {
  ensureRingLists();
  std::vector<uint8_t> flag(vertexCount, 0);
  for (int s : seeds)
    if (validVertex(s)) flag[s] = 1;
  for (uint32_t step = 0; step < steps; ++step) {
    for (int v = 0; v < vertexCount; ++v)
      if (flag[v] == 1)
        for (int w : rings[v])
          if (flag[w] != 1) flag[w] = 2;
    bool grew = false;
    for (int v = 0; v < vertexCount; ++v)
      if (flag[v] == 2) {
        flag[v] = 1;
        grew = true;
      }
    if (!grew) break;  // nothing more can be reached
  }
  outNew.assign(vertexCount, -1);
  outOld.clear();
  outVerts.clear();
  outPolys.clear();
  for (int v = 0; v < vertexCount; ++v) {
    if (!flag[v]) continue;
    outNew[v] = static_cast<int>(outVerts.size());
    outVerts.push_back(verts[v]);
    outOld.push_back(v);
  }
  for (int i = 0; i < polyCount; ++i) {
    const TPolyIdx& P = polys[i];
    if (flag[P[0]] && flag[P[1]] && flag[P[2]]) outPolys.push_back({outNew[P[0]], outNew[P[1]], outNew[P[2]]});
  }
}

void TTriangleMesh::collectNeighbourhood(int v, std::set<int>& out) {
  ensureRingLists();
  out.clear();
  if (!validVertex(v)) return;
  std::set<int> frontier = {v};
  for (int round = 0; round < 6; ++round) {
    for (int f : frontier) out.insert(f);
    std::set<int> next;
    for (int f : frontier)
      for (int w : rings[f])
        if (!out.count(w) && !frontier.count(w)) next.insert(w);
    frontier.swap(next);
  }
}
