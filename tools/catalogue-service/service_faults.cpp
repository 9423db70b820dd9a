// The faults of verdal-catalogue-service, read from --fault.
#include "service_faults.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace verdal::catalogue {
namespace {

std::optional<long> Count(std::string_view text) {
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace

const char kFaultsUsage[] =
    "Faults: 404:T 503:T nohttp blanks short:UID long:UID stall:T cut:T delay:T empty:T\n"
    "drip:T page:T markup:UID, where T is version, catalogue, map or map:UID (delay:T\n"
    "answers after 500 ms; empty:T answers with an empty body; drip:T sends the body one\n"
    "byte a second; page:T answers an error page with status 200; markup:UID puts HTML\n"
    "markup into that course's name, region and address); flaky:map:N cuts every Nth map\n"
    "request halfway; busy:map:N answers every Nth map request with 503 and Retry-After: 1;\n"
    "limit:N answers the map requests beyond N in a second with 503 and no Retry-After;\n"
    "close-after:N closes a connection after N answers (the last says Connection: close).\n";

Misbehaviour Faults::For(const std::string& target, const std::string& specific,
                         long mapCount) const {
    auto has = [&](const std::set<std::string>& set) {
        return set.count(target) || (!specific.empty() && set.count(specific));
    };
    if (has(notFound))
        return Misbehaviour::NotFound;
    if (has(unavailable))
        return Misbehaviour::Limited;
    if (has(stall))
        return Misbehaviour::Stall;
    if (has(cut) || (flakyEvery && mapCount && mapCount % flakyEvery == 0))
        return Misbehaviour::Cut;
    if (busyEvery && mapCount && mapCount % busyEvery == 0)
        return Misbehaviour::Busy;
    if (has(delay))
        return Misbehaviour::Delay;
    if (has(empty))
        return Misbehaviour::Empty;
    if (has(drip))
        return Misbehaviour::Drip;
    if (has(page))
        return Misbehaviour::Page;
    return Misbehaviour::None;
}

bool AddFault(Faults& faults, const std::string& fault) {
    const auto colon = fault.find(':');
    const std::string kind = fault.substr(0, colon);
    const std::string target = colon == std::string::npos ? "" : fault.substr(colon + 1);
    auto validTarget = [&] {
        return target == "version" || target == "catalogue" || target == "map" ||
               (target.rfind("map:", 0) == 0 && Count(target.substr(4)));
    };
    const auto uid = Count(target);
    // A number, not an optional: gcc takes an optional read behind its check for uninitialised.
    const long every = target.rfind("map:", 0) == 0 ? Count(target.substr(4)).value_or(0) : 0;
    if (fault == "nohttp")
        faults.noHttp = true;
    else if (fault == "blanks")
        faults.blanks = true;
    else if ((kind == "short" || kind == "long") && uid)
        (kind == "short" ? faults.shortMaps : faults.longMaps)
            .insert(static_cast<std::int32_t>(*uid));
    else if (kind == "markup" && uid)
        faults.markedUp.insert(static_cast<std::int32_t>(*uid));
    else if (kind == "flaky" && every > 0)
        faults.flakyEvery = every;
    else if (kind == "busy" && every > 0)
        faults.busyEvery = every;
    else if (kind == "close-after" && uid)
        faults.closeAfter = *uid;
    else if (kind == "limit" && uid)
        faults.limit = *uid;
    else if (kind == "drip" && validTarget())
        faults.drip.insert(target);
    else if (kind == "page" && validTarget())
        faults.page.insert(target);
    else if (kind == "404" && validTarget())
        faults.notFound.insert(target);
    else if (kind == "503" && validTarget())
        faults.unavailable.insert(target);
    else if (kind == "stall" && validTarget())
        faults.stall.insert(target);
    else if (kind == "cut" && validTarget())
        faults.cut.insert(target);
    else if (kind == "delay" && validTarget())
        faults.delay.insert(target);
    else if (kind == "empty" && validTarget())
        faults.empty.insert(target);
    else
        return false;
    return true;
}

} // namespace verdal::catalogue
