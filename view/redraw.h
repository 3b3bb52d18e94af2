#pragma once
// Repaints the main view and the three slice panes at once.  Every part of the program calls it
// after changing what is shown.
void t_redrawAll();
