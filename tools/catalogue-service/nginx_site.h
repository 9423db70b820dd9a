// A catalogue served by Debian's nginx as static files, on loopback: the version reply, the
// catalogue file and every course map the generator makes, with nginx's own keep-alive limit,
// gzip, rate limit (limit_req, answered with its 503 page and no Retry-After) and 404 pages.
// Shared by the tests and the benchmarks; it knows nothing of either.
//
// nginx runs in the foreground from a prefix of its own in the given folder, which holds its
// configuration, logs and the site's files; it is stopped when the site goes. As root its
// workers run as root, so that they can read a folder the test made.
#pragma once

#include "catalogue_generator.h"
#include "platform/child_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace verdal::catalogue {

struct NginxOptions {
    long keepaliveRequests = 1000; // answers a connection carries before nginx closes it
    bool gzip = false;             // compress the catalogue file (gzip_types names its type)
    long mapsPerSecond = 0;        // limit_req on the course maps; 0 for none
    std::vector<std::int32_t> missingMaps; // uids whose course maps are not there (404)
    bool maps = true;                      // false: only the version reply and the catalogue
};

class NginxSite {
public:
    // nginx's path; empty when it is not installed.
    static std::string Program();

    // Writes the site for the generator's latest version into folder (which must exist).
    NginxSite(const std::string& folder, const CatalogueGenerator& generator,
              const NginxOptions& options);
    ~NginxSite();
    NginxSite(const NginxSite&) = delete;
    NginxSite& operator=(const NginxSite&) = delete;

    // Starts nginx and waits until it accepts connections; false with why in error.
    bool Start(std::string& error);
    // "http://127.0.0.1:<port>/": the base address for verdal-cli --server.
    std::string Base() const;

    // From nginx's access log: the requests whose path begins with prefix and that were
    // answered with status (any status when 0), and the body bytes it sent for them.
    long Requests(const std::string& prefix, int status = 0) const;
    std::uint64_t BytesSent(const std::string& prefix) const;

private:
    std::string folder_;
    int port_ = 0;
    ChildProcess nginx_;
};

} // namespace verdal::catalogue
