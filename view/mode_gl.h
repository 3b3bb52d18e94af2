#pragma once
// Drawing helpers of the modes.
#include "geom/vec3.h"

class TOGL;

// Draws the points as one line strip in colour (r, g, b) with the given width; depth test and
// lighting are off while drawing, the depth test is on again afterwards (lighting stays off).
// Needs a current GL context (inside a mode's OnDraw).
void t_drawGLLines(const TPoints& points, double r, double g, double b, float width);

// Asks for a frame of the window of a context when it has one (a view refreshed during a drag);
// requests made before that frame is drawn give one frame.
void t_redrawWindow(TOGL& ogl);
