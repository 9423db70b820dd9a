// The trace file: one writer at a time, each line written whole and flushed.
#include "platform/trace.h"

#include "platform/language.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace verdal::trace {

namespace detail {
std::atomic<bool> on{false};
}

namespace {

std::mutex fileLock;
std::FILE* file = nullptr; // guarded by fileLock

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool Open(const std::string& path, std::string& error) {
    std::lock_guard lock(fileLock);
    // Appended to: a trace the user started before is not lost. It holds the device's serial
    // number, so it is for the user alone, also when it was there already.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        ::fchmod(fd, 0600);
    std::FILE* opened = fd < 0 ? nullptr : ::fdopen(fd, "a");
    if (!opened) {
        error = Format(Tr("cannot write the trace %s: %s"), path.c_str(), std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (file)
        std::fclose(file);
    file = opened;
    detail::on = true;
    return true;
}

void Close() {
    std::lock_guard lock(fileLock);
    detail::on = false;
    if (file)
        std::fclose(file);
    file = nullptr;
}

void Line(std::string_view subject, std::string_view text) {
    if (!On())
        return;
    const long long now = NowMs();
    std::lock_guard lock(fileLock);
    if (!file)
        return;
    std::fprintf(file, "%lld %.*s %.*s\n", now, static_cast<int>(subject.size()), subject.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(file);
}

void Bytes(std::string_view subject, std::string_view direction, const std::uint8_t* bytes,
           std::size_t count) {
    if (!On() || count == 0)
        return;
    Line(subject, std::string(direction) + " " + Shown(bytes, count));
}

std::string Shown(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex, text;
    hex.reserve(count * 3);
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            hex += ' ';
        hex += kHex[bytes[i] >> 4];
        hex += kHex[bytes[i] & 0xF];
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    }
    return hex + "  " + text;
}

} // namespace verdal::trace
