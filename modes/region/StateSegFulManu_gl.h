#pragma once
// The GL drawing of the slice-by-slice mode in the main view and in the slice panes, installed as
// its draw hooks at registration.
class StateSegFulManu;
class TSubPane;

void t_drawStateSegFulManu(StateSegFulManu& mode);
void t_drawStateSegFulManu2D(StateSegFulManu& mode, TSubPane* pane);
