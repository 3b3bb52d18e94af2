#pragma once
// Drawing helpers of the modes.
#include "geom/vec3.h"

class TOGL;

// Draws the points as one line strip in colour (r, g, b) with the given width; depth test and
// lighting are off while drawing, the depth test is on again afterwards (lighting stays off).
// Needs a current GL context (inside a mode's OnDraw).
void t_drawGLLines(const TPoints& points, double r, double g, double b, float width);

// Repaints the window of a context at once when it has one (a view refreshed during a drag).
void t_redrawWindow(TOGL& ogl);
