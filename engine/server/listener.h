// The server's listening socket: each accepted connection becomes an HTTP session. When the
// process has run out of descriptors, the connections wait in the kernel's queue and the next
// accept comes after a pause: the listening socket stays readable, and trying again at once
// would only spin. So do they while the connections that have not shown the token yet are at their
// limit (engine/server/shared_state.h).
#pragma once

#include "engine/server/shared_state.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <string>

namespace verdal::engine {

class Listener : public std::enable_shared_from_this<Listener> {
public:
    Listener(SharedState& state, boost::asio::ip::tcp::acceptor acceptor, unsigned retryMs)
        : state_(state), acceptor_(std::move(acceptor)), retry_(acceptor_.get_executor()),
          retryMs_(retryMs) {}

    // Binds a listening socket to the endpoint; false with a message in error.
    static bool Open(boost::asio::ip::tcp::acceptor& acceptor,
                     const boost::asio::ip::tcp::endpoint& endpoint, std::string& error);

    void Start() { Accept(); }
    // Accepts no more connections.
    void Stop();

private:
    void Accept();
    void AcceptLater(std::chrono::milliseconds pause);

    SharedState& state_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_;
    const unsigned retryMs_;
};

} // namespace verdal::engine
