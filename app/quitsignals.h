#pragma once

#include <functional>

// Ends the event loop, as closing the window does, when the program is asked
// to stop by a signal (SIGTERM, SIGHUP, SIGINT): everything is then torn down
// in order, and a run still going is recorded. A message written to a
// reader that is gone no longer ends it.
void quitOnSignals();

// The program may also be ended from inside the event loop by exit(), where
// no destructor of ours runs: Qt's X11 platform does so, with status 1, when
// its connection to the display breaks (the window killed with xkill, the X
// server gone). Until leftTheEventLoop, such an exit runs keep once, on the
// GUI thread, and one line says why the program ends in place of Qt's.
void keepOnExit(std::function<void()> keep);
void leftTheEventLoop();
