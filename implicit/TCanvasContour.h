// TCanvasContour: one contour drawn on a cutting canvas of the contour-mesh modes, with the
// constraints derived from it: Hermite samples for the Hermite-RBF systems, value points for the
// plain RBF systems, and tilt handles where another contour's canvas crosses it.
//
// Drawing members live in TCanvasContour_gl.cpp (library kimplicit_gl); everything else is plain.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "geom/ClipSurface.h"
#include "geom/Tstroke3D_tube.h"
#include "geom/vec3.h"

// One Hermite constraint: field 0 at pos, gradient along the joint normal.
struct THrbfSample {
  double pos[3] = {0, 0, 0};
  double val[3] = {0, 0, 0};     // channel values x weight at pos (0 for absent channels)
  double normal[6] = {0, 0, 0, 0, 0, 0};  // spatial x, y, z, then one feature part per channel
  uint32_t voxelIndex = 0;
  double target = 0.0;
  double arcPos = 0.0;
  double tangent[3] = {0, 0, 0};
  double inPlaneNormal[3] = {0, 0, 0};
  double grad[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};  // per channel, weighted, per pitch

  THrbfSample() = default;
  THrbfSample(const THrbfSample&) = default;
  THrbfSample& operator=(const THrbfSample&) = default;
};

// One value constraint of the plain RBF systems.
struct TRbfPoint {
  double pos[3] = {0, 0, 0};
  double feat[3] = {0, 0, 0};
  uint32_t voxelIndex = 0;  // not clamped: a point off the volume may carry any index
  double value = 0.0;       // 0 on the contour, +offset inside, -offset outside
};

// Where another contour's canvas crosses this contour's stroke.
struct TTiltHandle {
  double pos[3] = {0, 0, 0};
  double dir[3] = {0, 0, 0};
  double axis[3] = {0, 0, 0};
  double arcPos = 0.0;
  double angle = 0.0;  // turn of the in-plane normal about the stroke direction onto axis
  int otherContour = -1;
};

struct TCanvasCrossing {
  double pos[3] = {0, 0, 0};
  double dir[3] = {0, 0, 0};
  double arcPos = 0.0;
};

class TCanvasContour {
 public:
  std::vector<TVec3> controlPoints;
  bool bInsideDir = true;
  bool bClosed = false;
  TVec3 canvasFrame[3];
  Tstroke3D_tube stroke;
  std::map<double, TTiltHandle> tiltHandles;
  std::vector<THrbfSample> samples;
  std::vector<TRbfPoint> rbfPoints;
  std::vector<bool> tiltedFlags;
  ClipSurface canvas;

  TCanvasContour();
  TCanvasContour(const TCanvasContour& src);
  TCanvasContour& operator=(const TCanvasContour& src);
  ~TCanvasContour();

  void clear();
  void eraseControlPoint(int i);
  bool moveControlPoint(const double origin[3], const double direction[3], int i);
  void getBoundingBox(double min[3], double max[3]) const;
  void setCanvas(const TTriangleMesh& mesh, const double frame[9]);
  void updateStroke();

  // A contour with fewer than three control points, or whose stroke has no length, is not a
  // contour yet: it yields no samples, and gathering counts none of whatever it still holds.
  bool hasValidShape() const;
  // The samples this contour contributes to a system (0 when its shape is not valid).
  size_t activeSampleCount() const { return hasValidShape() ? samples.size() : 0; }

  // Handle bookkeeping of the modes when a contour is erased.
  void eraseCrossPointsWith(int index);
  // Handles naming `removed` now name `moved`; indices above `removed` drop by one.
  void renumberCrossPoints(int removed, int moved);

  // Sampling (contour_sampling.cpp).
  void calcSamples(const double extent[3], int nChannels, int W, int H, int D, const float* vol0,
                   const float* vol1, const float* vol2, double spacing, double weight,
                   double offset, double gradientMix);
  void applyTiltAngles(int nChannels, double blend, double gradientMix);
  double* calcInPlaneNormal(double out[3], const double point[3], const double tangent[3]) const;

  // Crossings (contour_crossings.cpp).
  static void calcCrossPoints(int indexA, TCanvasContour& a, int indexB, TCanvasContour& b,
                              double tolerance2);

  // Drawing (TCanvasContour_gl.cpp).
  void draw(bool highlighted) const;
  void drawRbfPoints() const;
  void drawSamples() const;

 private:
  void copyFrom(const TCanvasContour& src);
};

// Rotation by the angle (cosine c, sine s) about the axis, row-major, applied to row vectors
// (v'_j = sum_i v_i m_ij).  Identity and true for (1, 0); identity and false for a zero axis.
bool t_rotMatAxisAngle(double m[9], double ax, double ay, double az, double c, double s);
// v' = v * m (row vector times matrix).
void t_rotRowVec(const double m[9], const double v[3], double out[3]);

// Packs the samples of all stored contours and then of the drawn one (the numbering of the
// Hermite-RBF systems) and the pivot limit of every system row.  Contours without a valid shape
// contribute no samples (an empty block).  Both arrays are new[]-allocated and owned by the caller.
void t_gatherContourConstraints(int nChannels, const std::vector<TCanvasContour>& stored,
                                const TCanvasContour& drawn, unsigned* newCount, unsigned* prevCount,
                                int** rowBlockEnd, THrbfSample** packed);
// The same into vectors (what a worker keeps as its own copy).
void t_gatherContourConstraints(int nChannels, const std::vector<TCanvasContour>& stored,
                                const TCanvasContour& drawn, unsigned& newCount, unsigned& prevCount,
                                std::vector<int>& rowBlockEnd, std::vector<THrbfSample>& packed);
// The value points of the plain RBF systems in the same order: the stored contours', then the
// drawn one's.  Contours without a valid shape contribute none.
void t_gatherRbfPoints(const std::vector<TCanvasContour>& stored, const TCanvasContour& drawn,
                       unsigned& newCount, unsigned& prevCount, std::vector<TRbfPoint>& points);
