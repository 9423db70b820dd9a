// The loopback server on the wire, with raw HTTP and WebSocket clients on loopback: that each
// request meets the access rules and routes (whose cases are the access test's table), the
// cookie, the loopback address, a view's data and the browser connections.
#include "engine/engine_object.h"
#include "engine/internal.h"
#include "tests/support/engine_environment.h"
#include "tests/support/loopback.h"
#include "tests/support/websocket_frames.h"
#include "ui/page_host.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <sys/time.h>
#include <thread>
#include <vector>

using namespace verdal;
using namespace verdal::engine;

namespace {

// A socket connected to the server that has sent the request; -1 when it cannot connect.
// receiveBuffer: when not 0, the socket's receive buffer.
// port: the server's, read here unless given (a thread that runs while the server stops gives it).
int Send(const std::string& request, int receiveBuffer = 0,
         std::uint16_t port = test::TestEngine().Port()) {
    // Every wait for the server ends, so a failure cannot hang the test.
    const int fd = test::ConnectLoopback(port, 30, receiveBuffer);
    if (fd < 0)
        return -1;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

// Sends one raw request to the server and answers the whole response.
std::string Exchange(const std::string& request, std::uint16_t port = test::TestEngine().Port()) {
    const int fd = Send(request, 0, port);
    if (fd < 0)
        return "connect failed";
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
    return "127.0.0.1:" + std::to_string(test::TestEngine().Port());
}

// A request for the target with the headers, each ending in CRLF, that closes the connection.
std::string Request(const std::string& target, const std::string& headers = "",
                    const std::string& host = Host()) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n" + headers +
           "Connection: close\r\n\r\n";
}

int Get(const std::string& target, const std::string& headers = "") {
    return Status(Exchange(Request(target, headers)));
}

std::string Token() {
    return "token=" + test::TestEngine().Token();
}

// A WebSocket upgrade request for the target, naming the origin unless it is empty.
std::string Upgrade(const std::string& target, const std::string& origin) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + Host() +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           (origin.empty() ? "" : "Origin: " + origin + "\r\n") + "\r\n";
}

// Starts the server without its signal handlers.
bool Start(ServerOptions options, std::string& error) {
    options.handleSignals = false;
    return test::TestEngine().Serve(options, error);
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(Start({}, error)) << error;
    }
    void TearDown() override { test::TestEngine().StopServing(); }
};

TEST_F(ServerTest, RequestsNeedTheTokenOrItsCookie) {
    EXPECT_EQ(Get("/"), 403);
    EXPECT_EQ(Get("/?token=0123456789abcdef0123456789abcdef"), 403);

    const std::string first = Exchange(Request("/?" + Token()));
    EXPECT_EQ(Status(first), 200);
    const std::string name = "verdal_token_" + std::to_string(test::TestEngine().Port());
    const std::string cookie = name + "=" + test::TestEngine().Token();
    EXPECT_NE(first.find("Set-Cookie: " + cookie + "; Path=/; HttpOnly; SameSite=Strict"),
              std::string::npos);
    EXPECT_NE(first.find("<script src=\"/engine.js\""), std::string::npos);
    EXPECT_EQ(Get("/engine.js", "Cookie: other=1; " + cookie + "\r\n"), 200);
    EXPECT_EQ(Get("/engine.css", "Cookie: " + name + "=wrong\r\n"), 403);
    EXPECT_EQ(test::TestEngine().StartAddress(), "http://" + Host() + "/?" + Token());
}

// The Host and Origin headers reach the rules, and an upgrade is held to them as well.
TEST_F(ServerTest, ForeignHostsAndOriginsAreRefused) {
    const std::string evil = "evil.example:" + std::to_string(test::TestEngine().Port());
    EXPECT_EQ(Status(Exchange(Request("/engine.js?" + Token(), "", evil))), 403);
    EXPECT_EQ(Get("/engine.js?" + Token(), "Origin: http://evil.example\r\n"), 403);
    EXPECT_EQ(Get("/engine.js?" + Token(), "Origin: http://" + Host() + "\r\n"), 200);

    const std::string ws = "/ws?" + Token();
    EXPECT_EQ(Status(Exchange(Upgrade(ws, ""))), 403); // a browser always names its origin
    EXPECT_EQ(Status(Exchange(Upgrade("/ws", "http://" + Host()))), 403);
    EXPECT_EQ(Status(Exchange(Upgrade(ws, "http://" + Host()))), 101);
}

TEST_F(ServerTest, PathsThatClimbOrNameFilesAreNotFound) {
    for (const char* path : {"/../etc/passwd", "/data/1/..%2f..%2fetc%2fpasswd", "/CMakeLists.txt"})
        EXPECT_EQ(Get(std::string(path) + "?" + Token()), 404) << path;
}

TEST_F(ServerTest, ItListensOnLoopbackOnly) {
    // The one socket listening on the port in the kernel's table has the local address 127.0.0.1.
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", test::TestEngine().Port());
    std::vector<std::string> listening;
    std::ifstream table("/proc/net/tcp");
    for (std::string slot, local, remote, state, rest; table >> slot >> local >> remote >> state;
         std::getline(table, rest))
        if (state == "0A" && local.ends_with(port))
            listening.push_back(local);
    EXPECT_EQ(listening, std::vector<std::string>{"0100007F" + std::string(port)});

    std::string error;
    test::TestEngine().StopServing();
    // Only loopback, and only a port written as one: a typo never listens on a free port.
    for (const char* address : {"0.0.0.0:0", "192.0.2.1:0", "::0", "localhost:0", "127.0.0.1:abc",
                                "127.0.0.1:", "127.0.0.1:80x", "127.0.0.1:65536"}) {
        EXPECT_FALSE(Start({.listen = address}, error)) << address;
        EXPECT_FALSE(error.empty());
    }
    ASSERT_TRUE(Start({}, error));
}

TEST_F(ServerTest, PageDataComesFromTheHostsAnswer) {
    // The host answers the data of its page's URLs from the resource table.
    CPageHost host(HANDLE_BEHAVIOR_EVENT, ViewKind::Window);
    ASSERT_NE(host.Create(0), 0);
    const std::string view = std::to_string(host.Handle());
    std::vector<int> statuses; // an image of the page, one it lacks, one of no view
    std::thread client([&] {
        for (const std::string& path : {view + "/images/dot.png", view + "/images/none.png",
                                        std::string("12345/images/dot.png")})
            statuses.push_back(Get("/data/" + path + "?" + Token()));
        PostTask([] { PostQuitMessage(0); });
    });
    RunMessageLoop();
    client.join();
    EXPECT_EQ(statuses, (std::vector<int>{200, 404, 404}));
    DestroyWindow(host.Handle());
}

// A host that stops the server while it answers a page's data: the request is never answered,
// and nothing of the stopped server is touched afterwards.
TEST_F(ServerTest, AServerStoppedWhileAViewAnswersItsDataLeavesNothingBehind) {
    struct StoppingHost : CPageHost {
        StoppingHost() : CPageHost(HANDLE_BEHAVIOR_EVENT, ViewKind::Window) {}
        LRESULT OnLoadData(NMHL_LOAD_DATA& record) override {
            test::TestEngine().StopServing();
            return CPageHost::OnLoadData(record);
        }
    } host;
    ASSERT_NE(host.Create(0), 0);
    const std::string request =
        Request("/data/" + std::to_string(host.Handle()) + "/images/dot.png?" + Token());
    std::string response = "none";
    std::thread client([&, port = test::TestEngine().Port()] {
        response = Exchange(request, port);
        PostTask([] { PostQuitMessage(0); });
    });
    RunMessageLoop();
    client.join();
    EXPECT_EQ(response, "");
    DestroyWindow(host.Handle());
}

// When the server stops before the engine has run what it posted, that is dropped: the wake-ups
// that run afterwards call no handler.
TEST(ServerUplink, WhatTheServerPostedIsDroppedWhenItStops) {
    std::mutex mutex;
    std::condition_variable posted;
    std::vector<std::function<void()>> wakes;
    int calls = 0;
    const auto count = [&](auto&&...) { ++calls; };
    std::string error;
    auto server = Server::Start({.handleSignals = false},
                                {.connected = count,
                                 .message = count,
                                 .data = [&](auto&&...) { return ++calls, true; },
                                 .shutdown = count,
                                 .show = count,
                                 .post =
                                     [&](std::function<void()> wake) {
                                         const std::lock_guard lock(mutex);
                                         wakes.push_back(std::move(wake));
                                         posted.notify_all();
                                         return true;
                                     }},
                                error);
    ASSERT_TRUE(server) << error;
    const std::string host = "127.0.0.1:" + std::to_string(server->Port());
    const int fd =
        Send(Request("/data/1/page.html?token=" + server->Token(), "", host), 0, server->Port());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(
            posted.wait_for(lock, std::chrono::seconds(30), [&] { return !wakes.empty(); }));
    }
    server.reset();
    for (const auto& wake : wakes)
        wake();
    EXPECT_EQ(calls, 0);
    ::close(fd);
}

// A WebSocket client of the engine's page, reading the server's frames off a raw socket.
class BrowserConnection {
public:
    // receiveBuffer: when not 0, the socket's receive buffer, kept small so that a client that
    // does not read soon leaves its messages queued in the server.
    explicit BrowserConnection(int receiveBuffer = 0)
        : fd_(Send(Upgrade("/ws?" + Token(), "http://" + Host()), receiveBuffer)) {
        while (pending_.find("\r\n\r\n") == std::string::npos)
            if (!Fill(pending_.size() + 1))
                return;
        accepted = pending_.rfind("HTTP/1.1 101", 0) == 0;
        pending_.erase(0, pending_.find("\r\n\r\n") + 4);
    }
    ~BrowserConnection() { ::close(fd_); }

    bool accepted = false;
    // True once the server has ended the connection; false while it is open or when the last
    // read only timed out.
    bool ended = false;

    // The next text message; nothing once the connection has ended or the wait timed out.
    std::optional<std::string> ReadMessage() {
        return test::TakeWebSocketMessage(
            pending_, [this](std::size_t count) { return Fill(count); }, ended);
    }

private:
    // Reads until pending_ holds count bytes.
    bool Fill(std::size_t count) {
        char buffer[65536];
        while (pending_.size() < count) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                pending_.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            return false;
        }
        return true;
    }

    int fd_ = -1;
    std::string pending_;
};

} // namespace

TEST(ServerSessions, ABrowserThatDoesNotReadIsDroppedAndTheOthersGoOn) {
    std::string error;
    ASSERT_TRUE(Start({.sessionQueueLimitBytes = 1 << 20}, error)) << error;
    constexpr int kUpdates = 256;
    const std::string update(64 * 1024, 'u'); // 16 MiB in all
    int slowGot = 0;
    bool slowEnded = false;
    bool fastGotAll = false;
    bool reconnected = false;
    std::thread clients([&] {
        BrowserConnection fast;
        BrowserConnection slow(16 * 1024);
        // Each connection first receives the whole state.
        if (fast.accepted && slow.accepted && fast.ReadMessage() && slow.ReadMessage()) {
            fastGotAll = true;
            for (int i = 0; i < kUpdates && fastGotAll; ++i) {
                BroadcastToBrowsers(update);
                const auto got = fast.ReadMessage();
                fastGotAll = got && *got == update;
            }
            // Only now does the slow one read: what was under way when it was dropped, then
            // the end of the connection.
            while (slow.ReadMessage())
                ++slowGot;
            slowEnded = slow.ended;
            BrowserConnection again;
            reconnected = again.accepted && again.ReadMessage().has_value();
        }
        PostTask([] { PostQuitMessage(0); });
    });
    RunMessageLoop();
    clients.join();
    test::TestEngine().StopServing();
    EXPECT_TRUE(fastGotAll);
    EXPECT_TRUE(slowEnded);
    EXPECT_LT(slowGot, kUpdates);
    EXPECT_TRUE(reconnected);
}

namespace {

// Whether the server has closed the connection within boundMs milliseconds.
bool ClosedByServer(int fd, int boundMs) {
    pollfd in{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&in, 1, boundMs) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// A kept-alive request of the page, on a connection of its own; the status of its answer.
int KeptAliveGet(int fd, const std::string& target) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + Host() + "\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string response;
    char buffer[4096];
    // The shell page is small; its whole head and the length suffice here.
    while (response.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return 0;
        response.append(buffer, static_cast<std::size_t>(n));
    }
    return Status(response);
}

double ProcessCpuSeconds() {
    timespec cpu{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

} // namespace

// Idle connections that never show the token: only a few are open at once, each for a short
// time, and the others wait their turn; the page's own connection, which has shown it, is
// neither counted nor closed.
TEST(ServerFlood, StrangersAreFewAndBriefAndThePageStays) {
    std::string error;
    ASSERT_TRUE(Start({.strangerLimit = 4, .firstRequestMs = 1000}, error)) << error;
    const int page = Send("");
    ASSERT_EQ(KeptAliveGet(page, "/?" + Token()), 200);
    std::vector<int> idle;
    for (int i = 0; i < 6; ++i)
        idle.push_back(Send(""));
    EXPECT_EQ(KeptAliveGet(page, "/engine.js?" + Token()), 200);
    // A real request waits until the first four have had their time, and is answered before the
    // two that came after them have had theirs.
    EXPECT_EQ(Get("/engine.js?" + Token()), 200);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(ClosedByServer(idle[i], 0)) << i;
    EXPECT_FALSE(ClosedByServer(idle[4], 0));
    EXPECT_TRUE(ClosedByServer(idle[4], 3000));
    EXPECT_TRUE(ClosedByServer(idle[5], 3000));
    EXPECT_FALSE(ClosedByServer(page, 0));
    EXPECT_EQ(KeptAliveGet(page, "/engine.css?" + Token()), 200);
    for (int fd : idle)
        ::close(fd);
    ::close(page);
    test::TestEngine().StopServing();
}

// With no descriptor left for a new connection, the server neither spins nor gives up: the
// connection waits in the kernel's queue and is served once descriptors are free again.
TEST(ServerFlood, NoDescriptorLeftMakesTheAcceptWaitNotSpin) {
    std::string error;
    ASSERT_TRUE(Start({}, error)) << error;
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const int waiting = ::socket(AF_INET, SOCK_STREAM, 0);
    std::vector<int> spent;
    rlimit low = before;
    low.rlim_cur = static_cast<rlim_t>(::dup(waiting));
    ::close(static_cast<int>(low.rlim_cur));
    low.rlim_cur += 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int fd; (fd = ::dup(waiting)) >= 0;)
        spent.push_back(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(test::TestEngine().Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const double start = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double spentCpu = ProcessCpuSeconds() - start;
    for (int fd : spent)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &before);
    ASSERT_TRUE(connected);
    std::printf("CPU time of 1 s without descriptors: %.3f s\n", spentCpu);
    EXPECT_LT(spentCpu, 0.3);
    timeval bound{10, 0};
    ::setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    EXPECT_EQ(KeptAliveGet(waiting, "/?" + Token()), 200);
    ::close(waiting);
    test::TestEngine().StopServing();
}
