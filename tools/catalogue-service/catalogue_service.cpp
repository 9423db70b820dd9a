// verdal-catalogue-service: a loopback HTTP server that stands in for the vendor's web service.
// It answers the version request and serves the catalogue file and the course maps of the
// deterministic catalogue, and misbehaves on request so that every failure road can be tried.
//
//   verdal-catalogue-service [--listen 127.0.0.1:PORT] [--courses N] [--versions LIST]
//                            [--fault FAULT]...
//
// Faults (FAULT): 404:TARGET answers a 404 page; nohttp answers the version request without
// "http://"; blanks puts blanks into the version reply; short:UID and long:UID make that
// course's map 7263 or 7265 bytes; stall:TARGET sends half the body, then nothing more;
// cut:TARGET sends half the body, then closes the connection; delay:TARGET answers after 500 ms;
// empty:TARGET answers with an empty body; markup:UID puts HTML markup into that course's name,
// region and address. TARGET is version, catalogue, map (every map) or map:UID. GET /_stats answers
// how many requests of each kind were served, and the bytes of the serial number that the last
// version request's "sn" carried, decoded, in hexadecimal ("sn-hex").
//
// Paths are matched after their %XX escapes are decoded.
// Connections are kept alive as long as the client wishes.
#include "catalogue_generator.h"
#include "platform/text.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

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

namespace verdal::catalogue {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

enum class Kind { Version, Catalogue, Map, Other };

enum class Misbehaviour { None, NotFound, Stall, Cut, Delay, Empty };

// How long a delayed answer waits.
constexpr std::chrono::milliseconds kDelay{500};

struct Faults {
    // targets: "version", "catalogue", "map", "map:7"
    std::set<std::string> notFound, stall, cut, delay, empty;
    std::set<std::int32_t> shortMaps, longMaps, markedUp;
    bool noHttp = false;
    bool blanks = false;

    Misbehaviour For(const std::string& target, const std::string& specific) const {
        auto has = [&](const std::set<std::string>& set) {
            return set.count(target) || (!specific.empty() && set.count(specific));
        };
        if (has(notFound))
            return Misbehaviour::NotFound;
        if (has(stall))
            return Misbehaviour::Stall;
        if (has(cut))
            return Misbehaviour::Cut;
        if (has(delay))
            return Misbehaviour::Delay;
        if (has(empty))
            return Misbehaviour::Empty;
        return Misbehaviour::None;
    }
};

struct Service {
    CatalogueGenerator generator;
    Faults faults;
    unsigned short port = 0;
    std::mutex cacheMutex;
    std::map<std::uint32_t, std::shared_ptr<const std::string>> catalogues;
    std::atomic<long> served[4] = {};
    // The serial number of the last version request, decoded from its query.
    std::mutex serialMutex;
    std::string lastSerial;

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

    std::shared_ptr<const std::string> Catalogue(std::uint32_t version) {
        std::lock_guard lock(cacheMutex);
        auto& entry = catalogues[version];
        if (!entry)
            entry = std::make_shared<const std::string>(generator.CatalogueXml(version, Base()));
        return entry;
    }
};

struct Reply {
    Kind kind = Kind::Other;
    http::status status = http::status::ok;
    std::string contentType = "text/plain";
    std::shared_ptr<const std::string> body;
    Misbehaviour misbehaviour = Misbehaviour::None;
};

std::optional<std::uint32_t> Number(std::string_view text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

Reply NotFound() {
    Reply reply;
    reply.status = http::status::not_found;
    reply.contentType = "text/html";
    reply.body =
        std::make_shared<const std::string>("<html><head><title>404 Not Found</title></head>"
                                            "<body><h1>Not Found</h1></body></html>\n");
    return reply;
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
                           "127.0.0.1:" + std::to_string(service.port) + "/courses/cat" + version;
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
        reply.body = service.Catalogue(*version);
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
    service.served[kindIndex]++;
    reply.misbehaviour = service.faults.For(kindNames[kindIndex], specific);
    if (reply.misbehaviour == Misbehaviour::NotFound) {
        Reply page = NotFound();
        page.kind = reply.kind;
        return page;
    }
    return reply;
}

// Sends the head with the full length, then half the body; answers false when writing failed.
bool SendHalf(tcp::socket& socket, const Reply& reply, unsigned version) {
    http::response<http::empty_body> head{reply.status, version};
    head.set(http::field::content_type, reply.contentType);
    head.content_length(reply.body->size());
    http::response_serializer<http::empty_body> serializer{head};
    beast::error_code error;
    http::write_header(socket, serializer, error);
    if (error)
        return false;
    asio::write(socket, asio::buffer(reply.body->data(), reply.body->size() / 2), error);
    return !error;
}

// Answers one request; false when the connection is to end (it was cut, it stalled until the
// client gave up, or writing failed).
bool Answer(Service& service, tcp::socket& socket,
            const http::request<http::string_body>& request) {
    beast::error_code error;
    const Reply reply = Route(service, std::string(request.target()));
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
    if (reply.misbehaviour == Misbehaviour::Delay)
        std::this_thread::sleep_for(kDelay);
    http::response<http::string_body> response{reply.status, request.version()};
    response.set(http::field::server, "verdal-catalogue-service");
    response.set(http::field::content_type, reply.contentType);
    if (reply.misbehaviour != Misbehaviour::Empty)
        response.body() = *reply.body;
    response.keep_alive(request.keep_alive());
    response.prepare_payload();
    http::write(socket, response, error);
    return !error && request.keep_alive();
}

// Serves the requests of one connection until the client closes it or asks to close it.
void Session(Service& service, tcp::socket socket) {
    beast::flat_buffer buffer;
    beast::error_code error;
    socket.set_option(tcp::no_delay(true), error);
    for (;;) {
        http::request<http::string_body> request;
        http::read(socket, buffer, request, error);
        if (error || !Answer(service, socket, request))
            break;
    }
    socket.shutdown(tcp::socket::shutdown_send, error);
}

bool AddFault(Faults& faults, const std::string& fault) {
    const auto colon = fault.find(':');
    const std::string kind = fault.substr(0, colon);
    const std::string target = colon == std::string::npos ? "" : fault.substr(colon + 1);
    auto validTarget = [&] {
        return target == "version" || target == "catalogue" || target == "map" ||
               (target.rfind("map:", 0) == 0 && Number(target.substr(4)));
    };
    if (fault == "nohttp")
        faults.noHttp = true;
    else if (fault == "blanks")
        faults.blanks = true;
    else if ((kind == "short" || kind == "long") && Number(target))
        (kind == "short" ? faults.shortMaps : faults.longMaps)
            .insert(static_cast<std::int32_t>(*Number(target)));
    else if (kind == "markup" && Number(target))
        faults.markedUp.insert(static_cast<std::int32_t>(*Number(target)));
    else if (kind == "404" && validTarget())
        faults.notFound.insert(target);
    else if (kind == "stall" && validTarget())
        faults.stall.insert(target);
    else if (kind == "cut" && validTarget())
        faults.cut.insert(target);
    else if (kind == "delay" && validTarget())
        faults.delay.insert(target);
    else if (kind == "empty" && validTarget())
        faults.empty.insert(target);
    else
        return false;
    return true;
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
           "  --help               show this text\n"
           "\n"
           "Faults: 404:T nohttp blanks short:UID long:UID stall:T cut:T delay:T empty:T\n"
           "markup:UID, where T is version, catalogue, map or map:UID (delay:T answers after\n"
           "500 ms; empty:T answers with an empty body; markup:UID puts HTML markup into that\n"
           "course's name, region and address).\n";
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
