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
    AccessRequest request;
    bool allowed;
    bool tokenGiven;
};

} // namespace

TEST(Access, TheTokenOrItsCookieThisHostAndNoForeignOrigin) {
    const std::string query = "/?token=" + std::string(kToken);
    const std::string otherPort = "verdal_token_4243=" + std::string(kToken);
    const std::string amongPairs = "/engine.js?a=1&token=" + std::string(kToken) + "&b";
    const std::string suffixed = "/?xtoken=" + std::string(kToken);
    const std::string amongCookies = "a=b; " + kCookie + "; c=d";
    const AccessCase cases[] = {
        {"the start address", {.target = query, .host = "127.0.0.1:4242"}, true, true},
        {"by the name localhost", {.target = query, .host = "localhost:4242"}, true, true},
        {"the token among other pairs",
         {.target = amongPairs, .host = "127.0.0.1:4242"},
         true,
         true},
        {"the cookie",
         {.target = "/engine.js", .host = "127.0.0.1:4242", .cookies = kCookie},
         true,
         false},
        {"the cookie among others",
         {.target = "/", .host = "127.0.0.1:4242", .cookies = amongCookies},
         true,
         false},
        {"nothing", {.target = "/", .host = "127.0.0.1:4242"}, false, false},
        {"a wrong token", {.target = "/?token=0123", .host = "127.0.0.1:4242"}, false, false},
        {"a token as a name's suffix",
         {.target = suffixed, .host = "127.0.0.1:4242"},
         false,
         false},
        {"another port's cookie",
         {.target = "/", .host = "127.0.0.1:4242", .cookies = otherPort},
         false,
         false},
        {"a foreign host", {.target = query, .host = "evil.example:4242"}, false, true},
        {"another port", {.target = query, .host = "127.0.0.1:4243"}, false, true},
        {"no host", {.target = query}, false, true},
        {"this origin",
         {.target = query, .host = "127.0.0.1:4242", .origin = "http://localhost:4242"},
         true,
         true},
        {"a foreign origin",
         {.target = query, .host = "127.0.0.1:4242", .origin = "http://evil.example"},
         false,
         true},
        {"an https origin",
         {.target = query, .host = "127.0.0.1:4242", .origin = "https://127.0.0.1:4242"},
         false,
         true},
        {"an upgrade with its origin",
         {.target = "/ws",
          .host = "127.0.0.1:4242",
          .origin = "http://127.0.0.1:4242",
          .cookies = kCookie,
          .upgrade = true},
         true,
         false},
        {"an upgrade without an origin",
         {.target = "/ws", .host = "127.0.0.1:4242", .cookies = kCookie, .upgrade = true},
         false,
         false},
    };
    for (const AccessCase& c : cases) {
        const AccessDecision decision = DecideAccess(c.request, kPort, kToken);
        EXPECT_EQ(decision.allowed, c.allowed) << c.what;
        EXPECT_EQ(decision.tokenGiven, c.tokenGiven) << c.what;
    }
    // A server without a token allows nothing, not even an empty one.
    EXPECT_FALSE(DecideAccess({.target = "/?token=", .host = "127.0.0.1:4242"}, kPort, "").allowed);
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
}
