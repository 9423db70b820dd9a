// The limits every transfer starts with, and the small readings a transfer makes.
#include "update/transfer.h"

#include <atomic>

namespace verdal {
namespace {

std::atomic<std::uint32_t> stallLimitMs{30000};
std::atomic<std::uint32_t> retryPauseMs{500};
std::atomic<std::uint32_t> giveUpMs{300000};
// A catalogue file is a few megabytes (15 MiB for 40,000 courses); a body far beyond that is not
// one, and must not fill the disk. 96 MiB is about as much as the merge may parse (see
// CatalogueFileTooLarge).
std::atomic<std::uint64_t> fileLimitBytes{96u << 20};

} // namespace

std::uint32_t FetchStallLimit() {
    return stallLimitMs.load();
}

std::uint32_t FetchRetryPause() {
    return retryPauseMs.load();
}

std::uint32_t FetchGiveUp() {
    return giveUpMs.load();
}

void SetFetchGiveUp(std::uint32_t limitMs) {
    giveUpMs.store(limitMs);
}

std::uint64_t FetchFileLimit() {
    return fileLimitBytes.load();
}

std::string StallProblem(std::uint32_t ms) {
    return ms % 1000 == 0 ? Format(Tr("the server sent nothing for %u s"), ms / 1000)
                          : Format(Tr("the server sent nothing for %u ms"), ms);
}

std::string SlowProblem(std::uint32_t seconds) {
    // TRANSLATORS: the least speed, then the seconds the transfer stayed below it.
    return Format(Tr("the server sent fewer than %ld bytes/s for %u s"), kLowestSpeed, seconds);
}

namespace {

// libcurl's words for the failures a user meets, as libcurl 7.88 writes them.
constexpr struct {
    CURLcode result;
    const char* text;
} kCurlProblems[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, N_("Unsupported protocol")},
    {CURLE_URL_MALFORMAT, N_("URL using bad/illegal format or missing URL")},
    {CURLE_COULDNT_RESOLVE_PROXY, N_("Couldn't resolve proxy name")},
    {CURLE_COULDNT_RESOLVE_HOST, N_("Couldn't resolve host name")},
    {CURLE_COULDNT_CONNECT, N_("Couldn't connect to server")},
    {CURLE_WEIRD_SERVER_REPLY, N_("Weird server reply")},
    {CURLE_PARTIAL_FILE, N_("Transferred a partial file")},
    {CURLE_WRITE_ERROR, N_("Failed writing received data to disk/application")},
    {CURLE_OUT_OF_MEMORY, N_("Out of memory")},
    {CURLE_OPERATION_TIMEDOUT, N_("Timeout was reached")},
    {CURLE_TOO_MANY_REDIRECTS, N_("Number of redirects hit maximum amount")},
    {CURLE_GOT_NOTHING, N_("Server returned nothing (no headers, no data)")},
    {CURLE_SEND_ERROR, N_("Failed sending data to the peer")},
    {CURLE_RECV_ERROR, N_("Failure when receiving data from the peer")},
    {CURLE_SSL_CONNECT_ERROR, N_("SSL connect error")},
    {CURLE_PEER_FAILED_VERIFICATION, N_("SSL peer certificate or SSH remote key was not OK")},
    {CURLE_BAD_CONTENT_ENCODING, N_("Unrecognized or bad HTTP Content or Transfer-Encoding")},
};

} // namespace

std::string CurlProblem(CURLcode result) {
    for (const auto& row : kCurlProblems)
        if (row.result == result)
            return Tr(row.text);
    return curl_easy_strerror(result);
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
