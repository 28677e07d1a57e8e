// window_run.h - the batch layer's run, driven from the Windows window.
#pragma once

#include "archiver_library.h"
#include "compress_run.h"
#include "packer_window.h"

namespace pelkoran::win {

/*
 * RunFromWindow - the compress button's work: the run over the window's
 * list with the options its controls show (the output place, the trim
 * flag, the method, the effort and the verify flag). Its messages go to the window's message boxes, a rejected
 * output directory gets the keyboard focus, each item shows in the
 * progress window, whose Cancel stops the item under way; a library
 * failure is shown with its reason (a cancel is not).
 */
RunResult RunFromWindow(PackerWindow& window, ArchiverLibrary& library,
                        const StatusQuery& query = QueryPathStatus,
                        const DirectoryProbe& probe = ProbeWritableDirectory);

}  // namespace pelkoran::win
