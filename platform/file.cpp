// Files through the system's calls: whole reads, replacement through a renamed temporary file,
// and files written as bytes arrive.
#include "platform/file.h"

#include "platform/language.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace verdal {

namespace {

FileFailure Failed(const char* doing, int error = errno) {
    return {error, doing};
}

// Writes all the bytes, retrying after a signal; 0 on success, else the errno.
int WriteAll(int fd, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

std::string FileFailure::Text() const {
    return error == 0 ? std::string()
                      : Tr(doing.c_str()) + std::string(": ") + std::strerror(error);
}

FileFailure ReadWholeFile(const std::string& path, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Failed(N_("cannot open"));
    content.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const FileFailure failure = Failed(N_("cannot read"));
            ::close(fd);
            return failure;
        }
        if (n == 0)
            break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return {};
}

FileFailure ReplaceFile(const std::string& path, std::string_view content, unsigned mode) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return Failed(N_("cannot create a temporary file"));
    FileFailure failure;
    if (const int error = WriteAll(fd, content.data(), content.size()))
        failure = Failed(N_("cannot write"), error);
    if (!failure && ::fchmod(fd, static_cast<mode_t>(mode)) != 0)
        failure = Failed(N_("cannot set permissions"));
    if (!failure && ::fsync(fd) != 0)
        failure = Failed(N_("cannot flush"));
    if (::close(fd) != 0 && !failure)
        failure = Failed(N_("cannot close"));
    if (!failure && std::rename(temp.c_str(), path.c_str()) != 0)
        failure = Failed(N_("cannot replace the file"));
    if (failure) {
        ::unlink(temp.c_str());
        return failure;
    }
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd); // the rename is on the disk once the folder is
        ::close(dirFd);
    }
    return {};
}

FileFailure RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? FileFailure{} : Failed(N_("cannot rename"));
}

FileFailure RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? FileFailure{}
                                                          : Failed(N_("cannot remove"));
}

WrittenFile::~WrittenFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

FileFailure WrittenFile::Create(const std::string& path) {
    if (fd_ >= 0)
        return {};
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd_ < 0 ? Failed(N_("cannot create")) : FileFailure{};
}

FileFailure WrittenFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0)
        return Failed(N_("cannot write"), EBADF);
    const int error = WriteAll(fd_, static_cast<const char*>(data), size);
    return error ? Failed(N_("cannot write"), error) : FileFailure{};
}

PatchedFile::~PatchedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

FileFailure PatchedFile::Open(const std::string& path) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ < 0 ? Failed(N_("cannot open")) : FileFailure{};
}

FileFailure PatchedFile::Patch(std::uint64_t offset, std::string_view bytes) {
    if (fd_ < 0)
        return Failed(N_("cannot write"), EBADF);
    const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0)
        return Failed(N_("cannot write"));
    return static_cast<std::size_t>(written) == bytes.size() ? FileFailure{}
                                                             : Failed(N_("cannot write"), EIO);
}

std::string BootId() {
    std::string id;
    if (ReadWholeFile("/proc/sys/kernel/random/boot_id", id))
        return {};
    while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
        id.pop_back();
    return id;
}

bool StandardOutputIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat out {};
    if (!stream || ::fstat(STDOUT_FILENO, &out) != 0)
        return false;
    const std::string_view text(stream);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    unsigned long long device = 0, inode = 0;
    const auto [deviceEnd, deviceError] = std::from_chars(text.data(), text.data() + colon, device);
    const auto [inodeEnd, inodeError] =
        std::from_chars(text.data() + colon + 1, text.data() + text.size(), inode);
    return deviceError == std::errc() && deviceEnd == text.data() + colon &&
           inodeError == std::errc() && inodeEnd == text.data() + text.size() &&
           device == out.st_dev && inode == out.st_ino;
}

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

std::FILE* SetStandardOutputAside() {
    const int copy = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (copy < 0)
        return nullptr;
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::FILE* stream = null < 0 ? nullptr : ::fdopen(copy, "w");
    if (!stream || ::dup2(null, STDOUT_FILENO) < 0) {
        if (stream)
            std::fclose(stream);
        else
            ::close(copy);
        if (null >= 0)
            ::close(null);
        return nullptr;
    }
    ::close(null);
    return stream;
}

} // namespace verdal
