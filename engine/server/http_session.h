// One HTTP connection: each request checked by the access rules, then answered with a file of the
// engine's own, a view's data from its page host, or a WebSocket session that takes the
// connection over.
#pragma once

#include "engine/server/shared_state.h"
#include "platform/window.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>

#include <memory>
#include <optional>
#include <string>

namespace verdal::engine {

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    HttpSession(boost::asio::ip::tcp::socket socket, SharedState& state);

    void Start() { Read(); }
    // Whether a request of this connection has shown the token or its cookie.
    bool Trusted() const { return trusted_; }

private:
    void Read();
    void Handle(Request request);
    void AnswerData(Request request, HWND view, std::string uri);
    void Reply(const Request& request, boost::beast::http::status status, std::string body,
               std::string_view type, bool setCookie = false);
    void NotFound(const Request& request);

    boost::beast::tcp_stream stream_;
    SharedState& state_;
    boost::beast::flat_buffer buffer_;
    Request waiting_; // the request whose data the engine is asked for
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    bool trusted_ = false;
};

} // namespace verdal::engine
