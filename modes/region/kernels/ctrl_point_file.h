#pragma once
// The control-point text file of the region-growing mode: one point a line, written "%f, %f, %f,"
// in physical units (voxel coordinates times the pitch); read as repeated "%lf,%lf,%lf," with
// blanks and line breaks allowed before each number.
//
// Points in memory are volume-box coordinates: a box of extent (Ex, Ey, Ez) over W x H x D voxels
// of pitch (px, py, pz) gives the file value x / Ex * W * px.  W, H, D are 1 without a volume.
#include <string>

#include "geom/vec3.h"

struct TCtrlPointFrame {
  double extent[3] = {1, 1, 1};
  int dims[3] = {1, 1, 1};
  double pitch[3] = {1, 1, 1};
};

// Writes every point in order.  False when the file cannot be opened or written completely, or
// when the frame cannot convert the points (an empty extent).
bool t_exportCtrlPoints(const std::string& path, const TPoints& points, const TCtrlPointFrame& frame);

// Appends the points read from `text` (len bytes, not necessarily terminated) to `points` and
// returns how many were appended.  Reading stops at the first triple that is not three numbers
// separated by commas, and at a number or a converted point that is not finite; the points read
// before stay.  The comma after the third number is optional.  Nothing is appended when the frame
// cannot convert (a zero pitch, extent or size).
int t_parseCtrlPoints(const char* text, size_t len, const TCtrlPointFrame& frame, TPoints& points);

// Reads a file with t_parseCtrlPoints; -1 (nothing appended) when it cannot be opened or read.
int t_importCtrlPoints(const std::string& path, const TCtrlPointFrame& frame, TPoints& points);
