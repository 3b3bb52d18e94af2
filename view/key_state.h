#pragma once
// Key state as our own windows saw it: the modifiers of the latest mouse or key event that the
// main view or a slice pane received, and whether the space bar is held.  Read wherever a mode
// or the renderer asks "is Ctrl / Shift / Space down" at the time of an event.
//
// The space bar is set by its press and cleared by its release (X11's auto-repeat releases are
// ignored by the callers) and when the focus leaves our windows, so a release that went to
// another window never leaves it stuck.
#include <Qt>

// Called by the views for every input event they forward.
void t_noteKeyModifiers(Qt::KeyboardModifiers mods);
Qt::KeyboardModifiers t_keyModifiers();
bool t_ctrlHeld();
bool t_shiftHeld();

void t_setSpaceHeld(bool held);
bool t_spaceHeld();

// Focus left our windows: nothing is held any more.
void t_clearHeldKeys();
