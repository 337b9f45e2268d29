#pragma once

#include <functional>

// Ctrl-C (SIGINT) and SIGTERM end the program the way closing its window
// does. The signal handler only writes one byte into a socket pair; the
// other end is watched by a QSocketNotifier, so `on_quit` runs on the GUI
// thread from the event loop, where closing the window is safe. A second
// signal while the first is still being handled ends the process at once
// (the signal's default action), should the orderly close hang.
//
// Call once, on the GUI thread, after the QApplication exists. Returns false
// when the socket pair or the handlers could not be set up.
bool install_quit_signals(std::function<void()> on_quit);
