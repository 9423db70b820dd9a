// The update journal: update.journal in the data folder, beside golf.db, kept while a catalogue
// update is under way, so that an update that did not finish (a failure, the window closed, the
// process killed, the power lost) goes on where it stopped instead of fetching every course again.
//
// It names the update (the catalogue file's address, the version merged before it and the
// version it goes to), the catalogue file it merges (update.xml's size and fingerprint, with the
// validators the server sent for it) and how many of the merge's courses golf.db holds, counted
// in the merge's order, twice:
// - "stored" only after golf.db has written those rows through to the disk, with the file
//   replaced whole and flushed, so it never claims a course that a power cut could take back;
// - "stored-now" after every course, overwritten in place and not flushed, with the boot id of
//   the running system: a process killed, or a window closed, loses nothing of what the page
//   cache holds, so while the system has not restarted this count is good, and no stored course
//   is fetched again. After a restart only "stored" counts; the courses after it are fetched
//   and stored again.
// The update removes the journal once it has recorded the new version.
//
// The file is text, one "key value" line each, after a first line that names it:
//
//   verdal update journal 1
//   catalogue http://127.0.0.1:8650/courses/cat27/cat27.xml
//   from 24
//   to 27
//   file 15824512 9f3c04d2a1b0e6c7
//   etag "cat27-6b1f…"
//   last-modified Mon, 07 Dec 2026 00:00:00 GMT
//   stored 20480
//   boot 3f0c2a8e-1f6b-4a8e-9d0e-7f3b2c1d4e5f
//   stored-now 0000020517
//
// "file" is update.xml's size in bytes and its 64-bit FNV-1a hash in hexadecimal; "etag" and
// "last-modified" are left out when the server sent none. Any thread.
#pragma once

#include "platform/file.h"
#include "update/http_fetch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace verdal {

// What a file's bytes come to: their number and their 64-bit FNV-1a hash.
struct FileFingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const FileFingerprint&) const = default;
};

// The fingerprint of the file at path; nullopt when it cannot be read.
std::optional<FileFingerprint> FingerprintOf(const std::string& path);

struct UpdateJournal {
    std::string catalogueUrl; // UTF-8
    std::uint32_t fromVersion = 0;
    std::uint32_t toVersion = 0;
    FileFingerprint file;
    FileValidators validators; // unchanged is not kept
    // The courses of the merge golf.db holds, in the merge's order: read, the larger count that
    // holds on this run of the system; written, the durable count.
    std::uint32_t stored = 0;

    // Whether the other journal is of the same update: the same address, from the same version
    // to the same version.
    bool SameUpdate(const UpdateJournal& other) const {
        return catalogueUrl == other.catalogueUrl && fromVersion == other.fromVersion &&
               toVersion == other.toVersion;
    }
};

// The journal's text, written on the system whose boot id is boot; "stored-now" stands last.
std::string FormatUpdateJournal(const UpdateJournal& journal, const std::string& boot);
// The journal the text holds, read on the system whose boot id is boot; nullopt when it is not
// one (another first line, a line missing or damaged). Lines of unknown keys are passed over.
std::optional<UpdateJournal> ParseUpdateJournal(std::string_view text, const std::string& boot);

// update.journal of the data folder; nullopt when there is none or it is not one.
std::optional<UpdateJournal> ReadUpdateJournal();
FileFailure RemoveUpdateJournal();

// update.journal as a merge keeps it.
class JournalKeeper {
public:
    // Replaces update.journal with the journal, its count durable, flushed to the disk.
    FileFailure Write(const UpdateJournal& journal);
    // Records that golf.db holds the merge's first stored courses, as "stored-now" in place: no
    // flush, nothing but a few bytes written.
    void Note(std::uint32_t stored);

private:
    PatchedFile file_;
    std::uint64_t offset_ = 0; // of the digits of "stored-now"
};

} // namespace verdal
