#pragma once
// The GL side of the seeded-region-growing mode, installed at registration: its drawing, and the
// channel-1 display and region colours it changes.
class StateSegSRG;

void t_drawStateSegSRG(StateSegSRG& mode);
void t_installStateSegSRGHooks();
