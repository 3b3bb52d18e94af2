// The tube frames follow the curve with minimal twist: each station's frame turns the
// y axis onto the tangent and then spins about it so that its x axis lies as close as
// possible to the previous station's x axis.
#include "geom/Tstroke3D_tube.h"

#include <algorithm>
#include <cmath>

#include "geom/matrix3.h"

namespace {

const double kTwoPi = 6.283185307179586;

void identity4(double m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

// out = A * B, 4x4 in column order (element (r, c) at 4c + r).
void mul4(const double A[16], const double B[16], double out[16]) {
  double r[16];
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += A[4 * k + row] * B[4 * c + k];
      r[4 * c + row] = s;
    }
  for (int i = 0; i < 16; ++i) out[i] = r[i];
}

// The image of (x, y, z) under the rotation part of m.
void apply3(const double m[16], double x, double y, double z, double out[3]) {
  out[0] = m[0] * x + m[4] * y + m[8] * z;
  out[1] = m[1] * x + m[5] * y + m[9] * z;
  out[2] = m[2] * x + m[6] * y + m[10] * z;
}

}  // namespace

Tstroke3D_tube::Tstroke3D_tube(double r) : radius(r) {}

Tstroke3D_tube::Tstroke3D_tube(const Tstroke3D_tube& other)
    : Tstroke3D(other), sides(other.sides), radius(other.radius) {
  updateTube();
}

Tstroke3D_tube& Tstroke3D_tube::operator=(const Tstroke3D_tube& other) {
  if (this != &other) {
    closed = other.closed;
    points = other.points;
    sides = other.sides;
    radius = other.radius;
    ringVerts.clear();
    ringNormals.clear();
    updateTube();
  }
  return *this;
}

Tstroke3D_tube::~Tstroke3D_tube() = default;

void Tstroke3D_tube::clear() {
  points.clear();
  ringVerts.clear();
  ringNormals.clear();
}

void Tstroke3D_tube::updateTube() {
  const int n = int(points.size());
  if (n < 2 || sides < 2) return;
  const int stations = closed ? n + 1 : n;
  if (int(ringVerts.size()) != stations || int(ringNormals.size()) != stations ||
      int(ringVerts[0].size()) != sides || int(ringNormals[0].size()) != sides) {
    ringVerts.assign(size_t(stations), TPoints(size_t(sides)));
    ringNormals.assign(size_t(stations), TPoints(size_t(sides)));
  }

  double prevFrame[16];
  identity4(prevFrame);
  for (int i = 0; i < stations; ++i) {
    // Tangent and centre.
    const TVec3* C;
    double t[3];
    if (!closed) {
      const int a = i == 0 ? 0 : (i == n - 1 ? n - 2 : i - 1);
      const int b = i == 0 ? 1 : (i == n - 1 ? n - 1 : i + 1);
      t_sub3(points[size_t(b)], points[size_t(a)], t);
      C = &points[size_t(i)];
    } else {
      const int s = i == n ? 0 : i;
      t_sub3(points[size_t((s + 1) % n)], points[size_t((s + n - 1) % n)], t);
      C = &points[size_t(s)];
    }
    t_normalize3(t);

    // Base rotation: the y axis onto the tangent.
    double frame[16];
    identity4(frame);
    const bool zero = t[0] == 0.0 && t[1] == 0.0 && t[2] == 0.0;
    if (!zero) {
      if (t[0] * t[0] + t[2] * t[2] >= 0.001) {
        const double axis[3] = {t[2], 0.0, -t[0]};
        const double c = std::max(-1.0, std::min(1.0, t[1]));
        t_rotMatFromAxisAngle(frame, axis, c, std::sqrt(1.0 - c * c));
      } else if (i > 0) {
        if (t[1] < 0) {
          const double xAxis[3] = {1.0, 0.0, 0.0};
          t_rotMatFromAxisAngle(frame, xAxis, -1.0, 0.0);
        } else {
          for (int k = 0; k < 16; ++k) frame[k] = prevFrame[k];
        }
      }
    }

    // Twist correction: spin about the local y axis so that x follows the previous x.
    if (i > 0) {
      double u[3], q[3], w[3];
      apply3(frame, 1, 0, 0, u);
      apply3(prevFrame, 1, 0, 0, q);
      const double qt = t_dot3(q, t);
      for (int k = 0; k < 3; ++k) w[k] = q[k] - qt * t[k];
      t_normalize3(w);
      double alpha = 0.0;
      const double lu = t_length3(u), lw = t_length3(w);
      if (lu > 0.0 && lw > 0.0) {
        const double c = std::max(-1.0, std::min(1.0, t_dot3(u, w) / (lu * lw)));
        alpha = std::acos(c);
        double uw[3];
        t_cross3(u, w, uw);
        if (t_dot3(uw, t) < 0.0) alpha = -alpha;
      }
      if (alpha != 0.0) {
        double spin[16];
        const double yAxis[3] = {0.0, 1.0, 0.0};
        t_rotMatFromAxisAngle(spin, yAxis, std::cos(alpha), std::sin(alpha));
        mul4(frame, spin, frame);
      }
    }

    TPoints& rv = ringVerts[size_t(i)];
    TPoints& rn = ringNormals[size_t(i)];
    for (int s = 0; s < sides; ++s) {
      const double theta = kTwoPi * s / (sides - 1);
      double o[3];
      apply3(frame, radius * std::cos(theta), 0.0, radius * std::sin(theta), o);
      rv[size_t(s)].set((*C)[0] + o[0], (*C)[1] + o[1], (*C)[2] + o[2]);
      t_normalize3(o);
      rn[size_t(s)].set(o[0], o[1], o[2]);
    }
    for (int k = 0; k < 16; ++k) prevFrame[k] = frame[k];
  }
}
