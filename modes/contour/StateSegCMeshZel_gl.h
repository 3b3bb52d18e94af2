#pragma once
// The GL drawing of the two-step contour-mesh mode, installed as its draw hook at registration.
class StateSegCMeshZel;

void t_drawStateSegCMeshZel(StateSegCMeshZel& mode);
