#pragma once

// Ends the event loop, as closing the window does, when the program is asked
// to stop by a signal (SIGTERM, SIGHUP, SIGINT): everything is then torn down
// in order, and a run still going is recorded.
void quitOnSignals();
