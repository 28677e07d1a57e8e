// stop_signals.cpp - the signals that stop a run cleanly instead of killing the process.
#include "stop_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pelkoran {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGALRM, SIGUSR1, SIGUSR2};

volatile std::sig_atomic_t g_stop = 0;
int g_pipe[2] = {-1, -1};
std::atomic<bool> g_installed{false};

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    g_stop = 1;
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        (void)!::write(g_pipe[1], &byte, 1);  // a full pipe is readable already
    }
    errno = saved;
}

}  // namespace

void InstallStopSignals()
{
    if (g_installed.exchange(true))
        return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kStopSignals)
        ::sigaction(sig, &sa, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

bool StopRequested()
{
    return g_stop != 0;
}

int StopSignalFd()
{
    return g_pipe[0];
}

}  // namespace pelkoran
