// cli_window.cpp - interrupts become a cancel of the running command.
#include "cli_window.h"

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

struct sigaction g_old_int, g_old_term;

}  // namespace

CliWindow::CliWindow()
{
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_old_int);
    sigaction(SIGTERM, &sa, &g_old_term);
}

CliWindow::~CliWindow()
{
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
}

bool CliWindow::on_progress(const lzh::Progress&)
{
    return g_interrupted == 0;
}

void CliWindow::on_failure(std::string_view)
{
    // The caller prints the library's report; nothing to show here.
}

void CliWindow::on_skipped(std::string_view path)
{
    std::fprintf(stderr, "pelkoran-cli: 特殊ファイルのため書庫に入れませんでした: %.*s\n",
                 static_cast<int>(path.size()), path.data());
}

bool CliWindow::interrupted()
{
    return g_interrupted != 0;
}
