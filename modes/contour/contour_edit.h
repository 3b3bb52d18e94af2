#pragma once
// What both contour-mesh modes do with their contours alike: control points and stored contours
// picked with the cursor ray, control points added where the ray meets the canvas, the
// region-of-interest box and the crossing handles between contours.
#include <vector>

#include "core/ModeViewHost.h"
#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"
#include "implicit/TCanvasContour.h"

// The volume as the view has it: the box extent and the voxel counts (1 without a view; at least
// 1 each way) and the mean voxel pitch.
struct TContourGrid {
  double extent[3];
  int W, H, D;
  double meanVoxel;
};
TContourGrid t_contourGrid();

// Distance from c to the line o + t d; from o itself when d is zero.
double t_contourRayDistance(const double o[3], const double d[3], const double c[3]);

// The first control point of the contour within 1.5 stroke radii of the cursor ray at p; -1
// when there is none or no ray.
int t_contourPickControlPoint(const TCanvasContour& c, const TPoint2i& p);

// Appends a control point where the cursor ray at p meets the contour's canvas; its index, or -1
// (nothing added) when the ray misses the canvas.
int t_contourAddControlPoint(TCanvasContour& c, const TPoint2i& p);

// Of the contours whose stroke passes within its radius of the ray, the one whose nearest stroke
// point lies nearest the ray's origin; -1 when there is none.
int t_contourPickStroke(const std::vector<TCanvasContour>& contours, const TModeRay& ray);

// The bounding box of the drawn and the stored contours widened by three voxels (mn, mx, in box
// units) and the voxels it covers (lo, hi, clamped to the W x H x D volume of the given extent;
// no contour at all gives an empty box, lo above hi).
void t_contourRoiBox(const TCanvasContour& drawn, const std::vector<TCanvasContour>& stored, const double extent[3],
                     int W, int H, int D, double mn[3], double mx[3], int lo[3], int hi[3]);

// Crossing handles between every two stored contours whose boxes overlap (tol: squared
// distance).
void t_contourCrossStored(std::vector<TCanvasContour>& stored, double tol);
// Crossing handles between the drawn contour (numbered after the stored ones) and each stored
// contour whose box overlaps its canvas.
void t_contourCrossDrawn(std::vector<TCanvasContour>& stored, TCanvasContour& drawn, double tol);

// A contour read from a file: its canvas, frame (eye, centre, up), control points and flags.
void t_contourFromFile(TCanvasContour& c, const TTriangleMesh& canvas, const TVec3 frame[3], const TPoints& controlPoints,
                       bool insideDir, bool closed);
