// The case tables are derived from the cube geometry instead of being typed in.  Every
// face of a cell decides on its own which cut edges it joins, from the signs of its four
// corners alone; a face with two diagonal inside corners always keeps the inside corners
// apart.  Two cells that share a face see the same four corners and therefore draw the
// same segments on it, so the pieces of neighbouring cells meet edge to edge and the
// extracted surface is closed.  Segments are directed so that the inside lies on their
// right when seen from outside the cell; chaining them gives each polygon with the
// right-hand normal pointing from the inside corners to the outside ones.
#include "geom/marching_cubes_tables.h"

#include <cstdlib>
#include <cstdio>

const int kMcCornerOffset[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                                   {0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
const int kMcEdgeCorners[12][2] = {{0, 1}, {1, 2}, {3, 2}, {0, 3}, {4, 5}, {5, 6},
                                   {7, 6}, {4, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

namespace {

// Corners of each face in cyclic order, and the face's outward normal.
const int kFaceCorners[6][4] = {{0, 3, 7, 4}, {1, 2, 6, 5}, {0, 1, 2, 3},
                                {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 2, 6, 7}};
const int kFaceNormal[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};

int edgeOf(int a, int b) {
  for (int e = 0; e < 12; ++e)
    if ((kMcEdgeCorners[e][0] == a && kMcEdgeCorners[e][1] == b) ||
        (kMcEdgeCorners[e][0] == b && kMcEdgeCorners[e][1] == a))
      return e;
  return -1;
}

// Doubled coordinates of the edge midpoint, so everything stays integral.
void edgeMid2(int e, int out[3]) {
  for (int a = 0; a < 3; ++a)
    out[a] = kMcCornerOffset[kMcEdgeCorners[e][0]][a] + kMcCornerOffset[kMcEdgeCorners[e][1]][a];
}

// Sign of ((mb - ma) x (corner - ma)) . n, in doubled coordinates.
int sideOf(int ea, int eb, int corner, const int n[3]) {
  int ma[3], mb[3], t[3], x[3], c[3];
  edgeMid2(ea, ma);
  edgeMid2(eb, mb);
  for (int a = 0; a < 3; ++a) {
    t[a] = mb[a] - ma[a];
    x[a] = 2 * kMcCornerOffset[corner][a] - ma[a];
  }
  c[0] = t[1] * x[2] - t[2] * x[1];
  c[1] = t[2] * x[0] - t[0] * x[2];
  c[2] = t[0] * x[1] - t[1] * x[0];
  const int s = c[0] * n[0] + c[1] * n[1] + c[2] * n[2];
  return (s > 0) - (s < 0);
}

// Faces (bit mask) that an edge lies on.
int edgeFaces(int e) {
  int m = 0;
  for (int f = 0; f < 6; ++f) {
    int c = 0;
    for (int k = 0; k < 4; ++k)
      c += (kFaceCorners[f][k] == kMcEdgeCorners[e][0] || kFaceCorners[f][k] == kMcEdgeCorners[e][1]);
    if (c == 2) m |= 1 << f;
  }
  return m;
}

// A diagonal between two vertices on one cube face would also be a candidate diagonal
// of the neighbouring cell across that face; if both cells took it, the edge would
// carry four triangles.  Diagonals therefore never join two edges of a common face.
bool diagonalAllowed(int ea, int eb) { return (edgeFaces(ea) & edgeFaces(eb)) == 0; }

// Triangulations of the polygon cyc[a..b] closed by the chord (a, b): tries every apex
// and recurses; fills tri and returns true for the first one whose chords are allowed.
bool triangulateRange(const int* cyc, int len, int a, int b, int (*tri)[3], int& nt) {
  if (b - a < 2) return true;
  for (int k = a + 1; k < b; ++k) {
    const bool chordAK = (k - a == 1) || diagonalAllowed(cyc[a], cyc[k]);
    const bool chordKB = (b - k == 1) || diagonalAllowed(cyc[k], cyc[b]);
    if (!chordAK || !chordKB) continue;
    const int saved = nt;
    tri[nt][0] = cyc[a];
    tri[nt][1] = cyc[k];
    tri[nt][2] = cyc[b];
    ++nt;
    if (triangulateRange(cyc, len, a, k, tri, nt) && triangulateRange(cyc, len, k, b, tri, nt)) return true;
    nt = saved;
  }
  return false;
}

// Triangles of one polygon (in cycle order, so the orientation is kept): a fan from the
// first vertex where that is allowed, otherwise the first allowed triangulation found
// from any starting vertex.
int triangulate(const int* cyc, int len, int (*tri)[3]) {
  for (int r = 0; r < len; ++r) {
    int rot[12];
    for (int m = 0; m < len; ++m) rot[m] = cyc[(r + m) % len];
    bool fanOk = true;
    for (int k = 2; k + 1 < len; ++k) fanOk = fanOk && diagonalAllowed(rot[0], rot[k]);
    if (fanOk) {
      for (int k = 1; k + 1 < len; ++k) {
        tri[k - 1][0] = rot[0];
        tri[k - 1][1] = rot[k];
        tri[k - 1][2] = rot[k + 1];
      }
      return len - 2;
    }
  }
  for (int r = 0; r < len; ++r) {
    int rot[12];
    for (int m = 0; m < len; ++m) rot[m] = cyc[(r + m) % len];
    int nt = 0;
    if (diagonalAllowed(rot[0], rot[len - 1]) || len == 3) {
      if (triangulateRange(rot, len, 0, len - 1, tri, nt)) return nt;
    }
  }
  fprintf(stderr, "marching cubes table: no closed triangulation for a %d-gon\n", len);
  abort();
}

void buildCase(int idx, TMcTables& T) {
  auto inside = [idx](int c) { return (idx >> c) & 1; };
  uint16_t mask = 0;
  for (int e = 0; e < 12; ++e)
    if (inside(kMcEdgeCorners[e][0]) != inside(kMcEdgeCorners[e][1])) mask |= uint16_t(1u << e);
  T.edgeMask[idx] = mask;

  int next[12];
  for (int& v : next) v = -1;
  auto addSegment = [&](int ea, int eb, int refCorner, const int n[3]) {
    // Inside corners must lie on the negative side, outside ones on the positive side.
    const int want = inside(refCorner) ? -1 : 1;
    if (sideOf(ea, eb, refCorner, n) != want) {
      const int t = ea;
      ea = eb;
      eb = t;
    }
    if (next[ea] != -1) {
      fprintf(stderr, "marching cubes table: edge %d of case %d used twice\n", ea, idx);
      abort();
    }
    next[ea] = eb;
  };

  for (int f = 0; f < 6; ++f) {
    const int* q = kFaceCorners[f];
    int fe[4], cut[4], nCut = 0;
    for (int m = 0; m < 4; ++m) {
      fe[m] = edgeOf(q[m], q[(m + 1) % 4]);
      if (mask & (1u << fe[m])) cut[nCut++] = m;
    }
    int nIn = 0;
    for (int m = 0; m < 4; ++m) nIn += inside(q[m]);
    if (nCut == 2) {
      // The reference corner is the one cut off alone, or any corner when the face is halved.
      int ref = q[0];
      if (nIn == 1 || nIn == 3)
        for (int m = 0; m < 4; ++m)
          if (inside(q[m]) == (nIn == 1 ? 1 : 0)) ref = q[m];
      addSegment(fe[cut[0]], fe[cut[1]], ref, kFaceNormal[f]);
    } else if (nCut == 4) {
      // Two diagonal inside corners: cut each of them off on its own.
      for (int m = 0; m < 4; ++m)
        if (inside(q[m])) addSegment(fe[(m + 3) % 4], fe[m], q[m], kFaceNormal[f]);
    }
  }

  int n = 0;
  bool used[12] = {false};
  for (int e = 0; e < 12; ++e) {
    if (!(mask & (1u << e)) || used[e]) continue;
    int cyc[12], len = 0;
    for (int c = e; !used[c]; c = next[c]) {
      used[c] = true;
      cyc[len++] = c;
    }
    int tri[10][3];
    const int nt = triangulate(cyc, len, tri);
    if (n + 3 * nt > 15) {
      fprintf(stderr, "marching cubes table: case %d needs more than five triangles\n", idx);
      abort();
    }
    for (int k = 0; k < nt; ++k)
      for (int c = 0; c < 3; ++c) T.tris[idx][n++] = int8_t(tri[k][c]);
  }
  T.triCount[idx] = uint8_t(n / 3);
  for (; n < 16; ++n) T.tris[idx][n] = -1;
}

TMcTables buildTables() {
  TMcTables T{};
  for (int idx = 0; idx < 256; ++idx) buildCase(idx, T);
  return T;
}

}  // namespace

const TMcTables& t_mcTables() {
  static const TMcTables tables = buildTables();
  return tables;
}
