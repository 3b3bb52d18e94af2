#pragma once
// TFiberView: what the fiber kernels need of a view's camera, as plain numbers: the eye and
// centre, the model-view and projection matrices (column order, as the GL reads them back), the
// viewport and the reference depth.  The mode fills one from its main view before each call.
// Window coordinates here run from the top of the viewport down, like cursor points.

struct TFiberView {
  double eye[3] = {0, 0, 1};
  double center[3] = {0, 0, 0};
  double modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  int viewport[4] = {0, 0, 1, 1};
  // World size that one unit of the cursor-circle size stands for at unit distance (the view's
  // reference depth); the drag radius divides by it.
  double refDepth = 1.0;

  // Window point (x, y from the top, depth 0..1) of p; false when p projects to infinity.
  bool project(const double p[3], double out[3]) const;
  // World point under window point (x, y from the top) at a window depth; false for a singular
  // camera.
  bool unProject(double x, double y, double depth, double out[3]) const;
  // The ray under a cursor point: origin at depth 0, unit direction towards depth 0.2.
  void cursorRay(double x, double y, double origin[3], double dir[3]) const;
  // Unit vector from the eye to the centre; (1, 0, 0) when they coincide.
  void viewDirection(double d[3]) const;

  // A perspective camera looking from eye at center (for tests and tools).
  static TFiberView lookAt(const double eye[3], const double center[3], const double up[3],
                           double fovyDegrees, double zNear, double zFar, int width, int height);
};
