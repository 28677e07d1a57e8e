// cli_window.h - the library's "window" for pelkoran-cli: no dialog, but an
// interrupt (Ctrl+C, SIGTERM) cancels the running command cleanly, so the old
// archive stays as it was and no temporary file is left behind.
#pragma once

#include "archiver.h"

class CliWindow : public lzh::ArchiverWindow {
public:
    // Installs the SIGINT/SIGTERM handlers for the life of the object.
    CliWindow();
    ~CliWindow() override;
    bool on_progress(const lzh::Progress& progress) override;
    void on_failure(std::string_view reason) override;
    // Prints the entry left out on stderr, one line each.
    void on_skipped(std::string_view path) override;
    // True once an interrupt arrived.
    static bool interrupted();
};
