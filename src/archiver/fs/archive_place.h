// archive_place.h - where an archive is written: its directory, its lock and
// its temporary file.
//
// The new archive always goes to a temporary file beside the old one and is
// renamed over it only when it is complete and on the disk, so a failure at
// any point leaves the old archive (or its absence) exactly as it was. Runs
// that update one archive at once take turns through a lock on it, and a new
// archive never replaces one another run created meanwhile.
#pragma once

#include "pelkoran/archiver_window.h"

#include <memory>
#include <string>
#include "fs/file_stat.h"

namespace lzh {

// Another run created the archive while this one wrote a new one: the
// update starts over, this time on the archive that is there.
struct ArchiveAppeared {};

class ArchivePlace {
public:
    /*
     * Holds the archive's directory open (the lock, the temporary file and
     * the rename all go through it) and, when the archive exists, opens and
     * locks it, waiting while another run holds it (asking `window`, when
     * given, every tenth of a second whether to go on). Throws lzh::Error
     * for an archive this user may not write or that is not a regular file,
     * lzh::Cancelled for a cancel.
     */
    ArchivePlace(const std::string& archive_path, ArchiverWindow* window);
    ~ArchivePlace();  // removes the temporary file unless committed; gives up the lock
    ArchivePlace(const ArchivePlace&) = delete;
    ArchivePlace& operator=(const ArchivePlace&) = delete;

    bool exists() const;             // the archive was there and is locked
    const FileStat& status() const;  // the locked archive's

    // Creates the temporary file (with the old archive's owner, group and
    // mode) and hands over its descriptor, at offset 0.
    int create_temp();
    const FileStat& temp_status() const;
    // The temporary file's path, for reading it back.
    std::string temp_path() const;

    // Whether the archive's name still stands for the locked file.
    bool still_in_place() const;

    // Puts the temporary file in the archive's place: over the old archive,
    // or, for a new one, only where none appeared meanwhile (else throws
    // ArchiveAppeared). Then makes the rename durable.
    void commit();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lzh
