#pragma once
// Process-wide OpenGL settings.  Must run before the QApplication is constructed: shared contexts
// (a floated slice pane keeps the main view's textures) and a compatibility profile (the renderer
// draws in immediate mode, which a core profile refuses).
void t_setupGLDefaults();
