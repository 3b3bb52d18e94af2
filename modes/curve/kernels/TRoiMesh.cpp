#include "modes/curve/kernels/TRoiMesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

bool t_addToSparseEntry(TSparseMatrix& m, int r, int c, double v) {
  if (r < 0 || r >= m.nRows || c < 0 || c >= m.nCols) return false;
  auto& row = m.rowLists[r];
  auto it = std::lower_bound(row.begin(), row.end(), c,
                             [](const TSparseEntry& e, int col) { return e.col < col; });
  if (it == row.end() || it->col != c) return false;
  it->val += v;
  if (m.colIdx) {
    for (int k = m.rowPtr[r]; k < m.rowPtr[r + 1]; ++k)
      if (m.colIdx[k] == c) {
        m.values[k] += v;
        break;
      }
  }
  return true;
}

void TRoiMesh::clear() {
  mesh.clear();
  curvature.clear();
  refLaplacian.clear();
  vertArea.clear();
  fixedFlags.clear();
  edgeConstraints.clear();
  vertConstraints.clear();
  M0.reset();
  M1.reset();
  M2.reset();
  M3.reset();
  for (auto& v : rhs) v.clear();
  for (auto& v : sol) v.clear();
  blend.clear();
  luReady = false;
  m_m1Regularised = false;
  for (bool& f : m_factored) f = false;
}

bool TRoiMesh::init(const TPoints& verts, const std::vector<TPolyIdx>& polys, const TPoints& refPositions,
                    const std::vector<int>& map) {
  clear();
  if (!verts.empty() && !mesh.initFromVertsPolys(verts, polys)) {
    mesh.clear();
    return false;
  }
  const int n = mesh.vertexCount;
  if (static_cast<int>(mesh.rings.size()) != n) mesh.updateRingLists();

  fixedFlags.assign(n, 0);
  for (const TMeshEdge& e : mesh.edges)
    if (e.isBoundary()) {
      if (e.vert0 >= 0 && e.vert0 < n) fixedFlags[e.vert0] = 1;
      if (e.vert1 >= 0 && e.vert1 < n) fixedFlags[e.vert1] = 1;
    }
  // A vertex that no triangle of the patch reaches has no Laplacian: it is held where it is.
  for (int i = 0; i < n; ++i)
    if (mesh.rings[i].empty()) fixedFlags[i] = 1;

  auto ref = [&](int i) -> TVec3 {
    const int k = i < static_cast<int>(map.size()) ? map[i] : -1;
    if (k >= 0 && k < static_cast<int>(refPositions.size())) return refPositions[k];
    return mesh.verts[i];
  };
  refLaplacian.assign(n, TVec3());
  for (int i = 0; i < n; ++i) {
    const auto& ring = mesh.rings[i];
    if (ring.empty()) continue;
    const TVec3 p = ref(i);
    double mean[3] = {0, 0, 0};
    for (int j : ring) {
      const TVec3 q = ref(j);
      for (int k = 0; k < 3; ++k) mean[k] += q[k];
    }
    for (int k = 0; k < 3; ++k) refLaplacian[i][k] = p[k] - mean[k] / static_cast<double>(ring.size());
  }
  buildSystems();
  return true;
}

void TRoiMesh::buildSystems() {
  const int n = mesh.vertexCount;
  M0.reset();
  M1.reset();
  M2.reset();
  M3.reset();
  for (auto& v : rhs) v.assign(n, 0.0);
  for (auto& v : sol) v.assign(n, 0.0);
  blend.assign(n, 0.0);
  curvature.assign(n, 0.0);
  vertArea.assign(n, 0.0001);

  M0 = std::make_unique<TSparseMatrix>(n, n);
  M0->buildFromRows(mesh, fixedFlags.data(), mesh.rings);
  long nnz0 = 0;
  for (const auto& r : M0->rowLists) nnz0 += static_cast<long>(r.size());
  M0->allocFields(static_cast<int>(nnz0));

  M1 = std::make_unique<TSparseMatrix>(n, n);
  const int nnz = M0->multAAt(*M1);
  M1->allocFields(nnz);
  M2 = std::make_unique<TSparseMatrix>(n, n);
  M3 = std::make_unique<TSparseMatrix>(n, n);
  M1->copyTo(*M2);
  M1->copyTo(*M3);
  luReady = false;
  m_m1Regularised = false;
  for (bool& f : m_factored) f = false;
}

void TRoiMesh::addVertexConstraints(const std::vector<TRoiVertexConstraint>& cs) {
  for (const TRoiVertexConstraint& c : cs) {
    vertConstraints.push_back(c);
    if (M3) t_addToSparseEntry(*M3, c.vertex, c.vertex, kConstraintWeight);
  }
  luReady = false;
  m_factored[3] = false;
}

void TRoiMesh::addEdgePointConstraints(const std::vector<TRoiConstraint>& cs) {
  for (const TRoiConstraint& c : cs) {
    edgeConstraints.push_back(c);
    if (!M3 || !M2) continue;
    const double t = c.t, s = 1.0 - c.t;
    t_addToSparseEntry(*M3, c.a, c.a, kConstraintWeight * t * t);
    t_addToSparseEntry(*M3, c.a, c.b, kConstraintWeight * t * s);
    t_addToSparseEntry(*M3, c.b, c.a, kConstraintWeight * t * s);
    t_addToSparseEntry(*M3, c.b, c.b, kConstraintWeight * s * s);
    t_addToSparseEntry(*M2, c.a, c.a, 1.0);
    t_addToSparseEntry(*M2, c.b, c.b, 1.0);
  }
  luReady = false;
  m_factored[2] = false;
  m_factored[3] = false;
}

void TRoiMesh::computePolygonAreas() {
  vertArea.assign(mesh.vertexCount, 0.0001);
  for (int p = 0; p < mesh.polyCount; ++p) {
    const double a = t_meshPolyArea(mesh, p);
    for (int k = 0; k < 3; ++k) vertArea[mesh.polys[p][k]] += a;
  }
}

bool TRoiMesh::ensureFactors(bool needResidual) {
  if (!M1 || !M2 || !M3) return false;
  // The smoothing term is part of M1 itself: added once per build, however often the other
  // systems are factorised again.
  if (!m_m1Regularised) {
    for (int i = 0; i < mesh.vertexCount; ++i)
      if (!fixedFlags[i]) t_addToSparseEntry(*M1, i, i, kSmoothingWeight);
    m_m1Regularised = true;
    m_factored[1] = false;
  }
  if (!m_factored[1]) m_factored[1] = M1->factorLU();
  if (!m_factored[3]) m_factored[3] = M3->factorLU();
  if (needResidual && !m_factored[2]) m_factored[2] = M2->factorLU();
  luReady = m_factored[1] && m_factored[2] && m_factored[3];
  return m_factored[1] && m_factored[3] && (!needResidual || m_factored[2]);
}

void TRoiMesh::curvatureStep() {
  const int n = mesh.vertexCount;
  std::vector<double>& r = rhs[0];
  for (int i = 0; i < n; ++i) {
    const auto& ring = mesh.rings[i];
    double h = 0.0;
    if (!ring.empty()) {
      double lap[3];
      for (int k = 0; k < 3; ++k) {
        double s = 0.0;
        for (int j : ring) s += mesh.verts[j][k];
        lap[k] = mesh.verts[i][k] - s / static_cast<double>(ring.size());
      }
      h = t_dot3(lap, mesh.vertNormals[i]) / vertArea[i];
    }
    curvature[i] = h;
    r[i] = fixedFlags[i] ? 0.0 : kSmoothingWeight * h;
  }
  if (!M1->solveLU(r.data(), sol[0].data())) {
    // Keep the raw curvature rather than a zeroed solution.
    return;
  }
  for (int i = 0; i < n; ++i) curvature[i] = vertArea[i] * sol[0][i];
}

bool TRoiMesh::solvePositions(const TPoints& delta) {
  const int n = mesh.vertexCount;
  std::vector<double> dc(n);
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < n; ++i) dc[i] = delta[i][k];
    M0->multVec(n, dc.data(), n, rhs[k].data());
  }
  for (const TRoiVertexConstraint& c : vertConstraints) {
    if (c.vertex < 0 || c.vertex >= n) continue;
    for (int k = 0; k < 3; ++k) rhs[k][c.vertex] += kConstraintWeight * c.pos[k];
  }
  for (const TRoiConstraint& c : edgeConstraints) {
    if (c.a < 0 || c.a >= n || c.b < 0 || c.b >= n) continue;
    for (int k = 0; k < 3; ++k) {
      rhs[k][c.a] += kConstraintWeight * c.t * c.pos[k];
      rhs[k][c.b] += kConstraintWeight * (1.0 - c.t) * c.pos[k];
    }
  }
  for (int k = 0; k < 3; ++k)
    if (!M3->solveLU(rhs[k].data(), sol[k].data())) return false;
  // A factor of a (nearly) singular system can give infinities rather than a refusal.
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < n; ++i)
      if (!std::isfinite(sol[k][i])) return false;
  for (int i = 0; i < n; ++i)
    if (!fixedFlags[i]) mesh.verts[i].set(sol[0][i], sol[1][i], sol[2][i]);
  return true;
}

bool TRoiMesh::iterate(int mode) {
  const int n = mesh.vertexCount;
  TPoints delta(n);
  for (int it = 0; it < kIterations; ++it) {
    mesh.updateNormals();
    computePolygonAreas();
    if (mode == 3 && it == 0 && !ensureFactors(false)) return false;
    if (mode != 2) curvatureStep();
    for (int i = 0; i < n; ++i) {
      if (fixedFlags[i]) {
        delta[i] = mesh.verts[i];
        continue;
      }
      const TVec3& N = mesh.vertNormals[i];
      const double h = curvature[i];
      for (int k = 0; k < 3; ++k) {
        switch (mode) {
          case 1:
            delta[i][k] = blend[i] * h * N[k] + (1.0 - blend[i]) * refLaplacian[i][k];
            break;
          case 2:
            delta[i][k] = refLaplacian[i][k];
            break;
          default:
            delta[i][k] = h * N[k];
            break;
        }
      }
    }
    if (!solvePositions(delta)) {
      std::fputs("ROI mesh deformation: a solve failed, the patch stays as it was\n", stderr);
      return false;
    }
  }
  return true;
}

bool TRoiMesh::deformByFibers(const std::vector<int>& map, const TPoints& refPositions,
                              const double voxelSize[3]) {
  const int n = mesh.vertexCount;
  if (n == 0) return true;
  const TPoints saved = mesh.verts;
  if (!ensureFactors(true)) return false;

  auto ref = [&](int i) -> TVec3 {
    const int k = i < static_cast<int>(map.size()) ? map[i] : -1;
    if (k >= 0 && k < static_cast<int>(refPositions.size())) return refPositions[k];
    return mesh.verts[i];
  };
  std::vector<double>& r = rhs[0];
  std::fill(r.begin(), r.end(), 0.0);
  for (const TRoiConstraint& c : edgeConstraints) {
    if (c.a < 0 || c.a >= n || c.b < 0 || c.b >= n) continue;
    const TVec3 ra = ref(c.a), rb = ref(c.b);
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double p = c.t * ra[k] + (1.0 - c.t) * rb[k];
      d2 += (c.pos[k] - p) * (c.pos[k] - p);
    }
    const double e = std::sqrt(d2);
    r[c.a] += e;
    r[c.b] += e;
  }
  if (!M2->solveLU(r.data(), sol[0].data())) return false;
  const double scale = kBlendVoxels * voxelSize[0];
  for (int i = 0; i < n; ++i) {
    const double s = sol[0][i];
    if (s < 0.0) blend[i] = 0.0;
    else if (s <= scale) blend[i] = scale > 0.0 ? s / scale : 0.0;
    else blend[i] = 1.0;
  }
  if (!iterate(1)) {
    mesh.verts = saved;
    return false;
  }
  return true;
}

bool TRoiMesh::deformLaplacianPreserving(const std::vector<int>& map, const TPoints& refPositions,
                                         const double voxelSize[3]) {
  (void)voxelSize;
  if (mesh.vertexCount == 0) return true;
  const TPoints saved = mesh.verts;
  if (!ensureFactors(true)) return false;
  if (!iterate(2)) {
    mesh.verts = saved;
    return false;
  }
  return true;
}

bool TRoiMesh::deformFiberMesh() {
  if (mesh.vertexCount == 0) return true;
  const TPoints saved = mesh.verts;
  if (!iterate(3)) {
    mesh.verts = saved;
    return false;
  }
  return true;
}
