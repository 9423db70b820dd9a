// The server's listening socket: each accepted connection becomes an HTTP session.
#pragma once

#include "engine/server/shared_state.h"

#include <boost/asio/ip/tcp.hpp>

#include <memory>
#include <string>

namespace verdal::engine {

class Listener : public std::enable_shared_from_this<Listener> {
public:
    Listener(SharedState& state, boost::asio::ip::tcp::acceptor acceptor)
        : state_(state), acceptor_(std::move(acceptor)) {}

    // Binds a listening socket to the endpoint; false with a message in error.
    static bool Open(boost::asio::ip::tcp::acceptor& acceptor,
                     const boost::asio::ip::tcp::endpoint& endpoint, std::string& error);

    void Start() { Accept(); }
    // Accepts no more connections.
    void Stop();

private:
    void Accept();

    SharedState& state_;
    boost::asio::ip::tcp::acceptor acceptor_;
};

} // namespace verdal::engine
