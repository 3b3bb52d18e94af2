#pragma once
// The GL drawing of the curved-cylinder mode, installed as its draw hook at registration.
class StateSegCurveCyl;

void t_drawStateSegCurveCyl(StateSegCurveCyl& mode);
