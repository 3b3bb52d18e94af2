#pragma once
// Asks for a frame of the main view and of the three slice panes.  Every part of the program calls
// it after changing what is shown.  The frames are drawn when the event loop next runs, and the
// requests made before then give one frame per window: an input handler never waits for a frame,
// so a slow frame costs no mouse events.
void t_redrawAll();
