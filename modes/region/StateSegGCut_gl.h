#pragma once
// The GL side of the graph-cut mode, installed at registration: its drawing, and the path of the
// loaded volume (where the watershed cache file lives).
class StateSegGCut;

void t_drawStateSegGCut(StateSegGCut& mode);
void t_installStateSegGCutHooks();
