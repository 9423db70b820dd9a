// The listening socket and the accept loop.
#include "engine/server/listener.h"

#include "engine/server/http_session.h"

namespace verdal::engine {

using tcp = boost::asio::ip::tcp;

bool Listener::Open(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, std::string& error) {
    boost::system::error_code ec;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(boost::asio::socket_base::max_listen_connections, ec);
    if (ec)
        error = ec.message();
    return !ec;
}

void Listener::Stop() {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
}

void Listener::Accept() {
    // The connections wait in the kernel's queue while those that have not shown the token yet
    // are at their limit.
    if (!state_.RoomForStranger()) {
        AcceptLater(std::chrono::milliseconds(50));
        return;
    }
    acceptor_.async_accept(
        [self = shared_from_this()](boost::system::error_code ec, tcp::socket socket) {
            if (!self->acceptor_.is_open())
                return;
            if (!ec) {
                // Patches are small and must not wait for the acknowledgement of the last one.
                boost::system::error_code ignored;
                socket.set_option(tcp::no_delay(true), ignored);
                auto session = std::make_shared<HttpSession>(std::move(socket), self->state_);
                self->state_.Admit(session);
                session->Start();
            } else if (ec == boost::asio::error::no_descriptors ||
                       ec == boost::system::errc::too_many_files_open_in_system ||
                       ec == boost::asio::error::no_buffer_space ||
                       ec == boost::asio::error::no_memory) {
                self->AcceptLater(std::chrono::milliseconds(self->retryMs_));
                return;
            }
            self->Accept();
        });
}

void Listener::AcceptLater(std::chrono::milliseconds pause) {
    retry_.expires_after(pause);
    retry_.async_wait([self = shared_from_this()](boost::system::error_code ec) {
        if (!ec && self->acceptor_.is_open())
            self->Accept();
    });
}

} // namespace verdal::engine
