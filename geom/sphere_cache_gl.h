// Small spheres for control points, seeds and fiber points: a unit sphere mesh built once
// per run, placed and sized through the modelview matrix (left as it was found).
// Immediate-mode OpenGL into the current context (library kgeom_surf_gl).
#pragma once

#include "geom/vec3.h"

// Unlit, in the current colour and state.
void t_drawSphere(double radius, const double centre[3]);
// With per-vertex normals for lighting, in the current material.
void t_drawSphereShaded(double radius, const double centre[3]);
// Sets a half-transparent blue front material (it stays set) and draws a shaded sphere at
// every point.
void t_drawSpheresAtPoints(double radius, const TPoints& points);
