// The engine object: what it owns, the order in which it lets go, and the handlers it gives the
// server: the browsers' connections, messages and data requests, shutting down and showing.
#include "engine/engine_object.h"

#include "engine/internal.h"

#include <cstdio>
#include <cstdlib>

namespace verdal::engine {
namespace {

// The state of the engine object alive now, for the free functions of the page host's
// interface; set and cleared by the object itself, on the user-interface thread. It owns nothing.
EngineState* currentState = nullptr;

void Shutdown() {
    if (const HWND main = FirstWindowView())
        DestroyWindow(main);
    else
        PostQuitMessage(0);
}

} // namespace

EngineState& State() {
    if (!currentState) {
        std::fprintf(stderr, "verdal: the engine is used before it is made or after it has gone\n");
        std::abort();
    }
    return *currentState;
}

Engine::Engine() : state_(std::make_unique<EngineState>()) {
    if (currentState) {
        std::fprintf(stderr, "verdal: a second engine while one lives\n");
        std::abort();
    }
    currentState = state_.get();
    OpenPump(*state_);
}

Engine::~Engine() {
    StopServing();
    std::vector<HWND> lists;
    for (const auto& [hwnd, list] : state_->lists)
        lists.push_back(hwnd);
    for (const HWND hwnd : lists)
        DestroyWindow(hwnd); // each lets go of its list view as it goes
    ClosePump(*state_);
    currentState = nullptr;
}

bool Engine::Serve(const ServerOptions& options, std::string& error) {
    if (state_->server) {
        error = "the server is running already";
        return false;
    }
    state_->server = Server::Start(options,
                                   {.connected = OnBrowserConnected,
                                    .message = OnBrowserMessage,
                                    .data = RequestData,
                                    .shutdown = Shutdown,
                                    .show =
                                        [] {
                                            if (const auto show = State().showHandler)
                                                show();
                                        },
                                    .post = PostTask},
                                   error);
    return state_->server != nullptr;
}

void Engine::StopServing() {
    state_->server.reset();
}

std::string Engine::StartAddress() const {
    if (!state_->server)
        return {};
    return "http://127.0.0.1:" + std::to_string(Port()) + "/?token=" + Token();
}

std::uint16_t Engine::Port() const {
    return state_->server ? state_->server->Port() : 0;
}

std::string Engine::Token() const {
    return state_->server ? state_->server->Token() : std::string();
}

void Engine::RequestShutdown() {
    PostTask(Shutdown);
}

void Engine::SetEndWithBrowsers(bool end) {
    if (state_->server)
        state_->server->SetEndWithBrowsers(end);
}

void Engine::SetShowHandler(std::function<void()> handler) {
    state_->showHandler = std::move(handler);
}

void BroadcastToBrowsers(std::string message) {
    if (const auto& server = State().server)
        server->Broadcast(std::move(message));
}

void SendToBrowser(std::uint64_t session, std::string message) {
    if (const auto& server = State().server)
        server->Send(session, std::move(message));
}

bool HasBrowsers() {
    const auto& server = State().server;
    return server && server->HasBrowsers();
}

} // namespace verdal::engine
