// An HTTP connection: the access rules, the engine's files, the views' data and the upgrade.
#include "engine/server/http_session.h"

#include "engine/access.h"
#include "engine/server/uplink.h"
#include "engine/server/websocket_session.h"
#include "engine/web_files.h"
#include "platform/text.h"

#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

namespace verdal::engine {

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

namespace {

std::string_view Text(beast::string_view view) {
    return {view.data(), view.size()};
}

} // namespace

HttpSession::HttpSession(tcp::socket socket, SharedState& state)
    : stream_(std::move(socket)), state_(state) {}

void HttpSession::Read() {
    parser_.emplace();
    parser_->body_limit(64 * 1024);
    // The time covers the whole request, however slowly its bytes trickle in.
    stream_.expires_after(trusted_ ? std::chrono::milliseconds(30000)
                                   : std::chrono::milliseconds(state_.FirstRequestMs()));
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                         if (!ec)
                             self->Handle(self->parser_->release());
                     });
}

void HttpSession::Handle(Request request) {
    const auto origin = request.find(http::field::origin);
    const bool upgrade = beast::websocket::is_upgrade(request);
    const AccessDecision access = DecideAccess(
        {.target = Text(request.target()),
         .host = Text(request[http::field::host]),
         .origin = origin == request.end() ? std::nullopt
                                           : std::optional<std::string_view>(Text(origin->value())),
         .cookies = Text(request[http::field::cookie]),
         .upgrade = upgrade},
        state_.Port(), state_.Token());
    if (!access.allowed)
        return Reply(request, http::status::forbidden, "forbidden\n", "text/plain");
    trusted_ = true;
    if (upgrade) {
        std::make_shared<WebSocketSession>(stream_.release_socket(), state_)
            ->Start(std::move(request));
        return;
    }
    if (request.method() != http::verb::get && request.method() != http::verb::head)
        return Reply(request, http::status::method_not_allowed, "method not allowed\n",
                     "text/plain");

    Route route = RouteOf(Text(request.target()));
    switch (route.kind) {
    case Route::Kind::File:
        return Reply(request, http::status::ok,
                     std::string(reinterpret_cast<const char*>(route.file->data), route.file->size),
                     MediaTypeOf(route.file->name), access.tokenGiven);
    case Route::Kind::Data:
        return AnswerData(std::move(request), route.view, std::move(route.uri));
    case Route::Kind::NotFound:
        return NotFound(request);
    }
}

// The view's page host answers on the user-interface thread; the reply goes out on this one.
// Meanwhile the state keeps this session and the request waits in it.
void HttpSession::AnswerData(Request request, HWND view, std::string uri) {
    waiting_ = std::move(request);
    state_.Hold(shared_from_this());
    Uplink& uplink = state_.Up(); // alive while one of its tasks runs
    uplink.Post([&uplink, weak = weak_from_this(), view, uri](const ServerHandlers& engine) {
        auto data = std::make_shared<std::string>();
        const bool found = engine.data(view, Utf8ToUtf16(uri), *data);
        uplink.Answer([weak, data, found, uri] {
            const auto self = weak.lock();
            if (!self)
                return;
            self->state_.Release(self);
            if (!found)
                return self->NotFound(self->waiting_);
            self->Reply(self->waiting_, http::status::ok, std::move(*data), MediaTypeOf(uri));
        });
    });
}

void HttpSession::NotFound(const Request& request) {
    Reply(request, http::status::not_found, "not found\n", "text/plain");
}

void HttpSession::Reply(const Request& request, http::status status, std::string body,
                        std::string_view type, bool setCookie) {
    auto response = std::make_shared<http::response<http::string_body>>(status, request.version());
    response->set(http::field::server, "verdal");
    response->set(http::field::content_type, beast::string_view(type.data(), type.size()));
    response->set(http::field::cache_control, "no-store");
    response->set("X-Content-Type-Options", "nosniff");
    if (setCookie)
        response->set(http::field::set_cookie, CookieName(state_.Port()) + "=" + state_.Token() +
                                                   "; Path=/; HttpOnly; SameSite=Strict");
    // A refused request ends its connection.
    response->keep_alive(request.keep_alive() && status != http::status::forbidden);
    if (request.method() == http::verb::head) {
        response->content_length(body.size());
    } else {
        response->body() = std::move(body);
        response->prepare_payload();
    }
    http::async_write(stream_, *response,
                      [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                          if (ec)
                              return;
                          if (!response->keep_alive()) {
                              beast::error_code ignored;
                              self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                              return;
                          }
                          self->Read();
                      });
}

} // namespace verdal::engine
