#pragma once
// The GL drawing of the region-growing mode, installed as its draw hook at registration.
class StateSegRGrow;

void t_drawStateSegRGrow(StateSegRGrow& mode);
