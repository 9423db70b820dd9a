// One browser connection: the WebSocket through which the browser receives the state and the
// patches and sends the user's events. Lives as long as an operation of its own is under way.
#pragma once

#include "engine/server/shared_state.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <deque>
#include <memory>
#include <string>

namespace verdal::engine {

class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    WebSocketSession(boost::asio::ip::tcp::socket socket, SharedState& state);

    // Answers the upgrade request; once the handshake is done the engine hears of the
    // connection and sends it the whole state.
    void Start(boost::beast::http::request<boost::beast::http::string_body> request);

    std::uint64_t Id() const { return id_; }
    // Whether the whole state has been sent: only then do patches follow.
    bool HasState() const { return hasState_; }
    void GotState() { hasState_ = true; }

    // Queues a message. A browser that stops reading would make the server keep every later
    // message for it: past the state's queue limit its connection is dropped instead (one
    // message alone always goes), and its script connects again for the whole state.
    void Send(std::shared_ptr<const std::string> message);

private:
    void Read();
    void Write();
    void Drop();
    void Closed();

    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    SharedState& state_;
    const std::uint64_t id_;
    boost::beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queuedBytes_ = 0; // the bytes of the messages in queue_
    bool hasState_ = false;
    bool dropped_ = false;
    bool closed_ = false;
};

} // namespace verdal::engine
