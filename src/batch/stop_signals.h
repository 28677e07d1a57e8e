// stop_signals.h - the signals that stop a run cleanly instead of killing the process.
//
// SIGINT (Ctrl+C), SIGTERM, SIGHUP (the terminal closed), SIGALRM, SIGUSR1 and
// SIGUSR2 would end the process in the middle of an archive, leaving its
// temporary file behind. With these handlers a signal only asks for the stop:
// the window's next progress call answers false, the library fails the item,
// the old archive stays as it was and the temporary file goes. SIGXFSZ (a file
// size limit, `ulimit -f`) is ignored, so the write that passes the limit
// fails with EFBIG and the item fails with that reason.
#pragma once

namespace pelkoran {

// Installs the handlers for the rest of the process (again: nothing more).
void InstallStopSignals();

// Whether a stop signal arrived since InstallStopSignals.
bool StopRequested();

// A descriptor that becomes readable when a stop signal arrives, for an
// event loop to watch (-1 before InstallStopSignals).
int StopSignalFd();

}  // namespace pelkoran
