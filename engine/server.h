// The loopback server through which the browser shows the program's windows: HTTP for the shell
// page, the browser script and the pages' resources, a WebSocket for the state, the patches and
// the user's events. The engine object (engine/engine_object.h) makes it and owns it.
//
// Security: it listens on 127.0.0.1 only. The start address carries a random token, which the
// first request exchanges for a SameSite=Strict cookie; every request and the WebSocket upgrade
// must carry the token or the cookie, a Host header naming this server and, when present (always
// on the upgrade), an Origin of this server; otherwise the answer is 403 (engine/access.h). Only
// files compiled into the program are served (engine/web_files.h); anything else is 404.
//
// Any local program may open connections to it, and a flood of them must not take the page away
// from the program's own window. A connection that has not yet shown the token (or its cookie)
// has a few seconds for its first whole request, and only so many such connections are open at
// once: further ones wait in the kernel's queue meanwhile. A connection that has shown it (the
// page's WebSocket, its kept-alive requests) is neither counted nor closed for that. When the
// process has no descriptor left for a new connection, the server tries again a moment later
// instead of at once.
//
// The server knows nothing of the engine above it: it is given its handlers (ServerHandlers)
// when it starts, and reaches them on the user-interface thread through their post.
//
// Lifetime: on SIGINT or SIGTERM, and (unless SetEndWithBrowsers said otherwise) when the last
// browser connection has been gone for the grace period (a reload comes back in time), the
// server calls the shutdown handler; SIGUSR1, which a later start of the program sends, calls the
// show handler. The destructor closes the listener and every connection, joins the server's
// thread and drops what it posted that has not run yet: no handler is called after it. It may run
// inside a handler the server called; that handler's answer is then dropped.
//
// Threads: the server runs on a thread of its own. Make and destroy it on the user-interface
// thread; the other members are for any thread.
#pragma once

#include "platform/window.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace verdal::engine {

struct ServerOptions {
    std::string listen = "127.0.0.1:0"; // address:port; port 0 picks a free one
    unsigned gracePeriodMs = 5000;      // after the last connection closed
    bool handleSignals = true;          // SIGINT, SIGTERM and SIGUSR1 reach the engine
    // A browser connection whose messages not yet sent pass this many bytes is closed; the
    // browser's script connects again and receives the whole state, as after a reload.
    std::size_t sessionQueueLimitBytes = std::size_t{64} << 20;
    // Connections that have not shown the token yet: how many stay open at once, and how long
    // each has for its first whole request.
    std::size_t strangerLimit = 64;
    unsigned firstRequestMs = 5000;
    // How long the accept loop waits when no descriptor is left for a new connection.
    unsigned acceptRetryMs = 100;
};

// What the server asks of the program above it. All but post are called on the user-interface
// thread, in the order the server met their causes.
struct ServerHandlers {
    // A browser connection's handshake is done: it needs the whole state, sent with Send.
    std::function<void(std::uint64_t session)> connected;
    // A text message from a browser connection.
    std::function<void(const std::string& text)> message;
    // The data of a URI of a view's page; false when there is none (the answer is 404).
    std::function<bool(HWND view, std::u16string_view uri, std::string& data)> data;
    std::function<void()> shutdown;
    std::function<void()> show;
    // Runs a task on the user-interface thread; false when it cannot. Called on the server's
    // thread.
    std::function<bool(std::function<void()>)> post;
};

class Server {
public:
    // Listens and starts the server's thread. Null, with a message in error, when the address
    // is not a loopback address or cannot be bound.
    static std::unique_ptr<Server> Start(const ServerOptions& options, ServerHandlers handlers,
                                         std::string& error);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::uint16_t Port() const;
    const std::string& Token() const;

    // Sends one text message to every connection that has had its whole state, or to one
    // connection (which then has it).
    void Broadcast(std::string message);
    void Send(std::uint64_t session, std::string message);
    // True while at least one browser connection is open.
    bool HasBrowsers() const;
    // Whether the last connection gone for the grace period ends the program (true until said
    // otherwise); a program whose own window shows the pages ends with the window.
    void SetEndWithBrowsers(bool end);

private:
    struct Parts;
    explicit Server(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> parts_;
};

} // namespace verdal::engine
