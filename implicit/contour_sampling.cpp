#include "implicit/contour_sampling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geom/TTriangleMesh.h"
#include "implicit/TCanvasContour.h"

namespace {
constexpr double kHalfPi = 1.570796326794895;
}

void t_resampleClosedPolyline(int N, const std::vector<TVec3>& P, std::vector<TVec3>& out) {
  if (P.size() < 2) {
    out.resize(static_cast<size_t>(std::max(N, 0)));
    return;
  }
  const double total = t_polylineLength(P) + t_dist3(P.back(), P.front());
  const double step = N > 0 ? total / N : 0.0;
  out.clear();
  if (N <= 0) return;
  if (step == 0.0) {
    out.assign(static_cast<size_t>(N), TVec3());
    return;
  }
  out.push_back(P[0]);
  if (static_cast<int>(out.size()) >= N) return;
  const size_t n = P.size();
  double acc = 0.0;
  TVec3 prev = P[0];
  size_t i = 1;
  while (i <= n) {
    const TVec3& Pi = P[i == n ? 0 : i];
    acc += t_dist3(Pi, prev);
    if (acc < step) {
      prev = Pi;
      ++i;
      continue;
    }
    double u[3];
    t_sub3(prev, Pi, u);
    t_normalize3(u);
    acc -= step;
    TVec3 q(Pi[0] + acc * u[0], Pi[1] + acc * u[1], Pi[2] + acc * u[2]);
    out.push_back(q);
    acc = 0.0;
    prev = q;
    if (static_cast<int>(out.size()) == N) return;
  }
  if (static_cast<int>(out.size()) < N) std::printf("something wrong error 14231\n");
}

void t_polylineTangent(const std::vector<TVec3>& pts, const int* i, const bool* closed, double out[3]) {
  out[0] = out[1] = out[2] = 0.0;
  const int n = static_cast<int>(pts.size());
  if (n == 0) return;
  const int k = *i, last = n - 1;
  auto add = [&](const TVec3& a, const TVec3& b) {
    for (int c = 0; c < 3; ++c) out[c] += a[c] - b[c];
  };
  if (k > 0) add(pts[k], pts[k - 1]);
  else if (*closed) add(pts[0], pts[last]);
  if (k < last) add(pts[k + 1], pts[k]);
  else if (*closed) add(pts[0], pts[last]);
  t_normalize3(out);
}

void t_gradient3x3x3(int W, int H, int D, int x, int y, int z, const float* vol, double g[3]) {
  static const double w[3] = {1.0, 2.0, 1.0};
  g[0] = g[1] = g[2] = 0.0;
  for (int dz = -1; dz <= 1; ++dz) {
    const int zz = z + dz;
    if (zz < 0 || zz >= D) continue;
    for (int dy = -1; dy <= 1; ++dy) {
      const int yy = y + dy;
      if (yy < 0 || yy >= H) continue;
      for (int dx = -1; dx <= 1; ++dx) {
        const int xx = x + dx;
        if (xx < 0 || xx >= W) continue;
        const double v = vol[xx + static_cast<size_t>(W) * (yy + static_cast<size_t>(H) * zz)];
        g[0] += dx * w[dy + 1] * w[dz + 1] * v;
        g[1] += dy * w[dx + 1] * w[dz + 1] * v;
        g[2] += dz * w[dx + 1] * w[dy + 1] * v;
      }
    }
  }
  double s = 1.0 / 32.0;
  if (x == 0 || x == W - 1) { g[0] = 0.0; s = 1.0 / 24.0; }
  if (y == 0 || y == H - 1) { g[1] = 0.0; s = 1.0 / 24.0; }
  if (z == 0 || z == D - 1) { g[2] = 0.0; s = 1.0 / 24.0; }
  for (int c = 0; c < 3; ++c) g[c] *= s;
}

double t_trilinearSample(const int* W, const int* H, const int* D, const double extent[3],
                         const double p[3], const float* vol) {
  const int dim[3] = {*W, *H, *D};
  int idx[3];
  double f[3];
  for (int a = 0; a < 3; ++a) {
    const double pitch = extent[a] / dim[a];
    const double t = (p[a] - 0.5 * pitch) / pitch;
    if (!std::isfinite(t) || t <= -1.0 || t >= static_cast<double>(dim[a])) return 0.0;
    idx[a] = static_cast<int>(t);
    f[a] = (p[a] - (idx[a] + 0.5) * pitch) / pitch;
  }
  for (int a = 0; a < 3; ++a)
    if (idx[a] < 0 || idx[a] > dim[a] - 1) return 0.0;
  const size_t sW = static_cast<size_t>(dim[0]), sWH = sW * dim[1];
  auto at = [&](int i, int j, int k) { return static_cast<double>(vol[i + sW * j + sWH * k]); };
  for (int a = 0; a < 3; ++a)
    if (idx[a] == 0 || idx[a] == dim[a] - 1) return at(idx[0], idx[1], idx[2]);
  const int i = idx[0], j = idx[1], k = idx[2];
  const double fx = f[0], fy = f[1], fz = f[2];
  const double c00 = at(i, j, k) * (1 - fx) + at(i + 1, j, k) * fx;
  const double c10 = at(i, j + 1, k) * (1 - fx) + at(i + 1, j + 1, k) * fx;
  const double c01 = at(i, j, k + 1) * (1 - fx) + at(i + 1, j, k + 1) * fx;
  const double c11 = at(i, j + 1, k + 1) * (1 - fx) + at(i + 1, j + 1, k + 1) * fx;
  const double c0 = c00 * (1 - fy) + c10 * fy;
  const double c1 = c01 * (1 - fy) + c11 * fy;
  return c0 * (1 - fz) + c1 * fz;
}

double* TCanvasContour::calcInPlaneNormal(double out[3], const double q[3], const double t[3]) const {
  double N[3] = {canvas.direction[0], canvas.direction[1], canvas.direction[2]};
  double d[3];
  t_sub3(q, canvasFrame[0], d);
  int poly = -1;
  double hit[3];
  if (canvas.polyCount > 0 && TTriangleMesh::pickByRay(canvasFrame[0], d, canvas, poly, hit, 0) &&
      poly >= 0) {
    const TPolyIdx& tri = canvas.polys[static_cast<size_t>(poly)];
    double e1[3], e2[3];
    t_sub3(canvas.verts[tri[1]], canvas.verts[tri[0]], e1);
    t_sub3(canvas.verts[tri[2]], canvas.verts[tri[0]], e2);
    t_cross3(e1, e2, N);
    t_normalize3(N);
  }
  const double angle = bInsideDir ? kHalfPi : -kHalfPi;
  double M[9];
  t_rotMatAxisAngle(M, N[0], N[1], N[2], std::cos(angle), std::sin(angle));
  t_rotRowVec(M, t, out);
  return out;
}

void TCanvasContour::calcSamples(const double extent[3], int nChannels, int W, int H, int D,
                                 const float* vol0, const float* vol1, const float* vol2,
                                 double spacing, double weight, double offset, double gradientMix) {
  // A contour without a valid shape yields nothing; what it held before must not survive.
  if (!hasValidShape() || !(spacing > 0.0)) {
    samples.clear();
    rbfPoints.clear();
    tiltedFlags.clear();
    return;
  }
  samples.clear();
  rbfPoints.clear();
  nChannels = std::max(0, std::min(nChannels, 3));
  const float* vols[3] = {vol0, vol1, vol2};
  const double p[3] = {extent[0] / W, extent[1] / H, extent[2] / D};
  const int dims[3] = {W, H, D};

  const double L = stroke.length();
  const double ratio = L / spacing;
  int N = ratio < 1e9 ? static_cast<int>(ratio) : 1000000000;
  N = std::max(N, static_cast<int>(controlPoints.size()));
  const double step = L / N;

  std::vector<TVec3> Q;
  if (bClosed)
    t_resampleClosedPolyline(N, stroke.points, Q);
  else
    t_resamplePolyline(N, stroke.points, Q);

  samples.reserve(Q.size());
  rbfPoints.reserve(3 * Q.size());
  const size_t sW = static_cast<size_t>(W), sWH = sW * static_cast<size_t>(H);
  auto offsetVoxel = [&](const double x[3]) -> uint32_t {
    const long long ix = static_cast<long long>(x[0] / p[0]);
    const long long iy = static_cast<long long>(x[1] / p[1]);
    const long long iz = static_cast<long long>(x[2] / p[2]);
    return static_cast<uint32_t>(ix + static_cast<long long>(sW) * iy + static_cast<long long>(sWH) * iz);
  };

  for (int i = 0; i < static_cast<int>(Q.size()); ++i) {
    const TVec3& q = Q[static_cast<size_t>(i)];
    int ix[3];
    for (int a = 0; a < 3; ++a) {
      double v = q[a] / p[a];
      v = std::min(std::max(v, 0.0), static_cast<double>(dims[a] - 1));
      ix[a] = static_cast<int>(v);
    }
    THrbfSample s;
    s.voxelIndex = static_cast<uint32_t>(ix[0] + sW * ix[1] + sWH * ix[2]);
    t_polylineTangent(Q, &i, &bClosed, s.tangent);
    calcInPlaneNormal(s.inPlaneNormal, q, s.tangent);
    for (int c = 0; c < nChannels; ++c) {
      if (!vols[c]) continue;
      t_gradient3x3x3(W, H, D, ix[0], ix[1], ix[2], vols[c], s.grad[c]);
      for (int a = 0; a < 3; ++a) s.grad[c][a] *= weight / p[a];
      s.val[c] = t_trilinearSample(&W, &H, &D, extent, q, vols[c]) * weight;
    }
    for (int a = 0; a < 3; ++a) {
      s.pos[a] = q[a];
      s.normal[a] = s.inPlaneNormal[a];
    }
    s.target = 0.0;
    s.arcPos = i * step;
    samples.push_back(s);

    double m[6], a[3];
    for (int c = 0; c < 3; ++c) a[c] = gradientMix * t_dot3(s.grad[c], s.inPlaneNormal);
    const double len = std::sqrt(t_dot3(s.inPlaneNormal, s.inPlaneNormal) + a[0] * a[0] + a[1] * a[1] +
                                 a[2] * a[2]);
    for (int c = 0; c < 3; ++c) {
      m[c] = len > 0 ? s.inPlaneNormal[c] / len : 0.0;
      m[3 + c] = len > 0 ? a[c] / len : 0.0;
    }
    TRbfPoint on, in, out;
    for (int c = 0; c < 3; ++c) {
      on.pos[c] = q[c];
      on.feat[c] = s.val[c];
      in.pos[c] = q[c] + offset * m[c];
      in.feat[c] = s.val[c] + offset * m[3 + c];
      out.pos[c] = q[c] - offset * m[c];
      out.feat[c] = s.val[c] - offset * m[3 + c];
    }
    on.voxelIndex = s.voxelIndex;
    on.value = 0.0;
    in.voxelIndex = offsetVoxel(in.pos);
    in.value = offset;
    out.voxelIndex = offsetVoxel(out.pos);
    out.value = -offset;
    rbfPoints.push_back(on);
    rbfPoints.push_back(in);
    rbfPoints.push_back(out);
  }
}

void TCanvasContour::applyTiltAngles(int nChannels, double blend, double gradientMix) {
  const int n = static_cast<int>(samples.size());
  if (n < 2) return;
  nChannels = std::max(1, std::min(nChannels, 3));
  std::vector<double> angle(static_cast<size_t>(n), 0.0);
  std::vector<char> fixed(static_cast<size_t>(n), 0), tilted(static_cast<size_t>(n), 0);

  for (const auto& kv : tiltHandles) {
    const double s = kv.first, a = kv.second.angle;
    if (bClosed && s > samples[static_cast<size_t>(n - 1)].arcPos) {
      fixed[0] = fixed[static_cast<size_t>(n - 1)] = 1;
      angle[0] = angle[static_cast<size_t>(n - 1)] = a;
      continue;
    }
    int j = -1;
    for (int k = 0; k < n; ++k)
      if (std::fabs(samples[static_cast<size_t>(k)].arcPos - s) < 1e-5) { j = k; break; }
    if (j >= 0) {
      fixed[static_cast<size_t>(j)] = 1;
      angle[static_cast<size_t>(j)] = a;
      continue;
    }
    for (int k = 0; k < n; ++k)
      if (samples[static_cast<size_t>(k)].arcPos > s) { j = k; break; }
    if (j >= 0) {
      fixed[static_cast<size_t>(j)] = 1;
      angle[static_cast<size_t>(j)] = a;
      if (j > 0) {
        fixed[static_cast<size_t>(j - 1)] = 1;
        angle[static_cast<size_t>(j - 1)] = a;
      }
    }
  }
  for (int i = 0; i < n; ++i)
    for (int d = -4; d <= 4 && !tilted[static_cast<size_t>(i)]; ++d) {
      int j = i + d;
      if (bClosed) j = ((j % n) + n) % n;
      else if (j < 0 || j >= n) continue;
      if (fixed[static_cast<size_t>(j)]) tilted[static_cast<size_t>(i)] = 1;
    }
  tiltedFlags.assign(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) tiltedFlags[static_cast<size_t>(i)] = tilted[static_cast<size_t>(i)] != 0;

  std::vector<double> next(angle);
  for (int pass = 0; pass < 10; ++pass) {
    for (int i = 0; i < n; ++i) {
      if (fixed[static_cast<size_t>(i)]) { next[static_cast<size_t>(i)] = angle[static_cast<size_t>(i)]; continue; }
      const double ai = angle[static_cast<size_t>(i)];
      if (i > 0 && i < n - 1) {
        next[static_cast<size_t>(i)] = 0.25 * angle[static_cast<size_t>(i - 1)] + 0.5 * ai + 0.25 * angle[static_cast<size_t>(i + 1)];
      } else if (bClosed) {
        const double prev = angle[static_cast<size_t>((i - 1 + n) % n)], nx = angle[static_cast<size_t>((i + 1) % n)];
        next[static_cast<size_t>(i)] = 0.25 * prev + 0.5 * ai + 0.25 * nx;
      } else if (i == 0) {
        next[0] = 0.75 * ai + 0.25 * angle[1];
      } else {
        next[static_cast<size_t>(i)] = 0.25 * angle[static_cast<size_t>(n - 2)] + 0.75 * ai;
      }
    }
    angle.swap(next);
  }

  for (int i = 0; i < n; ++i) {
    THrbfSample& s = samples[static_cast<size_t>(i)];
    double gm[3];
    for (int a = 0; a < 3; ++a) gm[a] = (s.grad[0][a] + s.grad[1][a] + s.grad[2][a]) / nChannels;
    double v[3];
    if (tilted[static_cast<size_t>(i)]) {
      double M[9];
      const double ang = angle[static_cast<size_t>(i)];
      t_rotMatAxisAngle(M, s.tangent[0], s.tangent[1], s.tangent[2], std::cos(ang), std::sin(ang));
      t_rotRowVec(M, s.inPlaneNormal, v);
    } else {
      const double sg = t_dot3(s.inPlaneNormal, gm) >= 0 ? blend : -blend;
      for (int a = 0; a < 3; ++a) v[a] = s.inPlaneNormal[a] + sg * gm[a];
      const double vt = t_dot3(v, s.tangent);
      for (int a = 0; a < 3; ++a) v[a] -= vt * s.tangent[a];
    }
    t_normalize3(v);
    for (int a = 0; a < 3; ++a) s.normal[a] = v[a];
    for (int c = 0; c < 3; ++c) s.normal[3 + c] = c < nChannels ? gradientMix * t_dot3(v, s.grad[c]) : 0.0;
    const double len = std::sqrt(t_dot3(v, v) + s.normal[3] * s.normal[3] + s.normal[4] * s.normal[4] +
                                 s.normal[5] * s.normal[5]);
    if (len > 0)
      for (double& x : s.normal) x /= len;
  }
}
