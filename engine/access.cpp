// The window server's access rules and the paths it serves.
#include "engine/access.h"

#include "engine/web_files.h"
#include "platform/text.h"

#include <charconv>

namespace verdal::engine {
namespace {

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// The value of name in a list of name=value pairs split by separator: a query's, split by '&',
// or a Cookie header's, split by ';' with blanks before each pair. Empty when the name is absent.
std::string_view PairValue(std::string_view pairs, char separator, std::string_view name) {
    while (!pairs.empty()) {
        const std::size_t end = pairs.find(separator);
        std::string_view pair = pairs.substr(0, end);
        while (separator == ';' && !pair.empty() && pair.front() == ' ')
            pair.remove_prefix(1);
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=')
            return pair.substr(name.size() + 1);
        if (end == std::string_view::npos)
            break;
        pairs.remove_prefix(end + 1);
    }
    return {};
}

// Host is "127.0.0.1:PORT" or "localhost:PORT"; Origin the same after "http://".
bool NamesThisServer(std::string_view authority, std::uint16_t port) {
    const std::string suffix = ":" + std::to_string(port);
    return authority == "127.0.0.1" + suffix || authority == "localhost" + suffix;
}

} // namespace

std::string CookieName(std::uint16_t port) {
    return "verdal_token_" + std::to_string(port);
}

AccessDecision DecideAccess(const AccessRequest& request, std::uint16_t port,
                            std::string_view token) {
    const std::size_t question = request.target.find('?');
    const std::string_view query = question == std::string_view::npos
                                       ? std::string_view()
                                       : request.target.substr(question + 1);
    AccessDecision decision;
    decision.tokenGiven = ConstantTimeEquals(PairValue(query, '&', "token"), token);
    const bool cookieGiven =
        ConstantTimeEquals(PairValue(request.cookies, ';', CookieName(port)), token);
    const std::string_view scheme = "http://";
    const bool originAllowed =
        request.origin ? request.origin->substr(0, scheme.size()) == scheme &&
                             NamesThisServer(request.origin->substr(scheme.size()), port)
                       : !request.upgrade;
    decision.allowed = NamesThisServer(request.host, port) && originAllowed &&
                       (decision.tokenGiven || cookieGiven) && !token.empty();
    return decision;
}

Route RouteOf(std::string_view target) {
    Route route;
    std::string path;
    // A path that climbs or smuggles separators names nothing the program has.
    if (!PercentDecode(target.substr(0, target.find('?')), path) ||
        path.find("..") != std::string::npos || path.find('\\') != std::string::npos ||
        path.find('\0') != std::string::npos || path.find("//") != std::string::npos ||
        path.empty() || path.front() != '/')
        return route;
    if (path == "/") {
        route.file = FindWebFile(kShellPage);
    } else if (path.find('/', 1) == std::string::npos) {
        // The shell page has one address only.
        if (path.substr(1) != kShellPage)
            route.file = FindWebFile(std::string_view(path).substr(1));
    } else if (path.rfind("/data/", 0) == 0) {
        const std::size_t slash = path.find('/', 6);
        if (slash == std::string::npos)
            return route;
        const char* first = path.data() + 6;
        const auto [end, error] = std::from_chars(first, path.data() + slash, route.view);
        if (error != std::errc() || end != path.data() + slash)
            return route;
        route.kind = Route::Kind::Data;
        route.uri = path.substr(slash + 1);
    }
    if (route.file)
        route.kind = Route::Kind::File;
    return route;
}

} // namespace verdal::engine
