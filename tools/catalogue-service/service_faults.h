// How verdal-catalogue-service misbehaves on request: the faults named by --fault, and which of
// them a request meets.
//
// 404:TARGET answers a 404 page; 503:TARGET a 503 page without Retry-After; nohttp answers the
// version request without "http://"; blanks puts blanks into the version reply; short:UID and
// long:UID make that course's map 7263 or 7265 bytes; stall:TARGET sends half the body, then
// nothing more; cut:TARGET sends half the body, then closes the connection; delay:TARGET answers
// after 500 ms (or as long as --delay says); empty:TARGET answers with an empty body; drip:TARGET
// sends the body one byte a second; page:TARGET answers an error page with status 200 (as a
// misconfigured server does); markup:UID puts HTML markup into that course's name, region and
// address. TARGET is version, catalogue, map (every map) or map:UID.
//
// Like a real server under load: flaky:map:N cuts every Nth map request halfway; busy:map:N
// answers every Nth map request with 503 and Retry-After: 1; close-after:N closes each
// connection after N answers, the last saying Connection: close (as Apache's
// MaxKeepAliveRequests does); limit:N answers the map requests beyond N in one second with 503
// and no Retry-After (as nginx's limit_req does).
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace verdal::catalogue {

enum class Misbehaviour { None, NotFound, Stall, Cut, Delay, Empty, Busy, Limited, Drip, Page };

struct Faults {
    // targets: "version", "catalogue", "map", "map:7"
    std::set<std::string> notFound, unavailable, stall, cut, delay, empty, drip, page;
    std::set<std::int32_t> shortMaps, longMaps, markedUp;
    bool noHttp = false;
    bool blanks = false;
    long flakyEvery = 0; // every Nth map request is cut
    long busyEvery = 0;  // every Nth map request is answered 503
    long closeAfter = 0; // a connection closes after this many answers
    long limit = 0;      // map requests answered in one second; 0 for no limit
    long delayMs = 500;  // how long a delay:TARGET answer waits (--delay)

    // The fault a request of the target ("version", "catalogue", "map") meets; specific names
    // the course map ("map:7"), mapCount is the request's number among the map requests.
    Misbehaviour For(const std::string& target, const std::string& specific, long mapCount) const;
};

// Adds the fault that the text of --fault names; false when it names none.
bool AddFault(Faults& faults, const std::string& fault);

// The lines of the usage text that list the faults.
extern const char kFaultsUsage[];

} // namespace verdal::catalogue
