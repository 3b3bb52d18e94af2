#include "modes/curve/kernels/TFiberScene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Progress.h"

void TFiberScene::setRegionMesh(const TTriangleMesh& mesh) {
  regionMesh.copyFrom(mesh);
  initialPositions = regionMesh.verts;
  dropped.reset();
}

void TFiberScene::clearAllFibers() {
  clearNewFibers();
  storedFibers.clear();
  crossPoints.clear();
}

void TFiberScene::clearNewFibers() {
  newFibers.clear();
  roiMesh.clear();
  roiToRegion.clear();
  regionToRoi.clear();
  for (size_t i = 0; i < crossPoints.size();) {
    TCrossPoint& cp = crossPoints[i];
    if (cp.newPairs.empty()) {
      ++i;
      continue;
    }
    if (cp.storedPairs.size() == 1) {
      const auto& sp = cp.storedPairs[0];
      if (sp.first >= 0 && sp.first < static_cast<int>(storedFibers.size()))
        storedFibers[sp.first].setPointFlag(sp.second, 0);
      crossPoints.erase(crossPoints.begin() + i);
    } else {
      cp.newPairs.clear();
      ++i;
    }
  }
}

void TFiberScene::remesh(double ratio) {
  std::fputs("start remeshing\n", stderr);
  std::vector<uint16_t> movable(regionMesh.vertexCount, 1);
  auto hold = [&](const std::vector<TFiberStroke>& fibers) {
    for (const TFiberStroke& f : fibers)
      for (const TFiberConstraint& c : f.constraints)
        for (int v : {c.meshA, c.meshB})
          if (v >= 0 && v < regionMesh.vertexCount) movable[v] = 0;
  };
  hold(newFibers);
  hold(storedFibers);
  std::vector<int> map;
  regionMesh.remeshToEdgeLength(movable, map, ratio);
  TPoints init(regionMesh.vertexCount);
  for (size_t i = 0; i < map.size() && i < initialPositions.size(); ++i)
    if (map[i] >= 0 && map[i] < regionMesh.vertexCount) init[map[i]] = initialPositions[i];
  initialPositions = init;
  auto renumber = [&](std::vector<TFiberStroke>& fibers) {
    for (TFiberStroke& f : fibers)
      for (TFiberConstraint& c : f.constraints) {
        c.meshA = (c.meshA >= 0 && c.meshA < static_cast<int>(map.size())) ? map[c.meshA] : -1;
        c.meshB = (c.meshB >= 0 && c.meshB < static_cast<int>(map.size())) ? map[c.meshB] : -1;
      }
  };
  renumber(newFibers);
  renumber(storedFibers);
  std::fputs("end Remeshing\n", stderr);
}

bool TFiberScene::createFibersAndRoiMesh(const TPoints& windowStroke, const TFiberView& view, int ringCount) {
  std::fprintf(stderr, "\n\n\nfibSize = %d \n\n\n", static_cast<int>(newFibers.size()));
  std::fputs("Fiberの生成中\n", stderr);
  t_progressStart(11, 0);
  auto fail = [&](const char* text) {
    clearNewFibers();
    std::fputs(text, stderr);
    t_progressStart(12, 0);
    return false;
  };
  clearNewFibers();
  remesh(0.1);
  const int n = static_cast<int>(windowStroke.size());
  TPoints flat;
  for (const TVec3& p : windowStroke) flat.emplace_back(p[0], p[1], 0.0);
  TPoints S;
  t_resamplePolyline(n, flat, S);
  if (!t_createFibersFromStroke(S, regionMesh, view, newFibers)) return fail("here fail to create FIBERS !!!!!!!!!!!!\n");
  if (!t_addFiberCrossPoints(S, view, newFibers, storedFibers, crossPoints))
    return fail("here fail to create CROSSPOINT!!!!!!!!!!!!\n");
  std::fprintf(stderr, "Pro%d  ", 20);
  t_progressStep(20);
  std::fputs("\n create ROI mesh from fiber consts ", stderr);
  if (!createRoiMesh(ringCount)) return fail("here fail to create ROI mesh generation!!!!!!!!!!!!\n");
  std::fprintf(stderr, "Pro%d  ", 60);
  t_progressStep(60);
  std::fputs("\n add const to roi mesh\n", stderr);
  addFiberConstraintsForRoiMesh();
  t_rebuildFiberTree(newFibers);
  t_progressEnd();
  return true;
}

bool TFiberScene::createRoiMesh(int ringCount) {
  std::vector<int> seeds;
  t_roiSeeds(newFibers, seeds);
  std::vector<TVec3> verts;
  std::vector<TPolyIdx> polys;
  t_extractRoiPatch(regionMesh, seeds, ringCount, verts, polys, roiToRegion, regionToRoi);
  return roiMesh.init(verts, polys, initialPositions, roiToRegion);
}

void TFiberScene::addFiberConstraintsForRoiMesh() {
  const TTriangleMesh& m = roiMesh.mesh;
  std::vector<uint8_t> fixed(m.vertexCount, 0);
  for (const TMeshEdge& e : m.edges)
    if (e.isBoundary())
      for (int v : {e.vert0, e.vert1}) {
        if (v < 0 || v >= m.vertexCount) continue;
        fixed[v] = 1;
      }
  std::vector<uint8_t> held = fixed;
  for (int v = 0; v < m.vertexCount; ++v)
    if (fixed[v] && v < static_cast<int>(m.rings.size()))
      for (int w : m.rings[v]) held[w] = 1;
  std::vector<TRoiVertexConstraint> vcs;
  for (int v = 0; v < m.vertexCount; ++v)
    if (held[v]) vcs.push_back({v, {m.verts[v][0], m.verts[v][1], m.verts[v][2]}});

  auto roiOf = [&](int v) { return (v >= 0 && v < static_cast<int>(regionToRoi.size())) ? regionToRoi[v] : -1; };
  std::vector<TRoiConstraint> ecs;
  auto add = [&](TFiberConstraint& c) {
    TRoiConstraint r;
    r.a = roiOf(c.meshA);
    r.b = roiOf(c.meshB);
    r.t = c.w;
    for (int k = 0; k < 3; ++k) r.pos[k] = c.pos[k];
    c.roiIndex = static_cast<int>(ecs.size());
    ecs.push_back(r);
  };
  for (TFiberStroke& f : newFibers)
    for (TFiberConstraint& c : f.constraints) {
      if (!c.active) continue;
      if (roiOf(c.meshA) < 0 || roiOf(c.meshB) < 0) {
        c.roiIndex = -1;  // a vertex lost to an erase: nothing to pull
        continue;
      }
      add(c);
    }
  for (TFiberStroke& f : storedFibers)
    for (TFiberConstraint& c : f.constraints) {
      if (c.active && roiOf(c.meshA) >= 0 && roiOf(c.meshB) >= 0) {
        c.inRoi = 1;
        add(c);
      } else {
        c.inRoi = 0;
      }
    }
  if (!roiMesh.empty()) {
    roiMesh.addVertexConstraints(vcs);
    roiMesh.addEdgePointConstraints(ecs);
  }
  std::fputs("addFiberConstraintsForRoiMesh  end\n", stderr);
}

bool TFiberScene::updateRoiMeshByNewFiberShape(int mode, const double voxelSize[3]) {
  std::fputs("updateRoiMeshByNewFiberShape\n", stderr);
  auto retarget = [&](const TFiberConstraint& c) {
    if (c.roiIndex < 0 || c.roiIndex >= static_cast<int>(roiMesh.edgeConstraints.size())) return;
    for (int k = 0; k < 3; ++k) roiMesh.edgeConstraints[c.roiIndex].pos[k] = c.pos[k];
  };
  for (const TFiberStroke& f : newFibers)
    for (const TFiberConstraint& c : f.constraints)
      if (c.active) retarget(c);
  if (selectedCrossPoint >= 0 && selectedCrossPoint < static_cast<int>(crossPoints.size()))
    for (const auto& sp : crossPoints[selectedCrossPoint].storedPairs) {
      if (sp.first < 0 || sp.first >= static_cast<int>(storedFibers.size())) continue;
      for (const TFiberConstraint& c : storedFibers[sp.first].constraints)
        if (c.active && c.inRoi) retarget(c);
    }
  bool ok;
  if (mode == 1) ok = roiMesh.deformByFibers(roiToRegion, initialPositions, voxelSize);
  else if (mode == 2) ok = roiMesh.deformLaplacianPreserving(roiToRegion, initialPositions, voxelSize);
  else ok = roiMesh.deformFiberMesh();
  if (ok) {
    for (int i = 0; i < roiMesh.vertexCount() && i < static_cast<int>(roiToRegion.size()); ++i) {
      const int r = roiToRegion[i];
      if (r >= 0 && r < regionMesh.vertexCount) regionMesh.verts[r] = roiMesh.mesh.verts[i];
    }
    regionMesh.updateNormals();
  }
  std::fputs("updateRoiMeshByNewFiberShape end\n", stderr);
  return ok;
}

// ---- drag ----

bool TFiberScene::startDrag(const TFiberView& view, double x, double y, double circleSize) {
  m_drag = TFiberPick();
  selectedCrossPoint = -1;
  m_dragAlongSurface = false;
  for (double& v : m_dragNormal) v = 0.0;
  TFiberPick pick;
  if (!t_pickFiberPoint(x, y, view, newFibers, pick)) return false;
  m_drag = pick;
  m_dragNewFibers = newFibers;
  m_dragStoredFibers = storedFibers;
  {
    // The surface normal where the point lies: that of the mesh edge its nearest constraint is on.
    const TFiberStroke& f = newFibers[pick.fiber];
    const int ci = pick.point < static_cast<int>(f.pointConstraint.size()) ? f.pointConstraint[pick.point] : -1;
    if (ci >= 0 && ci < static_cast<int>(f.constraints.size())) {
      const TFiberConstraint& c = f.constraints[ci];
      const int nv = static_cast<int>(regionMesh.vertNormals.size());
      if (c.meshA >= 0 && c.meshA < nv && c.meshB >= 0 && c.meshB < nv) {
        for (int k = 0; k < 3; ++k)
          m_dragNormal[k] = regionMesh.vertNormals[c.meshA][k] + regionMesh.vertNormals[c.meshB][k];
        if (!t_normalize3(m_dragNormal))
          for (double& v : m_dragNormal) v = 0.0;
      }
    }
  }
  const double r = t_dist3(view.eye, pick.pos) * circleSize / (view.refDepth != 0.0 ? view.refDepth : 1.0);
  for (int c = 0; c < static_cast<int>(crossPoints.size()); ++c)
    for (const auto& p : crossPoints[c].newPairs)
      if (p.first == pick.fiber && p.second == pick.point) selectedCrossPoint = c;
  if (selectedCrossPoint < 0) {
    newFibers[pick.fiber].startDeformation(pick.point, r);
  } else {
    const TCrossPoint& cp = crossPoints[selectedCrossPoint];
    for (const auto& p : cp.newPairs)
      if (p.first >= 0 && p.first < static_cast<int>(newFibers.size())) newFibers[p.first].startDeformation(p.second, r);
    for (const auto& p : cp.storedPairs)
      if (p.first >= 0 && p.first < static_cast<int>(storedFibers.size()))
        storedFibers[p.first].startDeformation(p.second, r);
  }
  return true;
}

void TFiberScene::moveDrag(const TFiberView& view, double x, double y, const TTriangleMesh* cutSurface) {
  if (m_drag.fiber < 0 || m_drag.fiber >= static_cast<int>(newFibers.size())) return;
  double o[3], d[3], target[3] = {0, 0, 0};
  view.cursorRay(x, y, o, d);
  int poly = -1;
  bool hit = cutSurface && cutSurface->polyCount > 0 && TTriangleMesh::pickByRay(o, d, *cutSurface, poly, target, 0);
  if (!hit) {
    double n[3];
    t_sub3(view.eye, view.center, n);
    const bool haveNormal = t_normalize3(n);
    const double den = haveNormal ? t_dot3(d, n) : 0.0;
    if (den == 0.0) {
      std::fputs("error , system can't project stroke to plane 3\n", stderr);
      target[0] = target[1] = target[2] = 0.0;
    } else {
      double rel[3];
      t_sub3(m_drag.pos, o, rel);
      const double t = t_dot3(rel, n) / den;
      for (int k = 0; k < 3; ++k) target[k] = o[k] + t * d[k];
    }
  }
  if (selectedCrossPoint < 0) {
    TFiberStroke& f = newFibers[m_drag.fiber];
    f.deform(m_drag.point, target);
    t_snapFiberToCurve(f, lastCutEye, lastCutStroke);
    return;
  }
  const TCrossPoint& cp = crossPoints[selectedCrossPoint];
  for (const auto& p : cp.newPairs) {
    if (p.first < 0 || p.first >= static_cast<int>(newFibers.size())) continue;
    newFibers[p.first].deform(p.second, target);
    t_snapFiberToCurve(newFibers[p.first], lastCutEye, lastCutStroke);
  }
  for (const auto& p : cp.storedPairs)
    if (p.first >= 0 && p.first < static_cast<int>(storedFibers.size())) storedFibers[p.first].deform(p.second, target);
}

bool TFiberScene::endDrag(const double voxelSize[3]) {
  if (m_drag.fiber < 0 || m_drag.fiber >= static_cast<int>(newFibers.size())) {
    m_drag = TFiberPick();
    selectedCrossPoint = -1;
    return false;
  }
  auto finishNew = [&](TFiberStroke& f) {
    t_snapFiberToCurve(f, lastCutEye, lastCutStroke);
    f.finishDeformation();
    f.updateConstraintPositions();
  };
  {
    // Where the picked point went, measured against the surface normal it started on.
    const TFiberStroke& f = newFibers[m_drag.fiber];
    m_dragAlongSurface = false;
    const bool known = t_dot3(m_dragNormal, m_dragNormal) > 0.0;
    if (known && m_drag.point >= 0 && m_drag.point < static_cast<int>(f.points.size())) {
      double d[3];
      t_sub3(f.points[m_drag.point], m_drag.pos, d);
      const double across = std::fabs(t_dot3(d, m_dragNormal));
      const double along = std::sqrt(std::max(0.0, t_dot3(d, d) - across * across));
      const double voxel = std::min({voxelSize[0], voxelSize[1], voxelSize[2]});
      m_dragAlongSurface = along > voxel && across < 0.5 * voxel;
    }
  }
  if (m_dragAlongSurface) {
    // Deforming the surface after it would only slide it along itself, and tie the fiber's
    // constraints to places the surface does not go: nothing moves.
    // (Assigned, not swapped: the fibers stay where they are in memory.)
    newFibers = m_dragNewFibers;
    storedFibers = m_dragStoredFibers;
    m_dragNewFibers.clear();
    m_dragStoredFibers.clear();
    m_drag = TFiberPick();
    selectedCrossPoint = -1;
    return false;
  }
  m_dragNewFibers.clear();
  m_dragStoredFibers.clear();
  if (selectedCrossPoint < 0) {
    finishNew(newFibers[m_drag.fiber]);
  } else {
    const TCrossPoint& cp = crossPoints[selectedCrossPoint];
    for (const auto& p : cp.newPairs)
      if (p.first >= 0 && p.first < static_cast<int>(newFibers.size())) finishNew(newFibers[p.first]);
    for (const auto& p : cp.storedPairs)
      if (p.first >= 0 && p.first < static_cast<int>(storedFibers.size())) {
        storedFibers[p.first].finishDeformation();
        storedFibers[p.first].updateConstraintPositions();
      }
  }
  const bool ok = updateRoiMeshByNewFiberShape(1, voxelSize);
  m_drag = TFiberPick();
  selectedCrossPoint = -1;
  return ok;
}

// ---- over-draw and rub ----

bool TFiberScene::overDrawFiber(TPoints stroke, const double voxelSize[3], std::string* message) {
  // A stroke without length has nothing to lay along the fiber.
  if (newFibers.empty() || t_polylineLength(stroke) == 0.0) return false;
  int best = -1, i1 = -1, i2 = -1;
  double bestSum = 100000.0;
  for (int f = 0; f < static_cast<int>(newFibers.size()); ++f) {
    int a, b;
    double da, db;
    t_nearestPointInVector(stroke.front(), newFibers[f].points, a, da);
    t_nearestPointInVector(stroke.back(), newFibers[f].points, b, db);
    if (da + db < bestSum) {
      bestSum = da + db;
      best = f;
      i1 = a;
      i2 = b;
    }
  }
  if (best < 0 || i1 == i2 || i1 < 0 || i2 < 0) return false;
  if (bestSum > 7.0 * voxelSize[0]) {
    if (message) *message = "Too far. Please draw stroke closer to the existing contour";
    return false;
  }
  if (i1 > i2) {
    std::swap(i1, i2);
    std::reverse(stroke.begin(), stroke.end());
  }
  TFiberStroke& F = newFibers[best];
  const int n = static_cast<int>(F.points.size());
  auto replaceInner = [&]() {
    TPoints S;
    t_resamplePolyline(i2 - i1, stroke, S);
    for (int k = 0; k < i2 - i1 && k < static_cast<int>(S.size()); ++k)
      if (!F.getPointFlag(i1 + k)) F.points[i1 + k] = S[k];
  };
  if (!F.closed) {
    replaceInner();
  } else {
    const int mid1 = (i1 + i2) / 2;
    int mid2 = i2 + (n - i2 + i1 + 1) / 2;
    if (mid2 > n - 1) mid2 -= n;
    if (mid1 < 0 || mid1 > n - 1 || mid2 < 0 || mid2 > n - 1) return false;
    const TVec3& M = stroke[stroke.size() / 2];
    if (t_dist3(M, F.points[mid2]) > t_dist3(M, F.points[mid1])) {
      replaceInner();
    } else {
      std::reverse(stroke.begin(), stroke.end());
      TPoints S;
      t_resamplePolyline(n - i2 + i1, stroke, S);
      const int m = static_cast<int>(S.size());
      for (int k = 0; k <= n - i2 - 1 && k < m; ++k)
        if (!F.getPointFlag(i2 + k)) F.points[i2 + k] = S[k];
      for (int k = 0; k <= i1 && n - i2 + k < m; ++k)
        if (!F.getPointFlag(k)) F.points[k] = S[n - i2 + k];
    }
  }
  F.updateTube();
  F.updateConstraintPositions();
  return updateRoiMeshByNewFiberShape(1, voxelSize);
}

bool TFiberScene::rubFiber(const TFiberView& view, double x, double y, int passes, bool snakes,
                           const TFiberVolume& vol) {
  TFiberPick pick;
  if (!t_pickFiberPoint(x, y, view, newFibers, pick)) return false;
  TFiberStroke& F = newFibers[pick.fiber];
  const int n = static_cast<int>(F.points.size());
  const int lo = std::max(pick.point - 2, 0), hi = std::min(pick.point + 2, n - 1);
  for (int pass = 0; pass < passes; ++pass)
    for (int k = lo; k <= hi; ++k) {
      if (snakes) t_rubSnakes(newFibers, regionMesh, lastCutEye, lastCutStroke, pick.fiber, k, vol);
      else F.relaxPoint(k);
    }
  for (int k = lo; k <= hi; ++k) t_projectToStrokeSurface(F.points[k], lastCutEye, lastCutStroke);
  F.updateTube();
  return true;
}

bool TFiberScene::endRub(const double voxelSize[3]) {
  for (TFiberStroke& f : newFibers) f.updateConstraintPositions();
  return updateRoiMeshByNewFiberShape(1, voxelSize);
}

// ---- erase ----

bool TFiberScene::eraseNewFiber(int fiberIndex, int ringCount, std::string* message) {
  // Copied, so that a relabelling under way keeps reading what it was given.
  auto record = std::make_shared<TRefDropped>(dropped ? *dropped : TRefDropped());
  const size_t had = record->triangles.size();
  const bool erased = t_eraseFiberAndCutMesh(regionMesh, roiMesh, regionToRoi, roiToRegion, crossPoints, newFibers,
                                             storedFibers, initialPositions, ringCount, fiberIndex, message,
                                             record.get());
  if (record->triangles.size() != had) dropped = std::move(record);
  if (!erased) return false;
  addFiberConstraintsForRoiMesh();
  t_rebuildFiberTree(newFibers);
  return true;
}

void TFiberScene::eraseStoredFiber(int s, int ringCount) {
  if (s < 0 || s >= static_cast<int>(storedFibers.size())) return;
  for (size_t i = 0; i < crossPoints.size();) {
    TCrossPoint& cp = crossPoints[i];
    const bool names = std::any_of(cp.storedPairs.begin(), cp.storedPairs.end(),
                                   [&](const std::pair<int, int>& p) { return p.first == s; });
    if (!names) {
      ++i;
      continue;
    }
    if (cp.newPairs.size() + cp.storedPairs.size() > 2) {
      // Every pair of the erased fiber goes, so that no pair names a fiber that is gone.
      cp.storedPairs.erase(std::remove_if(cp.storedPairs.begin(), cp.storedPairs.end(),
                                          [&](const std::pair<int, int>& p) { return p.first == s; }),
                           cp.storedPairs.end());
      ++i;
      continue;
    }
    for (const auto& p : cp.newPairs)
      if (p.first >= 0 && p.first < static_cast<int>(newFibers.size())) newFibers[p.first].setPointFlag(p.second, 0);
    for (const auto& p : cp.storedPairs)
      if (p.first >= 0 && p.first < static_cast<int>(storedFibers.size()))
        storedFibers[p.first].setPointFlag(p.second, 0);
    crossPoints.erase(crossPoints.begin() + i);
  }
  for (TCrossPoint& cp : crossPoints)
    for (auto& p : cp.storedPairs)
      if (p.first > s) --p.first;
  storedFibers.erase(storedFibers.begin() + s);
  if (!newFibers.empty()) {
    createRoiMesh(ringCount);
    addFiberConstraintsForRoiMesh();
    t_rebuildFiberTree(newFibers);
  }
}

// ---- store and write ----

TContoursWrite TFiberScene::storeFiber(const std::string& path) {
  const int base = static_cast<int>(storedFibers.size());
  for (TCrossPoint& cp : crossPoints) {
    if (cp.newPairs.empty()) continue;
    cp.storedPairs.emplace_back(cp.newPairs[0].first + base, cp.newPairs[0].second);
    cp.newPairs.clear();
  }
  for (const TFiberStroke& f : newFibers) {
    storedFibers.push_back(f);
    storedFibers.back().radius = 0.01;
    storedFibers.back().updateTube();
  }
  clearNewFibers();
  return writeContours(path);
}

TContoursWrite TFiberScene::writeContours(const std::string& path) {
  clearNewFibers();
  return t_writeContoursFile(path, targetId, regionMesh, initialPositions, storedFibers, crossPoints);
}
