// verdal-catalogue-service: a loopback HTTP server that stands in for the vendor's web service.
// It answers the version request and serves the catalogue file and the course maps of the
// deterministic catalogue, and misbehaves on request so that every failure road can be tried.
//
//   verdal-catalogue-service [--listen 127.0.0.1:PORT] [--courses N] [--versions LIST]
//                            [--fault FAULT]... [--advertise-port PORT] [--delay MS]
//
// It misbehaves as each --fault says (see service_faults.h). GET /_stats answers how many
// requests of each kind were served, how many of them were answered 304 ("not-modified"), and
// the bytes of the serial number that the last version request's "sn" carried, decoded, in
// hexadecimal ("sn-hex").
//
// The catalogue file carries an ETag and a Last-Modified; a request whose If-None-Match (or,
// without one, If-Modified-Since) names them is answered 304 without a body.
// Paths are matched after their %XX escapes are decoded.
// Connections are kept alive as long as the client wishes (see close-after).
#include "catalogue_generator.h"
#include "platform/text.h"
#include "service_faults.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

namespace verdal::catalogue {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

enum class Kind { Version, Catalogue, Map, Other };

// When every catalogue file was last changed, as its Last-Modified says.
constexpr char kCatalogueDate[] = "Mon, 07 Dec 2026 00:00:00 GMT";

// The ETag of a body: a hash of its bytes.
std::string EntityTag(const std::string& body) {
    char tag[24];
    std::snprintf(tag, sizeof tag, "\"%016llx\"", static_cast<unsigned long long>(Fnv1a(body)));
    return tag;
}

struct Service {
    CatalogueGenerator generator;
    Faults faults;
    unsigned short port = 0;
    unsigned short advertised = 0; // the port its addresses name, when not its own
    std::mutex cacheMutex;
    // Each catalogue file with its ETag.
    std::map<std::uint32_t, std::pair<std::shared_ptr<const std::string>, std::string>> catalogues;
    std::atomic<long> served[4] = {};
    std::atomic<long> notModified{0};
    // The serial number of the last version request, decoded from its query.
    std::mutex serialMutex;
    std::string lastSerial;
    // The map requests of the current second, for limit:N.
    std::mutex limitMutex;
    std::chrono::steady_clock::time_point second{};
    long inSecond = 0;
    std::atomic<long> limited{0};

    // Whether a map request goes beyond the limit of its second.
    bool OverLimit() {
        if (faults.limit == 0)
            return false;
        std::lock_guard lock(limitMutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - second >= std::chrono::seconds(1)) {
            second = now;
            inSecond = 0;
        }
        return ++inSecond > faults.limit;
    }

    std::string Host() const {
        return "127.0.0.1:" + std::to_string(advertised ? advertised : port);
    }
    std::string Base() const { return "http://" + Host() + "/"; }

    std::pair<std::shared_ptr<const std::string>, std::string> Catalogue(std::uint32_t version) {
        std::lock_guard lock(cacheMutex);
        auto& entry = catalogues[version];
        if (!entry.first) {
            entry.first =
                std::make_shared<const std::string>(generator.CatalogueXml(version, Base()));
            entry.second = EntityTag(*entry.first);
        }
        return entry;
    }
};

struct Reply {
    Kind kind = Kind::Other;
    http::status status = http::status::ok;
    std::string contentType = "text/plain";
    std::shared_ptr<const std::string> body;
    std::string etag; // with Last-Modified, for the catalogue file
    Misbehaviour misbehaviour = Misbehaviour::None;
};

std::optional<std::uint32_t> Number(std::string_view text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// An error page: "404 Not Found" as its title, "Not Found" as its heading.
Reply ErrorPage(http::status status, const std::string& heading) {
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html";
    reply.body = std::make_shared<const std::string>(
        "<html><head><title>" + std::to_string(static_cast<unsigned>(status)) + " " + heading +
        "</title></head><body><h1>" + heading + "</h1></body></html>\n");
    return reply;
}

Reply NotFound() {
    return ErrorPage(http::status::not_found, "Not Found");
}

Reply MapReply(Service& service, std::optional<std::uint32_t> uid, std::uint32_t version,
               std::string& specific) {
    if (!uid || *uid == 0 || *uid > static_cast<std::uint32_t>(service.generator.CourseCount()))
        return NotFound();
    Reply reply;
    reply.kind = Kind::Map;
    reply.contentType = "application/octet-stream";
    const auto id = static_cast<std::int32_t>(*uid);
    std::string map = service.generator.CourseMap(id, version);
    if (service.faults.shortMaps.count(id))
        map.pop_back();
    if (service.faults.longMaps.count(id))
        map.push_back('\0');
    reply.body = std::make_shared<const std::string>(std::move(map));
    specific = "map:" + std::to_string(id);
    return reply;
}

// The decoded value of a query's "sn" (empty when it has none).
std::string SerialNumberOf(std::string_view query) {
    for (std::size_t start = 0; start <= query.size();) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        if (const std::string_view pair = query.substr(start, end - start);
            pair.rfind("sn=", 0) == 0) {
            std::string value;
            PercentDecode(pair.substr(3), value);
            return value;
        }
        start = end + 1;
    }
    return {};
}

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

Reply Route(Service& service, std::string target) {
    std::string query;
    if (auto mark = target.find('?'); mark != std::string::npos) {
        query = target.substr(mark + 1);
        target.resize(mark);
    }
    // A '%' that begins no escape stays as it is.
    std::string decoded;
    PercentDecode(target, decoded);
    target = std::move(decoded);
    Reply reply;
    std::string specific;
    if (target.size() >= 19 && target.compare(target.size() - 19, 19, "get_new_version.php") == 0) {
        reply.kind = Kind::Version;
        {
            std::lock_guard lock(service.serialMutex);
            service.lastSerial = SerialNumberOf(query);
        }
        const std::string version = std::to_string(service.generator.LatestVersion());
        std::string text = version + "," + (service.faults.noHttp ? "" : "http://") +
                           service.Host() + "/courses/cat" + version;
        if (service.faults.blanks)
            text = " " + version + " , " + text.substr(version.size() + 1) + " ";
        reply.body = std::make_shared<const std::string>(std::move(text));
    } else if (target.rfind("/courses/cat", 0) == 0) {
        // /courses/cat<v>/cat<v>.xml
        const std::string rest = target.substr(12);
        const auto slash = rest.find('/');
        const auto version = Number(rest.substr(0, slash));
        if (!version || slash == std::string::npos ||
            rest.substr(slash) != "/cat" + std::to_string(*version) + ".xml")
            return NotFound();
        reply.kind = Kind::Catalogue;
        reply.contentType = "application/xml";
        std::tie(reply.body, reply.etag) = service.Catalogue(*version);
    } else if (target.rfind("/gof/", 0) == 0) {
        // /gof/<uid>_<version>.gof
        const std::string rest = target.substr(5);
        const auto underscore = rest.find('_');
        const auto dot = rest.find(".gof");
        if (underscore == std::string::npos || dot == std::string::npos || dot + 4 != rest.size())
            return NotFound();
        const auto uid = Number(rest.substr(0, underscore));
        const auto version = Number(rest.substr(underscore + 1, dot - underscore - 1));
        if (!version)
            return NotFound();
        reply = MapReply(service, uid, *version, specific);
        if (reply.kind != Kind::Map)
            return reply;
    } else if (target == "/_stats") {
        std::string stats;
        const char* names[] = {"version", "catalogue", "map", "other"};
        for (int i = 0; i < 4; ++i)
            stats += std::string(names[i]) + " " + std::to_string(service.served[i].load()) + "\n";
        stats += "not-modified " + std::to_string(service.notModified.load()) + "\n";
        stats += "limited " + std::to_string(service.limited.load()) + "\n";
        {
            std::lock_guard lock(service.serialMutex);
            stats += "sn-hex " + Hex(service.lastSerial) + "\n";
        }
        reply.body = std::make_shared<const std::string>(std::move(stats));
        return reply; // not counted
    } else {
        reply = NotFound();
    }
    const char* kindNames[] = {"version", "catalogue", "map", "other"};
    const auto kindIndex = static_cast<int>(reply.kind);
    const long count = ++service.served[kindIndex];
    reply.misbehaviour =
        service.faults.For(kindNames[kindIndex], specific, reply.kind == Kind::Map ? count : 0);
    if (reply.kind == Kind::Map && reply.misbehaviour == Misbehaviour::None &&
        service.OverLimit()) {
        ++service.limited;
        reply.misbehaviour = Misbehaviour::Limited;
    }
    if (reply.misbehaviour == Misbehaviour::NotFound || reply.misbehaviour == Misbehaviour::Busy ||
        reply.misbehaviour == Misbehaviour::Limited || reply.misbehaviour == Misbehaviour::Page) {
        Reply page = reply.misbehaviour == Misbehaviour::NotFound ? NotFound()
                     : reply.misbehaviour == Misbehaviour::Page
                         ? ErrorPage(http::status::ok, "Internal Server Error")
                         : ErrorPage(http::status::service_unavailable, "Service Unavailable");
        page.kind = reply.kind;
        page.misbehaviour = reply.misbehaviour;
        return page;
    }
    return reply;
}

// Sends the head with the full length, then half the body (or the given bytes of it); answers
// false when writing failed.
bool SendHalf(tcp::socket& socket, const Reply& reply, unsigned version,
              std::size_t bytes = static_cast<std::size_t>(-1)) {
    http::response<http::empty_body> head{reply.status, version};
    head.set(http::field::content_type, reply.contentType);
    head.content_length(reply.body->size());
    http::response_serializer<http::empty_body> serializer{head};
    beast::error_code error;
    http::write_header(socket, serializer, error);
    if (error)
        return false;
    asio::write(socket, asio::buffer(reply.body->data(), std::min(bytes, reply.body->size() / 2)),
                error);
    return !error;
}

// Whether the request's If-None-Match (else its If-Modified-Since) names the reply's body.
bool Unchanged(const http::request<http::string_body>& request, const Reply& reply) {
    if (reply.etag.empty())
        return false;
    if (const auto match = request.find(http::field::if_none_match); match != request.end())
        return match->value() == reply.etag || match->value() == "*";
    const auto since = request.find(http::field::if_modified_since);
    return since != request.end() && since->value() == kCatalogueDate;
}

// Answers one request; false when the connection is to end (it was cut, it stalled until the
// client gave up, writing failed, or it was the last the connection may carry).
bool Answer(Service& service, tcp::socket& socket, const http::request<http::string_body>& request,
            bool last) {
    beast::error_code error;
    Reply reply = Route(service, std::string(request.target()));
    if (reply.misbehaviour == Misbehaviour::Cut) {
        SendHalf(socket, reply, request.version());
        socket.shutdown(tcp::socket::shutdown_both, error);
        return false;
    }
    if (reply.misbehaviour == Misbehaviour::Stall) {
        // Keep the connection open without a byte more until the client gives up.
        if (SendHalf(socket, reply, request.version())) {
            char sink[256];
            while (!error)
                socket.read_some(asio::buffer(sink), error);
        }
        return false;
    }
    if (reply.misbehaviour == Misbehaviour::Drip) {
        // The head with the whole length, then one byte a second while the client listens.
        if (SendHalf(socket, reply, request.version(), 0)) {
            for (std::size_t i = 0; i < reply.body->size() && !error; ++i) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                asio::write(socket, asio::buffer(reply.body->data() + i, 1), error);
            }
        }
        return false;
    }
    if (reply.misbehaviour == Misbehaviour::Delay)
        std::this_thread::sleep_for(std::chrono::milliseconds(service.faults.delayMs));
    const bool unchanged = reply.misbehaviour == Misbehaviour::None && Unchanged(request, reply);
    if (unchanged) {
        ++service.notModified;
        reply.status = http::status::not_modified;
    }
    http::response<http::string_body> response{reply.status, request.version()};
    response.set(http::field::server, "verdal-catalogue-service");
    response.set(http::field::content_type, reply.contentType);
    if (reply.misbehaviour == Misbehaviour::Busy)
        response.set(http::field::retry_after, "1");
    if (!reply.etag.empty()) {
        response.set(http::field::etag, reply.etag);
        response.set(http::field::last_modified, kCatalogueDate);
    }
    if (reply.misbehaviour != Misbehaviour::Empty && !unchanged)
        response.body() = *reply.body;
    const bool keepAlive = request.keep_alive() && !last;
    response.keep_alive(keepAlive);
    response.prepare_payload();
    http::write(socket, response, error);
    return !error && keepAlive;
}

// Serves the requests of one connection until the client closes it or asks to close it.
void Session(Service& service, tcp::socket socket) {
    beast::flat_buffer buffer;
    beast::error_code error;
    socket.set_option(tcp::no_delay(true), error);
    for (long answered = 1;; ++answered) {
        http::request<http::string_body> request;
        http::read(socket, buffer, request, error);
        const bool last = service.faults.closeAfter && answered >= service.faults.closeAfter;
        if (error || !Answer(service, socket, request, last))
            break;
    }
    socket.shutdown(tcp::socket::shutdown_send, error);
}

int Usage(std::ostream& out = std::cerr, int code = 2) {
    out << "Usage: verdal-catalogue-service [OPTION]...\n"
           "A sample golf course catalogue service on loopback; prints LISTENING and its port.\n"
           "\n"
           "Options:\n"
           "  --listen 127.0.0.1:PORT\n"
           "                       the address to listen on (default 127.0.0.1:8650; port 0\n"
           "                       picks a free one)\n"
           "  --courses N          generate N courses, 10 to 50000 (default 2000)\n"
           "  --versions LIST      the catalogue versions, like 25,26,27 (the default)\n"
           "  --fault FAULT        misbehave as FAULT says; may be repeated\n"
           "  --advertise-port P   name port P in the addresses it hands out (a relay's)\n"
           "  --delay MS           how long a delay:T answer waits (default 500)\n"
           "  --help               show this text\n"
           "\n"
        << kFaultsUsage;
    return code;
}

} // namespace
} // namespace verdal::catalogue

int main(int argc, char** argv) {
    using namespace verdal::catalogue;
    std::string listen = "127.0.0.1:8650";
    int courses = 2000;
    std::vector<std::uint32_t> versions = {25, 26, 27};
    Faults faults;
    unsigned short advertised = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help")
            return Usage(std::cout, 0);
        if (i + 1 >= argc)
            return Usage();
        const std::string value = argv[++i];
        if (arg == "--listen") {
            listen = value;
        } else if (arg == "--courses") {
            const auto n = Number(value);
            if (!n || *n < 10 || *n > 50000)
                return Usage();
            courses = static_cast<int>(*n);
        } else if (arg == "--versions") {
            versions.clear();
            std::stringstream list(value);
            for (std::string item; std::getline(list, item, ',');) {
                const auto n = Number(item);
                if (!n)
                    return Usage();
                versions.push_back(*n);
            }
            if (versions.empty())
                return Usage();
        } else if (arg == "--advertise-port") {
            const auto n = Number(value);
            if (!n || *n == 0 || *n > 65535)
                return Usage();
            advertised = static_cast<unsigned short>(*n);
        } else if (arg == "--delay") {
            const auto n = Number(value);
            if (!n || *n > 600000)
                return Usage();
            faults.delayMs = static_cast<long>(*n);
        } else if (arg == "--fault") {
            if (!AddFault(faults, value))
                return Usage();
        } else {
            return Usage();
        }
    }
    const auto colon = listen.rfind(':');
    const auto port = colon == std::string::npos ? std::nullopt : Number(listen.substr(colon + 1));
    if (!port || *port > 65535 || listen.substr(0, colon) != "127.0.0.1") {
        std::cerr << "verdal-catalogue-service: listens only on 127.0.0.1:PORT\n";
        return Usage();
    }
    try {
        asio::io_context io;
        tcp::acceptor acceptor(io);
        const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"),
                                     static_cast<unsigned short>(*port));
        acceptor.open(endpoint.protocol());
        acceptor.set_option(asio::socket_base::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(asio::socket_base::max_listen_connections);
        Service service{CatalogueGenerator(courses, versions), faults};
        service.generator.MarkUp(faults.markedUp);
        service.port = acceptor.local_endpoint().port();
        service.advertised = advertised;
        std::printf("LISTENING %u\n", static_cast<unsigned>(service.port));
        std::fflush(stdout);
        // One thread a connection, joined once its session has ended; the service itself runs
        // until a signal ends the process.
        struct Connection {
            std::atomic<bool> ended{false};
            std::jthread thread;
        };
        std::list<Connection> connections;
        for (;;) {
            tcp::socket socket(io);
            boost::system::error_code error;
            acceptor.accept(socket, error);
            connections.remove_if([](const Connection& c) { return c.ended.load(); });
            if (error)
                continue;
            Connection& connection = connections.emplace_back();
            connection.thread =
                std::jthread([&service, &connection, s = std::move(socket)]() mutable {
                    Session(service, std::move(s));
                    connection.ended = true;
                });
        }
    } catch (const std::exception& error) {
        std::cerr << "verdal-catalogue-service: " << error.what() << "\n";
        return 1;
    }
}
