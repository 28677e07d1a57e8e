// stop_signals_win.cpp - Ctrl+C, Ctrl+Break and the console's closing stop a
// console run cleanly on Windows: the handler (SetConsoleCtrlHandler) only
// asks for the stop, and the run's next progress call answers false.
#include "stop_signals.h"

#include <atomic>
#include <windows.h>

namespace pelkoran {

namespace {

std::atomic<bool> g_stop{false};
std::atomic<bool> g_installed{false};

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        g_stop.store(true);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: give the run a moment to
        // remove its temporary file first.
        g_stop.store(true);
        ::Sleep(2000);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

void InstallStopSignals()
{
    if (g_installed.exchange(true))
        return;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested()
{
    return g_stop.load();
}

// No descriptor on Windows: a console program polls StopRequested().
int StopSignalFd()
{
    return -1;
}

}  // namespace pelkoran
