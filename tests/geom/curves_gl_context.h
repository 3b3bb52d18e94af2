// An off-screen GL compatibility context with a 64 x 64 framebuffer for the drawing tests.
#pragma once

bool t_curvesMakeGLContext();
void t_curvesReleaseGLContext();
