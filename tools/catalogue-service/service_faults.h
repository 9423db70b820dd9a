// How verdal-catalogue-service misbehaves on request: the faults named by --fault, and which of
// them a request meets.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace verdal::catalogue {

enum class Misbehaviour { None, NotFound, Stall, Cut, Delay, Empty, Busy };

struct Faults {
    // targets: "version", "catalogue", "map", "map:7"
    std::set<std::string> notFound, stall, cut, delay, empty;
    std::set<std::int32_t> shortMaps, longMaps, markedUp;
    bool noHttp = false;
    bool blanks = false;
    long flakyEvery = 0; // every Nth map request is cut
    long busyEvery = 0;  // every Nth map request is answered 503
    long closeAfter = 0; // a connection closes after this many answers

    // The fault a request of the target ("version", "catalogue", "map") meets; specific names
    // the course map ("map:7"), mapCount is the request's number among the map requests.
    Misbehaviour For(const std::string& target, const std::string& specific, long mapCount) const;
};

// Adds the fault that the text of --fault names; false when it names none.
bool AddFault(Faults& faults, const std::string& fault);

// The lines of the usage text that list the faults.
extern const char kFaultsUsage[];

} // namespace verdal::catalogue
