// cli_window.h - the library's "window" for pelkoran-cli: no dialog, but a
// stop signal (Ctrl+C, SIGTERM, SIGHUP, SIGALRM, SIGUSR1, SIGUSR2) cancels the
// running command cleanly, so the old archive stays as it was and no
// temporary file is left behind; SIGXFSZ is ignored, so a file size limit
// fails the write with its reason (see stop_signals.h). A run that waits for
// another one to finish with its archive says so on stderr, once.
#pragma once

#include "pelkoran/archiver.h"

class CliWindow : public lzh::ArchiverWindow {
public:
    // Installs the stop signals' handlers (for the rest of the process).
    CliWindow();
    bool on_progress(const lzh::Progress& progress) override;
    void on_failure(std::string_view reason) override;
    // Prints the entry left out on stderr, one line each.
    void on_skipped(std::string_view path) override;

private:
    bool waiting_ = false;  // the note that another run holds the archive is out
};
