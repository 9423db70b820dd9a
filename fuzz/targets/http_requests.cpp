// Requests to the window server through its access rules and its paths: the first byte says
// whether the request is a WebSocket upgrade and whether it names an Origin; the rest are the
// request target, the Host, the Origin and the Cookie header, a line each. Nothing is allowed
// without this server's Host, no foreign Origin and the token or its cookie, and a path names
// only the engine's files or a view's data, never one that climbs or smuggles separators.
#include "engine/access.h"
#include "engine/web_files.h"
#include "fuzz/targets/expect.h"

#include <cstdint>
#include <string>
#include <string_view>

using namespace verdal::engine;
using verdal::fuzz::Expect;

namespace {

constexpr std::uint16_t kPort = 4242;
constexpr std::string_view kToken = "0123456789abcdef0123456789abcdef";

std::string_view Line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    AccessRequest request;
    request.upgrade = data[0] & 1;
    request.target = Line(rest);
    request.host = Line(rest);
    const std::string_view origin = Line(rest);
    if (data[0] & 2)
        request.origin = origin;
    request.cookies = Line(rest);

    const AccessDecision decision = DecideAccess(request, kPort, kToken);
    if (decision.allowed) {
        Expect(request.host == "127.0.0.1:4242" || request.host == "localhost:4242");
        Expect(!request.upgrade || request.origin);
        Expect(!request.origin || *request.origin == "http://127.0.0.1:4242" ||
               *request.origin == "http://localhost:4242");
        Expect(decision.tokenGiven || request.cookies.find(kToken) != std::string_view::npos);
    }
    if (decision.tokenGiven)
        Expect(request.target.find(kToken) != std::string_view::npos);
    // The same request for a server with another token is never allowed by this one's.
    Expect(!DecideAccess(request, kPort, "fedcba9876543210fedcba9876543210").allowed ||
           std::string_view(reinterpret_cast<const char*>(data), size)
                   .find("fedcba9876543210fedcba9876543210") != std::string_view::npos);

    const Route route = RouteOf(request.target);
    switch (route.kind) {
    case Route::Kind::File:
        // Only the engine's own files.
        Expect(route.file != nullptr && FindWebFile(route.file->name) == route.file);
        break;
    case Route::Kind::Data:
        Expect(route.uri.find("..") == std::string::npos &&
               route.uri.find('\\') == std::string::npos &&
               route.uri.find('\0') == std::string::npos &&
               route.uri.find("//") == std::string::npos);
        break;
    case Route::Kind::NotFound:
        break;
    }
    return 0;
}
