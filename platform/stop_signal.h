// Ctrl-C and its kin as a request to stop: the run ends at the next whole record, closes its
// report, and then ends as the signal would have ended it.
#pragma once

namespace tandrel {

// From here on SIGINT, SIGTERM and SIGHUP ask the run to stop instead of ending the process; a
// second one ends it at once. Does nothing on Windows, where the program has no console.
void CatchStopSignals();

// The signal that asked the run to stop, or 0.
int StopSignal();

// Ends the process as signal would have, had it not been caught (the exit status a shell sees is
// the signal's).
void EndBySignal(int signal);

}  // namespace tandrel
