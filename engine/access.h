// Who may ask the window server for what, and what a path names. The server listens on loopback
// only, yet any local program, and any page in any browser on the machine, can send it requests:
// each one must name this server as its Host, come from no foreign Origin, and carry the start
// address's token, or the cookie the token is exchanged for. A path names only what is compiled
// into the program: a path that climbs or smuggles separators names nothing.
//
// Threads: any; the functions keep no state.
#pragma once

#include "engine/embedded.h"
#include "platform/window.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace verdal::engine {

// A request as the access rules see it.
struct AccessRequest {
    std::string_view target;                // path and query, as the request line has them
    std::string_view host;                  // the Host header
    std::optional<std::string_view> origin; // the Origin header, when there is one
    std::string_view cookies;               // the Cookie header
    bool upgrade = false;                   // a WebSocket upgrade
};

struct AccessDecision {
    bool allowed = false;    // the answer may be given
    bool tokenGiven = false; // the query carried the token: the answer sets the cookie
};

// The rules, for the server on port with token. A WebSocket upgrade must also name an Origin: a
// browser always names the page's, and a foreign page cannot name this one.
AccessDecision DecideAccess(const AccessRequest& request, std::uint16_t port,
                            std::string_view token);

// Cookies do not tell ports apart: each server's cookie carries its port in its name, so that two
// programs on one machine never take each other's token.
std::string CookieName(std::uint16_t port);

// What a request target's path names.
struct Route {
    enum class Kind {
        NotFound,
        File, // one of the engine's own files (engine/web_files.h)
        Data, // a view's data: uri for the view's load-data callback
    };
    Kind kind = Kind::NotFound;
    const EmbeddedFile* file = nullptr;
    HWND view = 0;
    std::string uri;
};
Route RouteOf(std::string_view target);

} // namespace verdal::engine
