// The loopback HTTP and WebSocket server (Boost.Beast), on a thread of its own.
#include "engine/server.h"

#include "engine/access.h"
#include "engine/embedded.h"
#include "engine/engine.h"
#include "engine/internal.h"
#include "platform/text.h"

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <thread>

const verdal::EmbeddedFile* EngineWebFiles(std::size_t& count);

namespace verdal::engine {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

class WsSession;

struct Server {
    net::io_context ioc;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<net::signal_set> signals;
    std::unique_ptr<net::steady_timer> grace;
    std::thread thread;
    std::string token;
    std::uint16_t port = 0;
    unsigned graceMs = 5000;
    std::size_t sessionQueueLimit = std::size_t{64} << 20;
    // Connections, touched on the server thread only.
    std::map<std::uint64_t, std::weak_ptr<WsSession>> sessions;
    std::uint64_t nextSession = 1;
    std::atomic<int> open{0};
    std::atomic<bool> endWithBrowsers{true};
    bool running = false;
};

Server* server = nullptr;
std::function<void()> shutdownHandler;
std::function<void()> showHandler;

void DefaultShutdown();

void RunShutdown() {
    PostTask([] {
        if (shutdownHandler)
            shutdownHandler();
        else
            DefaultShutdown();
    });
}

std::string RandomToken() {
    std::random_device device;
    std::string token;
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i)
        token += kHex[device() & 0xF];
    return token;
}

const char* MimeType(std::string_view path) {
    auto ends = [&](std::string_view suffix) {
        return path.size() >= suffix.size() &&
               EqualsNoCase(path.substr(path.size() - suffix.size()), suffix);
    };
    if (ends(".html") || ends(".htm"))
        return "text/html; charset=utf-8";
    if (ends(".js"))
        return "text/javascript; charset=utf-8";
    if (ends(".css"))
        return "text/css; charset=utf-8";
    if (ends(".png"))
        return "image/png";
    if (ends(".svg"))
        return "image/svg+xml";
    if (ends(".gif"))
        return "image/gif";
    if (ends(".jpg") || ends(".jpeg"))
        return "image/jpeg";
    return "application/octet-stream";
}

const EmbeddedFile* WebFile(std::string_view name) {
    std::size_t count = 0;
    const EmbeddedFile* files = EngineWebFiles(count);
    for (std::size_t i = 0; i < count; ++i)
        if (name == files[i].name)
            return &files[i];
    return nullptr;
}

void StartGraceTimer();

class WsSession : public std::enable_shared_from_this<WsSession> {
public:
    WsSession(tcp::socket socket, std::uint64_t id) : ws_(std::move(socket)), id_(id) {}

    void Start(http::request<http::string_body> request) {
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(1 << 20);
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
            if (ec)
                return;
            server->sessions[self->id_] = self;
            ++server->open;
            if (server->grace)
                server->grace->cancel();
            const std::uint64_t id = self->id_;
            PostTask([id] { OnBrowserConnected(id); });
            self->Read();
        });
    }

    void Send(std::shared_ptr<const std::string> message) {
        if (dropped_)
            return;
        // A browser that stops reading would make the server keep every later update for it;
        // past the limit its connection is dropped instead (one message alone always goes).
        if (!queue_.empty() && queuedBytes_ + message->size() > server->sessionQueueLimit) {
            Drop();
            return;
        }
        queuedBytes_ += message->size();
        queue_.push_back(std::move(message));
        if (queue_.size() == 1)
            Write();
    }

    bool ready = false;

private:
    void Read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) {
                self->Closed();
                return;
            }
            auto text =
                std::make_shared<std::string>(beast::buffers_to_string(self->buffer_.data()));
            self->buffer_.consume(self->buffer_.size());
            PostTask([text] { OnBrowserMessage(*text); });
            self->Read();
        });
    }

    void Write() {
        ws_.text(true);
        ws_.async_write(net::buffer(*queue_.front()),
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

    // Closes the connection at once, without the closing handshake, which would only queue
    // behind the updates the browser does not read. The message being written stays until its
    // write has ended; the others go now.
    void Drop() {
        dropped_ = true;
        queue_.erase(queue_.begin() + 1, queue_.end());
        queuedBytes_ = queue_.front()->size();
        beast::get_lowest_layer(ws_).close();
        Closed();
    }

    void Closed() {
        if (closed_)
            return;
        closed_ = true;
        server->sessions.erase(id_);
        if (--server->open == 0)
            StartGraceTimer();
    }

    websocket::stream<beast::tcp_stream> ws_;
    std::uint64_t id_;
    beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queuedBytes_ = 0; // the bytes of the messages in queue_
    bool dropped_ = false;
    bool closed_ = false;
};

void StartGraceTimer() {
    if (!server || !server->grace || !server->endWithBrowsers)
        return;
    server->grace->expires_after(std::chrono::milliseconds(server->graceMs));
    server->grace->async_wait([](beast::error_code ec) {
        if (!ec && server && server->open == 0 && server->endWithBrowsers)
            RunShutdown();
    });
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    explicit HttpSession(tcp::socket socket) : stream_(std::move(socket)) {}

    void Start() { Read(); }

private:
    void Read() {
        parser_.emplace();
        parser_->body_limit(64 * 1024);
        stream_.expires_after(std::chrono::seconds(30));
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             if (ec)
                                 return;
                             self->Handle(self->parser_->release());
                         });
    }

    void Handle(http::request<http::string_body> request) {
        const auto text = [](beast::string_view view) {
            return std::string_view(view.data(), view.size());
        };
        const auto origin = request.find(http::field::origin);
        const AccessDecision access =
            DecideAccess({.target = text(request.target()),
                          .host = text(request[http::field::host]),
                          .origin = origin == request.end()
                                        ? std::nullopt
                                        : std::optional<std::string_view>(text(origin->value())),
                          .cookies = text(request[http::field::cookie]),
                          .upgrade = websocket::is_upgrade(request)},
                         server->port, server->token);
        if (!access.allowed)
            return Reply(request, http::status::forbidden, "forbidden\n", "text/plain");
        if (websocket::is_upgrade(request)) {
            const std::uint64_t id = server->nextSession++;
            std::make_shared<WsSession>(stream_.release_socket(), id)->Start(std::move(request));
            return;
        }
        if (request.method() != http::verb::get && request.method() != http::verb::head)
            return Reply(request, http::status::method_not_allowed, "method not allowed\n",
                         "text/plain");

        const Route route = RouteOf(text(request.target()));
        const EmbeddedFile* file = route.kind == Route::Kind::File ? WebFile(route.file) : nullptr;
        if (file)
            return Reply(request, http::status::ok,
                         std::string(reinterpret_cast<const char*>(file->data), file->size),
                         MimeType(file->name), access.tokenGiven);
        if (route.kind == Route::Kind::Data) {
            const HWND view = route.view;
            const std::string uri = route.uri;
            auto self = shared_from_this();
            auto shared = std::make_shared<http::request<http::string_body>>(std::move(request));
            PostTask([self, shared, view, uri] {
                auto data = std::make_shared<std::string>();
                const bool found = RequestData(view, Utf8ToUtf16(uri), *data);
                net::post(server->ioc, [self, shared, data, found, uri] {
                    if (!found)
                        return self->Reply(*shared, http::status::not_found, "not found\n",
                                           "text/plain");
                    self->Reply(*shared, http::status::ok, std::move(*data), MimeType(uri));
                });
            });
            return;
        }
        Reply(request, http::status::not_found, "not found\n", "text/plain");
    }

    void Reply(const http::request<http::string_body>& request, http::status status,
               std::string body, const char* type, bool setCookie = false) {
        auto response =
            std::make_shared<http::response<http::string_body>>(status, request.version());
        response->set(http::field::server, "verdal");
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        if (setCookie)
            response->set(http::field::set_cookie, CookieName(server->port) + "=" + server->token +
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
                                  self->stream_.socket().shutdown(tcp::socket::shutdown_send,
                                                                  ignored);
                                  return;
                              }
                              self->Read();
                          });
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

void Accept() {
    server->acceptor->async_accept([](beast::error_code ec, tcp::socket socket) {
        if (!server || !server->running)
            return;
        if (!ec) {
            // Patches are small and must not wait for the acknowledgement of the last one.
            beast::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            std::make_shared<HttpSession>(std::move(socket))->Start();
        }
        Accept();
    });
}

void WaitForSignal() {
    server->signals->async_wait([](beast::error_code code, int number) {
        if (code)
            return;
        if (number != SIGUSR1) {
            RunShutdown();
            return;
        }
        PostTask([] {
            if (showHandler)
                showHandler();
        });
        WaitForSignal();
    });
}

void DefaultShutdown() {
    if (const HWND main = FirstWindowView())
        DestroyWindow(main);
    else
        PostQuitMessage(0);
}

} // namespace

void BroadcastToBrowsers(std::string message) {
    if (!server)
        return;
    auto shared = std::make_shared<const std::string>(std::move(message));
    net::post(server->ioc, [shared] {
        for (auto& [id, weak] : server->sessions)
            if (auto session = weak.lock(); session && session->ready)
                session->Send(shared);
    });
}

void SendToBrowser(std::uint64_t id, std::string message) {
    if (!server)
        return;
    auto shared = std::make_shared<const std::string>(std::move(message));
    net::post(server->ioc, [shared, id] {
        auto it = server->sessions.find(id);
        if (it == server->sessions.end())
            return;
        if (auto session = it->second.lock()) {
            session->ready = true;
            session->Send(shared);
        }
    });
}

bool HasBrowsers() {
    return server && server->open > 0;
}

bool StartServer(const ServerOptions& options, std::string& error) {
    if (server) {
        error = "the server is running already";
        return false;
    }
    StartEngine();
    const std::size_t colon = options.listen.rfind(':');
    if (colon == std::string::npos) {
        error = "listen address must be 127.0.0.1:PORT";
        return false;
    }
    beast::error_code ec;
    const auto address = net::ip::make_address(options.listen.substr(0, colon), ec);
    if (ec || !address.is_loopback()) {
        error = "listen address must be a loopback address: " + options.listen;
        return false;
    }
    const int port = std::atoi(options.listen.substr(colon + 1).c_str());
    if (port < 0 || port > 65535) {
        error = "bad port in " + options.listen;
        return false;
    }
    auto created = std::make_unique<Server>();
    created->acceptor = std::make_unique<tcp::acceptor>(created->ioc);
    const tcp::endpoint endpoint(address, static_cast<std::uint16_t>(port));
    created->acceptor->open(endpoint.protocol(), ec);
    if (!ec)
        created->acceptor->set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        created->acceptor->bind(endpoint, ec);
    if (!ec)
        created->acceptor->listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + options.listen + ": " + ec.message();
        return false;
    }
    created->port = created->acceptor->local_endpoint().port();
    created->token = RandomToken();
    created->graceMs = options.gracePeriodMs;
    created->sessionQueueLimit = options.sessionQueueLimitBytes;
    created->grace = std::make_unique<net::steady_timer>(created->ioc);
    created->running = true;
    server = created.release();
    if (options.handleSignals) {
        server->signals = std::make_unique<net::signal_set>(server->ioc, SIGINT, SIGTERM, SIGUSR1);
        WaitForSignal();
    }
    Accept();
    server->thread = std::thread([] { server->ioc.run(); });
    return true;
}

void StopServer() {
    if (!server)
        return;
    net::post(server->ioc, [] {
        server->running = false;
        beast::error_code ignored;
        server->acceptor->close(ignored);
        if (server->signals)
            server->signals->cancel(ignored);
        server->grace->cancel();
        server->ioc.stop();
    });
    server->thread.join();
    server->sessions.clear();
    // Handlers still queued die with the context; the object goes with them.
    delete server;
    server = nullptr;
}

std::string StartAddress() {
    if (!server)
        return {};
    return "http://127.0.0.1:" + std::to_string(server->port) + "/?token=" + server->token;
}

std::uint16_t ServerPort() {
    return server ? server->port : 0;
}
std::string ServerToken() {
    return server ? server->token : std::string();
}

void SetShutdownHandler(std::function<void()> handler) {
    shutdownHandler = std::move(handler);
}

void RequestShutdown() {
    RunShutdown();
}

void SetEndWithBrowsers(bool end) {
    if (server)
        server->endWithBrowsers = end;
}

void SetShowHandler(std::function<void()> handler) {
    showHandler = std::move(handler);
}

} // namespace verdal::engine
