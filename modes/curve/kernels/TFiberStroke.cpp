#include "modes/curve/kernels/TFiberStroke.h"

#include <algorithm>

TFiberStroke::TFiberStroke() = default;
TFiberStroke::~TFiberStroke() = default;

TFiberStroke::TFiberStroke(const TFiberStroke& o)
    : Tstroke3D_fiber(o),
      pointConstraint(o.pointConstraint),
      constraints(o.constraints),
      depth(o.depth),
      parent(o.parent) {}

TFiberStroke& TFiberStroke::operator=(const TFiberStroke& o) {
  if (this != &o) {
    Tstroke3D_fiber::operator=(o);
    pointConstraint = o.pointConstraint;
    constraints = o.constraints;
    moveVectors.clear();
    depth = o.depth;
    parent = o.parent;
  }
  return *this;
}

unsigned short TFiberStroke::getPointFlag(int i) {
  pinned.resize(points.size(), 0);
  if (i < 0 || i >= static_cast<int>(pinned.size())) return 0;
  return pinned[i];
}

void TFiberStroke::setPointFlag(int i, unsigned short v) {
  pinned.resize(points.size(), 0);
  if (i >= 0 && i < static_cast<int>(pinned.size())) pinned[i] = v;
}

void TFiberStroke::updateConstraintPositions() {
  const int n = static_cast<int>(points.size());
  for (TFiberConstraint& c : constraints) {
    if (c.fibA < 0 || c.fibA >= n || c.fibB < 0 || c.fibB >= n) continue;
    for (int k = 0; k < 3; ++k) c.pos[k] = (1.0 - c.t) * points[c.fibB][k] + c.t * points[c.fibA][k];
  }
}

void TFiberStroke::reversePoints() { std::reverse(points.begin(), points.end()); }

bool TFiberStroke::writeConstraints(FILE* fp) const {
  if (!fp) return false;
  std::fprintf(fp, "fibConst\n");
  std::fprintf(fp, "fiber %d %d %f\n", static_cast<int>(points.size()), closed ? 1 : 0, radius);
  for (const TVec3& p : points) std::fprintf(fp, "%f %f %f\n", p[0], p[1], p[2]);
  for (int idx : pointConstraint) std::fprintf(fp, "%d \n", idx);
  std::fprintf(fp, "const %d\n", static_cast<int>(constraints.size()));
  for (const TFiberConstraint& c : constraints)
    std::fprintf(fp, "%d %d %f %d %d %f  %d\n", c.meshA, c.meshB, c.w, c.fibA, c.fibB, c.t, c.active ? 1 : 0);
  return std::ferror(fp) == 0;
}
