#pragma once
// Running the program's modal dialogs.
class QDialog;

// Runs dlg modally and returns its result.  When a modal window closes, the window system may
// leave none of ours active (with no window manager X gives the focus to the root window; a
// window manager may give it to a panel that the command then hides), and the next click on the
// main window's menu bar would only activate the window.  So the main window is activated again
// afterwards, or the modal window still open under this one.
int t_execModal(QDialog& dlg);
