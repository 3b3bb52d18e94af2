#pragma once
// Running the program's modal dialogs.
class QDialog;

// Runs dlg modally and returns its result.  When a modal window closes, the window system may
// leave none of ours active (with no window manager X gives the focus to the root window; a
// window manager may give it to a panel that the command then hides), and the next click would
// only activate a window.  So the window that opened the dialog is activated again afterwards
// (the dialog's parent, else the window active when it opened), or the modal window still open
// under this one; where the opener is gone or hidden, the main window.  Activation is
// asynchronous (on X11 it arrives later as an event): an opener hidden before its activation
// arrived (the command the dialog answered ended the mode whose panel it is), or reached by it
// when hidden already, hands the keys to the main window too.
int t_execModal(QDialog& dlg);
