// cli_window.cpp - stop signals become a cancel of the running command.
#include "cli_window.h"

#include "stop_signals.h"

CliWindow::CliWindow()
{
    pelkoran::InstallStopSignals();
}

bool CliWindow::on_progress(const lzh::Progress&)
{
    return !pelkoran::StopRequested();
}

void CliWindow::on_failure(std::string_view)
{
    // The caller prints the library's report; nothing to show here.
}
