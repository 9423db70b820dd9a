// The server's parts, in the order they are made: the I/O context, the uplink to the engine, the
// state its sessions share, the listener, the signals, and the thread that runs them.
#include "engine/server.h"

#include "engine/server/listener.h"
#include "engine/server/shared_state.h"
#include "engine/server/uplink.h"
#include "platform/language.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>

#include <charconv>
#include <csignal>
#include <optional>
#include <random>
#include <string_view>
#include <thread>

namespace verdal::engine {

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

std::string RandomToken() {
    std::random_device device;
    std::string token;
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i)
        token += kHex[device() & 0xF];
    return token;
}

// The loopback endpoint of an "address:port" text; false with a message in error.
bool LoopbackEndpoint(const std::string& listen, tcp::endpoint& endpoint, std::string& error) {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos) {
        error = Tr("listen address must be 127.0.0.1:PORT");
        return false;
    }
    boost::system::error_code ec;
    const auto address = net::ip::make_address(listen.substr(0, colon), ec);
    if (ec || !address.is_loopback()) {
        error = Format(Tr("listen address must be a loopback address: %s"), listen.c_str());
        return false;
    }
    const std::string_view digits = std::string_view(listen).substr(colon + 1);
    unsigned port = 0;
    const auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (failed != std::errc() || end != digits.data() + digits.size() || port > 65535) {
        error = Format(Tr("bad port in %s"), listen.c_str());
        return false;
    }
    endpoint = tcp::endpoint(address, static_cast<std::uint16_t>(port));
    return true;
}

} // namespace

struct Server::Parts {
    net::io_context context;
    std::shared_ptr<Uplink> uplink; // shared with the wake-ups it posts, which hold it weakly
    std::unique_ptr<SharedState> state;
    std::shared_ptr<Listener> listener;
    std::optional<net::signal_set> signals;
    std::jthread thread;

    void WaitForSignal() {
        signals->async_wait([this](boost::system::error_code ec, int number) {
            if (ec)
                return;
            if (number == SIGUSR1) {
                uplink->Post([](const ServerHandlers& engine) { engine.show(); });
                WaitForSignal();
            } else {
                uplink->Post([](const ServerHandlers& engine) { engine.shutdown(); });
            }
        });
    }
};

std::unique_ptr<Server> Server::Start(const ServerOptions& options, ServerHandlers handlers,
                                      std::string& error) {
    tcp::endpoint endpoint;
    if (!LoopbackEndpoint(options.listen, endpoint, error))
        return nullptr;
    auto parts = std::make_unique<Parts>();
    tcp::acceptor acceptor(parts->context);
    if (!Listener::Open(acceptor, endpoint, error)) {
        error = Format(Tr("cannot listen on %s: %s"), options.listen.c_str(), error.c_str());
        return nullptr;
    }
    const std::uint16_t port = acceptor.local_endpoint().port();
    parts->uplink = std::make_shared<Uplink>(parts->context, std::move(handlers));
    parts->state = std::make_unique<SharedState>(
        parts->context, *parts->uplink, RandomToken(), port, options.gracePeriodMs,
        options.sessionQueueLimitBytes, options.strangerLimit, options.firstRequestMs);
    parts->listener =
        std::make_shared<Listener>(*parts->state, std::move(acceptor), options.acceptRetryMs);
    parts->listener->Start();
    if (options.handleSignals) {
        parts->signals.emplace(parts->context, SIGINT, SIGTERM, SIGUSR1);
        parts->WaitForSignal();
    }
    parts->thread = std::jthread([context = &parts->context] { context->run(); });
    return std::unique_ptr<Server>(new Server(std::move(parts)));
}

Server::Server(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

Server::~Server() {
    net::post(parts_->context, [parts = parts_.get()] {
        parts->listener->Stop();
        parts->state->Stop();
        if (parts->signals) {
            boost::system::error_code ignored;
            parts->signals->cancel(ignored);
        }
        parts->context.stop();
    });
    parts_->thread.join();
    parts_->uplink->Close();
    // The handlers still queued, and the sessions they hold, go with the context, after the
    // state they refer to has gone: none of them runs again.
}

std::uint16_t Server::Port() const {
    return parts_->state->Port();
}

const std::string& Server::Token() const {
    return parts_->state->Token();
}

void Server::Broadcast(std::string message) {
    parts_->state->Broadcast(std::move(message));
}

void Server::Send(std::uint64_t session, std::string message) {
    parts_->state->SendTo(session, std::move(message));
}

bool Server::HasBrowsers() const {
    return parts_->state->HasBrowsers();
}

void Server::SetEndWithBrowsers(bool end) {
    parts_->state->SetEndWithBrowsers(end);
}

} // namespace verdal::engine
