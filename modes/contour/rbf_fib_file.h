#pragma once
// Contour files of the contour-mesh mode (".kestrnRbfFib"): the stored contours with their
// canvases, and the four sampling coefficients of the panel, as text in the C locale.
//
// Version 2 is written; versions 1 and 2 are read.  A file is read and checked completely
// (keywords, counts against the text that is left, triangle corners, finite numbers, flags 0 or
// 1) before anything is handed out: a refused file leaves the caller's state as it was.
#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"

struct TRbfFibContour {
  TVec3 frame[3];
  std::vector<TVec3> canvasVerts;
  std::vector<TPolyIdx> canvasPolys;
  std::vector<TVec3> controlPoints;
  bool bInsideDir = false;
  bool bClosed = false;
};

struct TRbfFibCoefs {
  double interval = 4.0;  // interval spin x 0.1
  double colour = 1.0;    // w_c
  double blend = 0.1;     // w_b
  double normal = 0.5;    // w_n
  bool hasBlendNormal = true;  // false for a version-1 file (it carries neither)
};

// The text of a version-2 file.
std::string t_formatRbfFib(const std::vector<TRbfFibContour>& contours, const TRbfFibCoefs& coefs);
// Parses a whole file; false (outputs untouched, *why set) when it does not follow the layout.
bool t_parseRbfFib(const std::string& text, std::vector<TRbfFibContour>& contours, TRbfFibCoefs& coefs,
                   std::string* why = nullptr);

// File versions: false when the file could not be written completely (a partial file is
// removed) or could not be read or parsed.
bool t_writeRbfFib(const std::string& path, const std::vector<TRbfFibContour>& contours,
                   const TRbfFibCoefs& coefs);
bool t_readRbfFib(const std::string& path, std::vector<TRbfFibContour>& contours, TRbfFibCoefs& coefs,
                  std::string* why = nullptr);
