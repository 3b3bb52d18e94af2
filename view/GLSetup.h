#pragma once
// Process-wide OpenGL settings.  Must run before the QApplication is constructed: shared contexts
// (a floated slice pane keeps the main view's textures) and a compatibility profile (the renderer
// draws in immediate mode, which a core profile refuses).
void t_setupGLDefaults();

#include <string>

// Whether an OpenGL context of the default format can be created and made current on this
// display.  Run after the QApplication exists and before any GL widget is made: without OpenGL a
// window holding a GL widget cannot even be painted.  *why (when given) receives the reason.
bool t_probeOpenGL(std::string* why = nullptr);
