// The limits every transfer starts with, and the small readings a transfer makes.
#include "update/transfer.h"

#include <atomic>

namespace verdal {
namespace {

std::atomic<std::uint32_t> stallLimitMs{30000};
std::atomic<std::uint32_t> retryPauseMs{500};
// A catalogue file is a few megabytes; a body far beyond that is not one, and must not fill the
// disk.
std::atomic<std::uint64_t> fileLimitBytes{256u << 20};

} // namespace

std::uint32_t FetchStallLimit() {
    return stallLimitMs.load();
}

std::uint32_t FetchRetryPause() {
    return retryPauseMs.load();
}

std::uint64_t FetchFileLimit() {
    return fileLimitBytes.load();
}

std::string Duration(std::uint32_t ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::optional<std::string> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        !EqualsNoCase(line.substr(0, name.size()), name))
        return std::nullopt;
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
        value.remove_suffix(1);
    return std::string(value);
}

void SetFetchStallLimit(std::uint32_t limitMs) {
    stallLimitMs.store(limitMs);
}

void SetFetchRetryPause(std::uint32_t firstPauseMs) {
    retryPauseMs.store(firstPauseMs);
}

void SetFetchFileLimit(std::uint64_t limitBytes) {
    fileLimitBytes.store(limitBytes);
}

} // namespace verdal
