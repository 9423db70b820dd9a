// The engine as one object: the views and their documents, the list views, the pump through
// which other threads reach the user-interface thread, and the loopback server. The program makes
// one in main, on the user-interface thread, before any window that shows a page, and lets it
// end after them. While it lives, the functions of engine/engine.h, engine/listview.h and
// engine/menu.h work on it: they are the page host's interface, as the drawing engine's free
// functions were, and the engine object is what they reach.
//
// Shutdown is the destructor, in this order: the server stops (its thread joined, every
// connection closed), so nothing arrives from a browser any more; the list views still open are
// destroyed; the pump window goes, so that a task posted later is refused, not run; the views'
// state goes last.
//
// Threads: make and destroy it on the user-interface thread, and call it there, except where
// said otherwise. A thread that posts tasks (PostTask) must end before the engine does.
#pragma once

#include "engine/server.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace verdal::engine {

struct EngineState;

class Engine {
public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Starts the server. False with a message in error when it is running already or the
    // address is not a loopback address or cannot be bound.
    bool Serve(const ServerOptions& options, std::string& error);
    // Stops the server and closes every connection; nothing happens when it is not running.
    void StopServing();

    // "http://127.0.0.1:PORT/?token=TOKEN"; empty when the server is not running.
    std::string StartAddress() const;
    std::uint16_t Port() const;
    std::string Token() const;

    // Shuts the program down on the user-interface thread, as a signal or the last browser gone
    // does: destroys the window of the first view opened (the main window) and, when there is
    // none, posts WM_QUIT. Any thread.
    void RequestShutdown();
    // Whether the program ends once the last browser connection has been gone for the grace
    // period (true until said otherwise).
    void SetEndWithBrowsers(bool end);
    // What runs on SIGUSR1: a later start asks to see the program. None by default.
    void SetShowHandler(std::function<void()> handler);

private:
    std::unique_ptr<EngineState> state_;
};

} // namespace verdal::engine
