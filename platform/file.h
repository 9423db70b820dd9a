// Files as the program reads and writes them: read whole, replaced whole so that a reader sees
// the old file or the new one and never a mix, or written as bytes arrive. Each answers a
// FileFailure, empty when the operation succeeded.
//
// Threads: any; a WrittenFile belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace verdal {

// Why a file operation failed: the errno value and what was being done, "" and 0 when it
// succeeded.
struct FileFailure {
    int error = 0;
    std::string doing; // "cannot write", "cannot replace the file", ... (in English)

    explicit operator bool() const { return error != 0; }
    // "cannot write: No space left on device", in the session's language.
    std::string Text() const;
};

// The whole file's bytes into content. A missing file fails with ENOENT.
FileFailure ReadWholeFile(const std::string& path, std::string& content);

// Replaces the file with content: written to a temporary file beside it with the mode, flushed to
// the disk, renamed over the old one, and the folder flushed. On failure the old file is as it
// was and the temporary file is gone.
FileFailure ReplaceFile(const std::string& path, std::string_view content, unsigned mode = 0644);

// Gives the file a new path, in the same file system.
FileFailure RenameFile(const std::string& from, const std::string& to);

// Removes the file; a file that is not there counts as removed.
FileFailure RemoveFile(const std::string& path);

// A file written from its start as its bytes arrive (created, or emptied when it exists), open
// until this goes.
class WrittenFile {
public:
    WrittenFile() = default;
    WrittenFile(const WrittenFile&) = delete;
    WrittenFile& operator=(const WrittenFile&) = delete;
    ~WrittenFile();

    FileFailure Create(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    // Writes all the bytes, or fails; a failed write may leave some of them in the file.
    FileFailure Write(const void* data, std::size_t size);

private:
    int fd_ = -1;
};

// A file whose bytes are overwritten in place, unflushed: a later reader on the running system
// sees them at once; a restart of the machine may lose them. One write of a few bytes is seen
// whole or not at all by a process that reads the file after this one was killed.
class PatchedFile {
public:
    PatchedFile() = default;
    PatchedFile(const PatchedFile&) = delete;
    PatchedFile& operator=(const PatchedFile&) = delete;
    ~PatchedFile();

    // Opens the file at path (it must exist), closing the one open before.
    FileFailure Open(const std::string& path);
    FileFailure Patch(std::uint64_t offset, std::string_view bytes);

private:
    int fd_ = -1;
};

// The identity of this run of the system (the kernel's boot id): it changes when the machine
// restarts, and with it whatever was written but not flushed may be gone. Empty when unknown.
std::string BootId();

// Whether standard output goes to the system's journal: systemd names the journal's stream in
// JOURNAL_STREAM ("DEVICE:INODE") for the programs whose output it sends there, such as one
// started from the desktop's menu; a program that passes the variable on with another output
// does not count.
bool StandardOutputIsJournal();

// Whether the descriptor is a terminal (standard error of a program run in one, say).
bool IsTerminal(int fd);

// Sets standard output aside for a program whose libraries print on it: answers a stream on a
// copy of it that child processes do not inherit, and points standard output itself at
// /dev/null. Null, with standard output left as it was, when it cannot.
std::FILE* SetStandardOutputAside();

} // namespace verdal
