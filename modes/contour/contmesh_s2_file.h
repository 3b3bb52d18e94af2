#pragma once
// Contour files of the two-step contour-mesh mode (".kestrnContMeshS2"): the axis, its two plane
// directions, the registered contours on their quad canvases and the panel's weight, as text in
// the C locale.
//
// A file is read and checked completely (keywords, counts against the text that is left, quad
// corners 0-3, finite numbers, flags 0 or 1) before anything is handed out: a refused file leaves
// the caller's state as it was.
#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"

struct TContMeshS2Contour {
  TVec3 frame[3];  // canvas eye, centre, up
  TVec3 verts[4];  // the canvas quad
  TVec3 normals[4];
  TPolyIdx tris[2] = {TPolyIdx{0, 1, 2}, TPolyIdx{0, 2, 3}};
  std::vector<TVec3> controlPoints;
  bool bInsideDir = false;
  bool bClosed = false;
};

struct TContMeshS2 {
  TVec3 p0, p1, w, u;  // axis start and end, plane directions
  std::vector<TContMeshS2Contour> contours;
  double weight = 2.0;  // "Wcol"
};

std::string t_formatContMeshS2(const TContMeshS2& data);
// Parses a whole file; false (out untouched, *why set) when it does not follow the layout.
bool t_parseContMeshS2(const std::string& text, TContMeshS2& out, std::string* why = nullptr);

// False when the file could not be written completely (a partial file is removed) or could not
// be read or parsed (*why tells which).
bool t_writeContMeshS2(const std::string& path, const TContMeshS2& data);
bool t_readContMeshS2(const std::string& path, TContMeshS2& out, std::string* why = nullptr);
