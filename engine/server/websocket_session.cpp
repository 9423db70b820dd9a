// A browser connection's WebSocket: the handshake, the reads posted to the user-interface thread
// and the queue of messages written one at a time.
#include "engine/server/websocket_session.h"

#include "engine/server/uplink.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>

namespace verdal::engine {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

WebSocketSession::WebSocketSession(boost::asio::ip::tcp::socket socket, SharedState& state)
    : ws_(std::move(socket)), state_(state), id_(state.NextSessionId()) {}

void WebSocketSession::Start(beast::http::request<beast::http::string_body> request) {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.read_message_max(1 << 20);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
        if (ec)
            return;
        self->state_.Join(self);
        self->state_.Up().Post(
            [id = self->id_](const ServerHandlers& engine) { engine.connected(id); });
        self->Read();
    });
}

void WebSocketSession::Send(std::shared_ptr<const std::string> message) {
    if (dropped_)
        return;
    if (!queue_.empty() && queuedBytes_ + message->size() > state_.SessionQueueLimit()) {
        Drop();
        return;
    }
    queuedBytes_ += message->size();
    queue_.push_back(std::move(message));
    if (queue_.size() == 1)
        Write();
}

void WebSocketSession::Read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) {
            self->Closed();
            return;
        }
        self->state_.Up().Post([text = beast::buffers_to_string(self->buffer_.data())](
                                   const ServerHandlers& engine) { engine.message(text); });
        self->buffer_.consume(self->buffer_.size());
        self->Read();
    });
}

void WebSocketSession::Write() {
    ws_.text(true);
    ws_.async_write(boost::asio::buffer(*queue_.front()),
                    [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        if (ec) {
                            // The read side notices the closed connection.
                            self->queue_.clear();
                            self->queuedBytes_ = 0;
                            return;
                        }
                        self->queuedBytes_ -= self->queue_.front()->size();
                        self->queue_.pop_front();
                        if (!self->queue_.empty() && !self->dropped_)
                            self->Write();
                    });
}

// Closes the connection at once, without the closing handshake, which would only queue behind
// the messages the browser does not read. The message being written stays until its write has
// ended; the others go now.
void WebSocketSession::Drop() {
    dropped_ = true;
    queue_.erase(queue_.begin() + 1, queue_.end());
    queuedBytes_ = queue_.front()->size();
    beast::get_lowest_layer(ws_).close();
    Closed();
}

void WebSocketSession::Closed() {
    if (closed_)
        return;
    closed_ = true;
    state_.Leave(id_);
}

} // namespace verdal::engine
