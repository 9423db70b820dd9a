// The server's access rules and routes as pure functions: who may ask, and what a path names.
#include "engine/access.h"
#include "engine/web_files.h"

#include <gtest/gtest.h>

#include <string>

using namespace verdal::engine;

namespace {

constexpr std::uint16_t kPort = 4242;
constexpr std::string_view kToken = "0123456789abcdef0123456789abcdef";
const std::string kCookie = "verdal_token_4242=" + std::string(kToken);

struct AccessCase {
    const char* what;
    bool allowed;
    bool tokenGiven;
    AccessRequest request;
};

} // namespace

TEST(Access, TheTokenOrItsCookieThisHostAndNoForeignOrigin) {
    const std::string query = "/?token=" + std::string(kToken);
    const std::string amongPairs = "/engine.js?a=1&token=" + std::string(kToken) + "&b";
    const std::string suffixed = "/?xtoken=" + std::string(kToken);
    const std::string cookies = "a=b; " + kCookie + "; c=d";
    const std::string other = "verdal_token_4243=" + std::string(kToken);
    const std::string wrong = "verdal_token_4242=x";
    const std::string host = "127.0.0.1:4242", origin = "http://127.0.0.1:4242";
    const std::string local = "http://localhost:4242", https = "https://127.0.0.1:4242";
    const std::string evil = "http://evil.example";
    const AccessRequest upgrade{.target = "/ws", .host = host, .cookies = kCookie, .upgrade = true};
    AccessRequest upgradeWithOrigin = upgrade;
    upgradeWithOrigin.origin = origin;
    const AccessCase cases[] = {
        // what, allowed, token given, request
        {"the start address", true, true, {.target = query, .host = host}},
        {"by the name localhost", true, true, {.target = query, .host = "localhost:4242"}},
        {"the token among other pairs", true, true, {.target = amongPairs, .host = host}},
        {"the cookie", true, false, {.target = "/engine.js", .host = host, .cookies = kCookie}},
        {"the cookie among others", true, false, {.target = "/", .host = host, .cookies = cookies}},
        {"nothing", false, false, {.target = "/", .host = host}},
        {"a wrong token", false, false, {.target = "/?token=0123", .host = host}},
        {"a token as a name's suffix", false, false, {.target = suffixed, .host = host}},
        {"another port's cookie", false, false, {.target = "/", .host = host, .cookies = other}},
        {"a wrong cookie", false, false, {.target = "/", .host = host, .cookies = wrong}},
        {"a foreign host", false, true, {.target = query, .host = "evil.example:4242"}},
        {"another port", false, true, {.target = query, .host = "127.0.0.1:4243"}},
        {"no host", false, true, {.target = query}},
        {"this origin", true, true, {.target = query, .host = host, .origin = local}},
        {"a foreign origin", false, true, {.target = query, .host = host, .origin = evil}},
        {"an https origin", false, true, {.target = query, .host = host, .origin = https}},
        {"an upgrade with its origin", true, false, upgradeWithOrigin},
        {"an upgrade without an origin", false, false, upgrade},
    };
    for (const AccessCase& c : cases) {
        const AccessDecision decision = DecideAccess(c.request, kPort, kToken);
        EXPECT_EQ(decision.allowed, c.allowed) << c.what;
        EXPECT_EQ(decision.tokenGiven, c.tokenGiven) << c.what;
    }
    // A server without a token allows nothing, not even an empty one.
    EXPECT_FALSE(DecideAccess({.target = "/?token=", .host = host}, kPort, "").allowed);
}

TEST(Routes, EachServedFileAtItsNameTheShellAtTheRootTheDataOfAView) {
    for (const verdal::EmbeddedFile& file : WebFiles()) {
        const std::string target =
            file.name == kShellPage ? "/?token=x" : "/" + std::string(file.name) + "?t";
        const Route route = RouteOf(target);
        EXPECT_EQ(route.kind, Route::Kind::File) << file.name;
        EXPECT_EQ(route.file, &file) << file.name;
    }
    EXPECT_EQ(RouteOf("/" + std::string(kShellPage)).kind, Route::Kind::NotFound);

    const Route data = RouteOf("/data/65536/images/a%20b.png?token=x");
    EXPECT_EQ(data.kind, Route::Kind::Data);
    EXPECT_EQ(data.view, 65536);
    EXPECT_EQ(data.uri, "images/a b.png");

    for (const char* nothing :
         {"", "?token=x", "engine.js", "/nothing.js", "/data/", "/data/12", "/data/x1/a.png",
          "/data/1x/a.png", "/data/1/../../etc/passwd", "/data/1/%2e%2e/a", "/engine.js/",
          "/res/201.html", "//engine.js", "/%zz", "/engine.js%00.png", "/..%5cwindows"})
        EXPECT_EQ(RouteOf(nothing).kind, Route::Kind::NotFound) << nothing;
    for (const char* climbing :
         {"/../etc/passwd", "/%2E%2E%2Fetc%2Fpasswd", "/engine.js/../engine.js", "/etc/passwd",
          "/data/1/..%2f..%2fetc%2fpasswd", "/data//engine.js", "/CMakeLists.txt", "//etc/passwd"})
        EXPECT_EQ(RouteOf(climbing).kind, Route::Kind::NotFound) << climbing;
}
