// The loopback server's security rules, checked with a raw HTTP client on loopback.
#include "engine/server.h"
#include "ui/page_host.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

using namespace verdal;
using namespace verdal::engine;

namespace {

// Sends one raw request to the server and answers the whole response.
std::string Exchange(const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ServerPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "connect failed";
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string response;
    char buffer[4096];
    // A WebSocket handshake keeps the connection open: its head is all we need.
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        response.append(buffer, static_cast<std::size_t>(n));
        if (response.rfind("HTTP/1.1 101", 0) == 0 &&
            response.find("\r\n\r\n") != std::string::npos)
            break;
    }
    ::close(fd);
    return response;
}

int Status(const std::string& response) {
    return response.size() > 12 ? std::atoi(response.substr(9, 3).c_str()) : 0;
}

std::string Host() {
    return "127.0.0.1:" + std::to_string(ServerPort());
}

int Get(const std::string& target, const std::string& headers = "") {
    return Status(Exchange("GET " + target + " HTTP/1.1\r\nHost: " + Host() + "\r\n" + headers +
                           "Connection: close\r\n\r\n"));
}

std::string Token() {
    return "token=" + ServerToken();
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        BindUiThread();
        ServerOptions options;
        options.handleSignals = false;
        std::string error;
        ASSERT_TRUE(StartServer(options, error)) << error;
    }
    void TearDown() override { StopServer(); }
};

TEST_F(ServerTest, RequestsNeedTheTokenOrItsCookie) {
    EXPECT_EQ(Get("/"), 403);
    EXPECT_EQ(Get("/engine.js"), 403);
    EXPECT_EQ(Get("/?token=0123456789abcdef0123456789abcdef"), 403);
    EXPECT_EQ(Get("/?token="), 403);

    const std::string first = Exchange("GET /?" + Token() + " HTTP/1.1\r\nHost: " + Host() +
                                       "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Status(first), 200);
    const std::string cookie = "verdal_token_" + std::to_string(ServerPort()) + "=" + ServerToken();
    EXPECT_NE(first.find("Set-Cookie: " + cookie + "; Path=/; HttpOnly; SameSite=Strict"),
              std::string::npos);
    EXPECT_NE(first.find("<script src=\"/engine.js\""), std::string::npos);
    EXPECT_EQ(Get("/engine.js", "Cookie: other=1; " + cookie + "\r\n"), 200);
    EXPECT_EQ(
        Get("/engine.css", "Cookie: verdal_token_" + std::to_string(ServerPort()) + "=wrong\r\n"),
        403);
    // Another server's cookie is no key to this one.
    EXPECT_EQ(Get("/engine.css", "Cookie: verdal_token_1=" + ServerToken() + "\r\n"), 403);
    EXPECT_EQ(StartAddress(), "http://127.0.0.1:" + std::to_string(ServerPort()) + "/?" + Token());
}

TEST_F(ServerTest, ForeignHostsAndOriginsAreRefused) {
    const std::string request = "GET /engine.js?" + Token() + " HTTP/1.1\r\n";
    EXPECT_EQ(Status(Exchange(request + "Host: evil.example:" + std::to_string(ServerPort()) +
                              "\r\nConnection: close\r\n\r\n")),
              403);
    EXPECT_EQ(Status(Exchange(request + "Connection: close\r\n\r\n")), 403); // no Host at all
    EXPECT_EQ(Get("/engine.js?" + Token(), "Origin: http://evil.example\r\n"), 403);
    EXPECT_EQ(Get("/engine.js?" + Token(), "Origin: http://" + Host() + "\r\n"), 200);
    EXPECT_EQ(
        Get("/engine.js?" + Token(), "Host: localhost:" + std::to_string(ServerPort()) + "\r\n"),
        200);

    const std::string upgrade = "GET /ws?" + Token() + " HTTP/1.1\r\nHost: " + Host() +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\n";
    EXPECT_EQ(Status(Exchange(upgrade + "Origin: http://evil.example\r\n\r\n")), 403);
    EXPECT_EQ(Status(Exchange(upgrade + "\r\n")), 403); // a browser always names its origin
    const std::string noToken = "GET /ws HTTP/1.1\r\nHost: " + Host() +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\nOrigin: http://" +
                                Host() + "\r\n\r\n";
    EXPECT_EQ(Status(Exchange(noToken)), 403);
    EXPECT_EQ(Status(Exchange(upgrade + "Origin: http://" + Host() + "\r\n\r\n")), 101);
}

TEST_F(ServerTest, PathsThatClimbOrNameFilesAreNotFound) {
    for (const char* path :
         {"/../etc/passwd", "/%2e%2e/etc/passwd", "/%2E%2E%2Fetc%2Fpasswd",
          "/engine.js/../engine.js", "/data/1/..%2f..%2fetc%2fpasswd", "/data/1/%2e%2e/x.png",
          "/..%5c..%5cwindows", "/etc/passwd", "/engine.js%00.png", "/%zz", "/data//engine.js",
          "/res/201.html", "/CMakeLists.txt", "//etc/passwd"}) {
        const std::string target = std::string(path) +
                                   (std::string(path).find('?') == std::string::npos ? "?" : "&") +
                                   Token();
        EXPECT_EQ(Get(target), 404) << path;
    }
}

TEST_F(ServerTest, ItListensOnLoopbackOnly) {
    // The listening socket's local address in the kernel's table is 127.0.0.1.
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", ServerPort());
    bool found = false;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local.substr(local.find(':') + 1) == std::string(wanted).substr(9) && state == "0A") {
            EXPECT_EQ(local, wanted);
            found = true;
        }
    }
    EXPECT_TRUE(found);

    std::string error;
    StopServer();
    for (const char* address : {"0.0.0.0:0", "192.0.2.1:0", "::0", "localhost:0"}) {
        ServerOptions options;
        options.listen = address;
        options.handleSignals = false;
        EXPECT_FALSE(StartServer(options, error)) << address;
        EXPECT_FALSE(error.empty());
    }
    ServerOptions options;
    options.handleSignals = false;
    ASSERT_TRUE(StartServer(options, error));
}

// A host answering the data of its page's URLs from the resource table.
class DataHost : public CPageHost {
public:
    DataHost() : CPageHost(HANDLE_BEHAVIOR_EVENT, ViewKind::Window) {}
};

TEST_F(ServerTest, PageDataComesFromTheHostsAnswer) {
    DataHost host;
    ASSERT_NE(host.Create(0), 0);
    const std::string view = std::to_string(host.Handle());
    int image = 0, missing = 0, otherView = 0;
    std::thread client([&] {
        image = Get("/data/" + view + "/images/dot.png?" + Token());
        missing = Get("/data/" + view + "/images/none.png?" + Token());
        otherView = Get("/data/12345/images/dot.png?" + Token());
        PostTask([] { PostQuitMessage(0); });
    });
    RunMessageLoop();
    client.join();
    EXPECT_EQ(image, 200);
    EXPECT_EQ(missing, 404);
    EXPECT_EQ(otherView, 404);
    DestroyWindow(host.Handle());
}

} // namespace
