// cli_window.cpp - stop signals become a cancel of the running command.
#include "cli_window.h"

#include "cli_texts.h"

#include "stop_signals.h"

#include <cstdio>
#include <string>

CliWindow::CliWindow()
{
    pelkoran::InstallStopSignals();
}

bool CliWindow::on_progress(const lzh::Progress& progress)
{
    if (progress.waiting && !waiting_)
        std::fprintf(stderr, "pelkoran-cli: %.*s: %.*s\n", int(progress.current.size()),
                     progress.current.data(), int(progress.archive.size()), progress.archive.data());
    waiting_ = progress.waiting;
    return !pelkoran::StopRequested();
}

void CliWindow::on_failure(std::string_view)
{
    // The caller prints the library's report; nothing to show here.
}

void CliWindow::on_skipped(std::string_view path)
{
    std::fprintf(stderr, Text(CliText::special_file_left_out), std::string(path).c_str());
}
