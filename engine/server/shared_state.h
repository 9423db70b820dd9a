// What the server's sessions share: the token and port they check requests against, the open
// browser connections, and the grace period after the last one closed. Touched on the server's
// thread only, except where said otherwise.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace verdal::engine {

class HttpSession;
class Uplink;
class WebSocketSession;

class SharedState {
public:
    SharedState(boost::asio::io_context& context, Uplink& uplink, std::string token,
                std::uint16_t port, unsigned graceMs, std::size_t sessionQueueLimit,
                std::size_t strangerLimit, unsigned firstRequestMs);

    Uplink& Up() { return uplink_; }
    const std::string& Token() const { return token_; }
    std::uint16_t Port() const { return port_; }
    std::size_t SessionQueueLimit() const { return sessionQueueLimit_; }
    unsigned FirstRequestMs() const { return firstRequestMs_; }

    // Whether the accept loop may take one more connection that has not shown the token: true
    // while such connections are below their limit. Past it, new connections wait in the
    // kernel's queue until one of those has shown the token or has run out of time for its first
    // request. A flood of idle connections then holds only so many descriptors and so much time,
    // while the page, whose connections have shown the token, goes on. (Closing the oldest idle
    // one to make room would close a browser's own: a browser opens connections ahead and keeps
    // them idle until it has a request for them.)
    bool RoomForStranger();
    // A new connection, which has not shown the token yet.
    void Admit(const std::shared_ptr<HttpSession>& session);

    // A connection's number, for the engine to answer it alone.
    std::uint64_t NextSessionId() { return nextSession_++; }
    // A browser connection has finished its handshake, or has closed.
    void Join(const std::shared_ptr<WebSocketSession>& session);
    void Leave(std::uint64_t id);

    // An HTTP session waiting for the engine's answer is kept here, not by the task that asks
    // (tasks hold no sessions); stopping lets the waiting ones go.
    void Hold(const std::shared_ptr<HttpSession>& session) { waiting_.insert(session); }
    void Release(const std::shared_ptr<HttpSession>& session) { waiting_.erase(session); }

    // Sends to every connection that has had its whole state, or to one connection (which then
    // has it). Any thread: the work is posted to the server's.
    void Broadcast(std::string message);
    void SendTo(std::uint64_t id, std::string message);

    bool HasBrowsers() const { return open_ > 0; }                // any thread
    void SetEndWithBrowsers(bool end) { endWithBrowsers_ = end; } // any thread
    // The server stops: no grace period runs out any more, and no waiting session is kept.
    void Stop();

private:
    void StartGraceTimer();

    boost::asio::io_context& context_;
    Uplink& uplink_;
    const std::string token_;
    const std::uint16_t port_;
    const unsigned graceMs_;
    const std::size_t sessionQueueLimit_;
    boost::asio::steady_timer grace_;
    std::map<std::uint64_t, std::weak_ptr<WebSocketSession>> sessions_;
    std::set<std::shared_ptr<HttpSession>> waiting_;
    const std::size_t strangerLimit_;
    const unsigned firstRequestMs_;
    struct Stranger {
        std::weak_ptr<HttpSession> session;
    };
    // A session that has gone or has shown the token is passed over.
    std::deque<Stranger> strangers_;
    std::uint64_t nextSession_ = 1;
    std::atomic<int> open_{0};
    std::atomic<bool> endWithBrowsers_{true};
};

} // namespace verdal::engine
