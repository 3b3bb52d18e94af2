#pragma once
// GL pieces of the main view's frame, kept apart from the Qt widget code (GLEW here, Qt's GL
// headers there).
void t_setMainViewLights();
void t_finishGL();
