#pragma once
// The GL side of the contour-refinement mode: its drawing in the main view and what it reads of
// the main view's camera and the renderer's cut surface; installed as the mode's view hooks at
// registration.
class StateRefContours;

void t_installStateRefContoursHooks();
void t_drawStateRefContours(StateRefContours& mode);
