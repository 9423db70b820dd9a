// The loopback server through which the browser shows the program's windows: HTTP for the shell
// page, the browser script and the pages' resources, a WebSocket for the state, the patches and
// the user's events.
//
// Security: it listens on 127.0.0.1 only. The start address carries a random token, which the
// first request exchanges for a SameSite=Strict cookie (named "verdal_token_PORT"); every request
// and the WebSocket upgrade must carry the token or the cookie, a Host header naming this server
// and, when present (always on the upgrade), an Origin of this server; otherwise the answer is 403.
// Only files compiled into the program are served; no URL ever reaches a path on disk (anything
// else is 404).
//
// Lifetime: on SIGINT or SIGTERM, on RequestShutdown, and (unless SetEndWithBrowsers said
// otherwise) when the last browser connection has been gone for the grace period (a reload comes
// back in time), the shutdown handler runs on the user-interface thread. SIGUSR1, which a later
// start of the program sends, runs the show handler there.
//
// Threads: StartServer, StopServer and the Set functions on the user-interface thread,
// RequestShutdown on any; the server runs on a thread of its own and reaches the user-interface
// thread by posted tasks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace verdal::engine {

struct ServerOptions {
    std::string listen = "127.0.0.1:0"; // address:port; port 0 picks a free one
    unsigned gracePeriodMs = 5000;      // after the last connection closed
    bool handleSignals = true;          // SIGINT, SIGTERM and SIGUSR1 run the handlers
    // A browser connection whose messages not yet sent pass this many bytes is closed; the
    // browser's script connects again and receives the whole state, as after a reload.
    std::size_t sessionQueueLimitBytes = std::size_t{64} << 20;
};

// Starts the engine and the server. False with a message in error when the address is not a
// loopback address or cannot be bound.
bool StartServer(const ServerOptions& options, std::string& error);
// Stops the server and closes every connection; nothing happens when it is not running.
void StopServer();

// "http://127.0.0.1:PORT/?token=TOKEN"; empty when the server is not running.
std::string StartAddress();
std::uint16_t ServerPort();
std::string ServerToken();

// What runs when the browser is gone or a signal arrives. The default destroys the window of
// the first view opened (the main window) and, when there is none, posts WM_QUIT.
void SetShutdownHandler(std::function<void()> handler);
// Runs the shutdown handler on the user-interface thread, as a signal would. Any thread.
void RequestShutdown();
// Whether the program ends once the last browser connection has been gone for the grace period
// (true until said otherwise); a program whose own window shows the pages ends with the window.
void SetEndWithBrowsers(bool end);
// What runs on SIGUSR1: a later start asks to see the program. None by default.
void SetShowHandler(std::function<void()> handler);

} // namespace verdal::engine
