#pragma once
// SIGINT and SIGTERM end the program through its normal exit path: the signal handler only
// writes a byte to a pipe, and a socket notifier on the interface thread calls
// QCoreApplication::exit(0), so the main loop returns and the application's exit work (plug-in
// result, workers stopped) runs.  A second signal while that is under way ends the process at
// once (the default action is restored after the first).
class QObject;

// Call once after the application object exists.  Returns false when the pipe could not be made.
bool t_quitOnTermSignals();
// True once SIGINT or SIGTERM arrived.  A signal during start-up ends the loops running then;
// the caller checks this before entering the main loop.
bool t_termSignalReceived();
