// ROI mesh deformations against an independent solve: the test writes the patch, the reference
// shape and the constraints to a text file; a short numpy/scipy script assembles the Laplacian
// systems from the triangles itself and solves them with scipy.sparse.linalg.spsolve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geom/umfpack_component.h"
#include "modes/curve/kernels/TRoiMesh.h"

namespace {

const char* kPython = "/usr/bin/python3";

const char* kReferenceScript = R"PY(
import sys
import numpy as np
import scipy.sparse as sp
import scipy.sparse.linalg as sla

tok = open(sys.argv[1]).read().split()
pos = 0
def nxt(f=float):
    global pos
    pos += 1
    return f(tok[pos - 1])

n, m, nref = nxt(int), nxt(int), nxt(int)
P = np.array([[nxt(), nxt(), nxt()] for _ in range(n)]).reshape(n, 3)
T = np.array([[nxt(int), nxt(int), nxt(int)] for _ in range(m)], dtype=int).reshape(m, 3)
R = np.array([[nxt(), nxt(), nxt()] for _ in range(nref)]).reshape(nref, 3)
mp = np.array([nxt(int) for _ in range(n)], dtype=int)
VC = [(nxt(int), np.array([nxt(), nxt(), nxt()])) for _ in range(nxt(int))]
EC = []
for _ in range(nxt(int)):
    EC.append([nxt(int), nxt(int), nxt(), np.array([nxt(), nxt(), nxt()])])
sigma = nxt()
ops = []
for _ in range(nxt(int)):
    kind = tok[pos]; pos += 1
    if kind == 'mode':
        ops.append(('mode', nxt(int)))
    else:
        ops.append(('edge', [nxt(int), nxt(int), nxt(), np.array([nxt(), nxt(), nxt()])]))

# Rings and border from the triangles.
nb = [set() for _ in range(n)]
edge_faces = {}
for t in T:
    for k in range(3):
        a, b = t[k], t[(k + 1) % 3]
        nb[a].add(b); nb[b].add(a)
        key = (min(a, b), max(a, b))
        edge_faces[key] = edge_faces.get(key, 0) + 1
fixed = np.zeros(n, dtype=bool)
for (a, b), c in edge_faces.items():
    if c == 1:
        fixed[a] = fixed[b] = True
for i in range(n):
    if not nb[i]:
        fixed[i] = True

L = sp.lil_matrix((n, n))
for i in range(n):
    L[i, i] = 1.0
    if not fixed[i]:
        for j in nb[i]:
            L[i, j] = -1.0 / len(nb[i])
L = L.tocsc()
LtL = (L.T @ L).tocsc()
pattern = ((abs(L) > 0).astype(int).T @ (abs(L) > 0).astype(int)).tocsc()
def in_pattern(a, b):
    return pattern[a, b] != 0

Rm = R[mp]
d = np.zeros((n, 3))
for i in range(n):
    if nb[i]:
        d[i] = Rm[i] - np.mean([Rm[j] for j in nb[i]], axis=0)

M1 = (LtL + sp.diags(np.where(fixed, 0.0, 0.001))).tocsc()

def systems():
    M2 = LtL.tolil()
    M3 = LtL.tolil()
    for v, _ in VC:
        M3[v, v] += 10.0
    for a, b, t, _ in EC:
        M3[a, a] += 10 * t * t; M3[b, b] += 10 * (1 - t) ** 2
        if in_pattern(a, b):
            M3[a, b] += 10 * t * (1 - t); M3[b, a] += 10 * t * (1 - t)
        M2[a, a] += 1.0; M2[b, b] += 1.0
    return M2.tocsc(), M3.tocsc()

def normals_areas(P):
    N = np.zeros((n, 3)); A = np.full(n, 0.0001)
    for t in T:
        c = np.cross(P[t[1]] - P[t[0]], P[t[2]] - P[t[0]])
        l = np.linalg.norm(c)
        for k in range(3):
            A[t[k]] += 0.5 * l
        if l > 0:
            for k in range(3):
                N[t[k]] += c / l
    for i in range(n):
        l = np.linalg.norm(N[i])
        if l > 0:
            N[i] /= l
    return N, A

def deform(P, mode):
    M2, M3 = systems()
    if mode == 1:
        r = np.zeros(n)
        for a, b, t, x in EC:
            e = np.linalg.norm(x - (t * Rm[a] + (1 - t) * Rm[b]))
            r[a] += e; r[b] += e
        s = sla.spsolve(M2, r)
        w = np.where(s < 0, 0.0, np.where(s <= 5 * sigma, s / (5 * sigma), 1.0))
    for _ in range(8):
        N, A = normals_areas(P)
        if mode != 2:
            lap = np.array([P[i] - np.mean([P[j] for j in nb[i]], axis=0) if nb[i] else np.zeros(3)
                            for i in range(n)])
            h = np.einsum('ij,ij->i', lap, N) / A
            s = sla.spsolve(M1, np.where(fixed, 0.0, 0.001 * h))
            h = A * s
        if mode == 1:
            delta = w[:, None] * h[:, None] * N + (1 - w[:, None]) * d
        elif mode == 2:
            delta = d.copy()
        else:
            delta = h[:, None] * N
        delta[fixed] = P[fixed]
        b = np.asarray(L.T @ delta)
        for v, x in VC:
            b[v] += 10 * x
        for a, bb, t, x in EC:
            b[a] += 10 * t * x; b[bb] += 10 * (1 - t) * x
        X = np.column_stack([sla.spsolve(M3, b[:, k]) for k in range(3)])
        P = np.where(fixed[:, None], P, X)
    return P

out = open(sys.argv[2], 'w')
for kind, arg in ops:
    if kind == 'edge':
        EC.append(arg)
        continue
    P = deform(P.copy(), arg)
    for p in P:
        out.write('%.17g %.17g %.17g\n' % tuple(p))
)PY";

bool haveScipy() {
  static const int rc =
      std::system((std::string(kPython) + " -c 'import scipy.sparse.linalg' >/dev/null 2>&1").c_str());
  return rc == 0;
}

std::string componentPath() {
  const char* bin = std::getenv("KESTRIN_BIN_DIR");
  return std::string(bin ? bin : ".") + "/" + kUmfpackComponentName;
}

// A bumpy height-field patch on a (g+1) x (g+1) grid: border fixed, interior free.
struct Patch {
  TPoints verts;
  std::vector<TPolyIdx> polys;
  TPoints regionRef;     // reference positions of the "region mesh"
  std::vector<int> map;  // patch vertex -> region vertex
};

Patch makePatch(int g, unsigned seed) {
  Patch p;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  const int n = (g + 1) * (g + 1);
  TPoints ref(n);
  for (int j = 0; j <= g; ++j)
    for (int i = 0; i <= g; ++i) {
      const double x = double(i) / g, y = double(j) / g;
      const double z = 0.15 * std::sin(3.0 * x) * std::cos(2.0 * y);
      ref[j * (g + 1) + i].set(x, y, z);
      p.verts.emplace_back(x + noise(rng), y + noise(rng), z + noise(rng));
    }
  for (int j = 0; j < g; ++j)
    for (int i = 0; i < g; ++i) {
      const int a = j * (g + 1) + i, b = a + 1, c = a + g + 1, d = c + 1;
      if ((i + j) % 2) {
        p.polys.push_back({a, b, d});
        p.polys.push_back({a, d, c});
      } else {
        p.polys.push_back({a, b, c});
        p.polys.push_back({b, d, c});
      }
    }
  // The patch is part of a larger mesh: spread its vertices over shuffled region indices.
  const int nref = n + 7;
  std::vector<int> perm(nref);
  for (int i = 0; i < nref; ++i) perm[i] = i;
  std::shuffle(perm.begin(), perm.end(), rng);
  p.regionRef.assign(nref, TVec3(9.0, 9.0, 9.0));
  for (int i = 0; i < n; ++i) {
    p.map.push_back(perm[i]);
    p.regionRef[perm[i]] = ref[i];
  }
  return p;
}

struct Op {
  int mode = 0;           // 1, 2, 3: a deformation
  TRoiConstraint edge;    // mode 0: add this edge-point constraint
};

class RoiMeshReference : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveScipy()) GTEST_SKIP() << "/usr/bin/python3 lacks scipy";
    char tmpl[] = "/tmp/kestrin_roiXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::ofstream(dir_ + "/ref.py") << kReferenceScript;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Runs the ops on a fresh TRoiMesh and in the script; compares every vertex after every
  // deformation.
  void compare(const Patch& p, const std::vector<TRoiVertexConstraint>& vcs,
               const std::vector<TRoiConstraint>& ecs, const std::vector<Op>& ops, double sigma,
               const char* backEnd) {
    SCOPED_TRACE(backEnd);
    FILE* f = std::fopen((dir_ + "/in.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "%zu %zu %zu\n", p.verts.size(), p.polys.size(), p.regionRef.size());
    for (const TVec3& v : p.verts) std::fprintf(f, "%.17g %.17g %.17g\n", v[0], v[1], v[2]);
    for (const TPolyIdx& t : p.polys) std::fprintf(f, "%d %d %d\n", t[0], t[1], t[2]);
    for (const TVec3& v : p.regionRef) std::fprintf(f, "%.17g %.17g %.17g\n", v[0], v[1], v[2]);
    for (int m : p.map) std::fprintf(f, "%d\n", m);
    std::fprintf(f, "%zu\n", vcs.size());
    for (const auto& c : vcs) std::fprintf(f, "%d %.17g %.17g %.17g\n", c.vertex, c.pos[0], c.pos[1], c.pos[2]);
    auto edge = [&](const TRoiConstraint& c) {
      std::fprintf(f, "%d %d %.17g %.17g %.17g %.17g\n", c.a, c.b, c.t, c.pos[0], c.pos[1], c.pos[2]);
    };
    std::fprintf(f, "%zu\n", ecs.size());
    for (const auto& c : ecs) edge(c);
    std::fprintf(f, "%.17g\n%zu\n", sigma, ops.size());
    for (const Op& o : ops) {
      if (o.mode) {
        std::fprintf(f, "mode %d\n", o.mode);
      } else {
        std::fprintf(f, "edge ");
        edge(o.edge);
      }
    }
    std::fclose(f);
    const std::string cmd = std::string(kPython) + " '" + dir_ + "/ref.py' '" + dir_ + "/in.txt' '" +
                            dir_ + "/out.txt'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream ref(dir_ + "/out.txt");

    TRoiMesh roi;
    ASSERT_TRUE(roi.init(p.verts, p.polys, p.regionRef, p.map));
    roi.addVertexConstraints(vcs);
    roi.addEdgePointConstraints(ecs);
    const double voxel[3] = {sigma, 2 * sigma, 3 * sigma};
    double worst = 0.0;
    int moved = 0;
    for (size_t k = 0; k < ops.size(); ++k) {
      const Op& o = ops[k];
      if (!o.mode) {
        roi.addEdgePointConstraints({o.edge});
        continue;
      }
      const TPoints before = roi.mesh.verts;
      bool ok = false;
      if (o.mode == 1) ok = roi.deformByFibers(p.map, p.regionRef, voxel);
      else if (o.mode == 2) ok = roi.deformLaplacianPreserving(p.map, p.regionRef, voxel);
      else ok = roi.deformFiberMesh();
      ASSERT_TRUE(ok) << "op " << k;
      for (int i = 0; i < roi.vertexCount(); ++i) {
        double x[3];
        ASSERT_TRUE(ref >> x[0] >> x[1] >> x[2]) << "reference output short at op " << k;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(x[c] - roi.mesh.verts[i][c]));
        if (t_dist3(before[i], roi.mesh.verts[i]) > 1e-6) ++moved;
        if (roi.fixedFlags[i]) {
          EXPECT_EQ(before[i], roi.mesh.verts[i]) << "fixed vertex " << i << " moved";
        }
      }
    }
    EXPECT_LT(worst, 1e-8);
    EXPECT_GT(moved, 0) << "nothing moved: the comparison would prove nothing";
  }

  std::string dir_;
};

// The constraints the mode hands over: border ring and its neighbours held, edge points on a
// row of interior edges lifted.
void modeLikeConstraints(const Patch& p, int g, std::vector<TRoiVertexConstraint>& vcs,
                         std::vector<TRoiConstraint>& ecs) {
  TRoiMesh probe;
  ASSERT_TRUE(probe.init(p.verts, p.polys, p.regionRef, p.map));
  std::vector<uint8_t> hold(probe.vertexCount(), 0);
  for (int i = 0; i < probe.vertexCount(); ++i)
    if (probe.fixedFlags[i]) {
      hold[i] = 1;
      for (int j : probe.mesh.rings[i]) hold[j] = 1;
    }
  for (int i = 0; i < probe.vertexCount(); ++i)
    if (hold[i]) vcs.push_back({i, {p.verts[i][0], p.verts[i][1], p.verts[i][2]}});
  const int j = g / 2;
  for (int i = 2; i < g - 2; ++i) {
    TRoiConstraint c;
    c.a = j * (g + 1) + i;
    c.b = c.a + 1;
    c.t = 0.3 + 0.05 * i;
    for (int k = 0; k < 3; ++k) c.pos[k] = c.t * p.verts[c.a][k] + (1 - c.t) * p.verts[c.b][k];
    c.pos[2] += 0.12 + 0.01 * i;
    ecs.push_back(c);
  }
}

}  // namespace

TEST_F(RoiMeshReference, EveryModeMatchesSpsolveWithEitherBackEnd) {
  const int g = 12;
  const Patch p = makePatch(g, 7);
  std::vector<TRoiVertexConstraint> vcs;
  std::vector<TRoiConstraint> ecs;
  modeLikeConstraints(p, g, vcs, ecs);
  // Mode 3 then mode 1 runs the residual solve on factors kept from before; a constraint added
  // between deformations refactorises; the smoothing term of M1 must not grow along the way.
  TRoiConstraint late;
  late.a = (g / 2 - 2) * (g + 1) + g / 2;
  late.b = late.a + g + 1;
  late.t = 0.6;
  late.pos[0] = 0.5;
  late.pos[1] = 0.4;
  late.pos[2] = -0.1;
  Op added;
  added.edge = late;
  std::vector<Op> ops(6);
  ops[0].mode = 2;
  ops[1].mode = 3;
  ops[2].mode = 1;
  ops[3] = added;
  ops[4].mode = 1;
  ops[5].mode = 3;

  t_freeUmfpackDll();
  compare(p, vcs, ecs, ops, 0.01, "own sparse LU");
  if (t_loadUmfpackDllFile(componentPath())) {
    compare(p, vcs, ecs, ops, 0.01, "solver component");
    t_freeUmfpackDll();
  }
}

TEST_F(RoiMeshReference, NarrowAndWideBlendWithOnlyTheBorderHeld) {
  // Only the border is held (by the identity rows): a wide blend scale keeps some vertices
  // between the reference detail and the curvature target, a narrow one saturates them.
  const int g = 9;
  const Patch p = makePatch(g, 11);
  std::vector<TRoiVertexConstraint> none;
  std::vector<TRoiConstraint> ecs;
  std::vector<TRoiVertexConstraint> unused;
  modeLikeConstraints(p, g, unused, ecs);
  std::vector<Op> ops(2);
  ops[0].mode = 1;
  ops[1].mode = 1;
  t_freeUmfpackDll();
  compare(p, none, ecs, ops, 0.002, "narrow blend");
  compare(p, none, ecs, ops, 0.2, "wide blend");
}

TEST(RoiMesh, EmptyPatchBuildsAndDeformsToNothing) {
  TRoiMesh empty;
  EXPECT_TRUE(empty.init({}, {}, {}, {}));
  EXPECT_TRUE(empty.empty());
  const double vox[3] = {1, 1, 1};
  EXPECT_TRUE(empty.deformByFibers({}, {}, vox));
  EXPECT_TRUE(empty.deformFiberMesh());
}
