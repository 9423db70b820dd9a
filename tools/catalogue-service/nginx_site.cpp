// The nginx site: its files, its configuration and its access log.
#include "nginx_site.h"

#include "platform/file.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace verdal::catalogue {
namespace {

// A port nothing listens on at the moment.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

void Write(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

std::string NginxSite::Program() {
    std::string path = FindProgram("nginx");
    if (path.empty() && IsExecutable("/usr/sbin/nginx"))
        path = "/usr/sbin/nginx";
    return path;
}

NginxSite::NginxSite(const std::string& folder, const CatalogueGenerator& generator,
                     const NginxOptions& options)
    : folder_(folder), port_(FreePort()) {
    const std::string root = folder_ + "/root";
    const std::uint32_t latest = generator.LatestVersion();
    const std::string cat = "cat" + std::to_string(latest);
    Write(root + "/get_new_version.php", std::to_string(latest) + "," + Base() + "courses/" + cat);
    Write(root + "/courses/" + cat + "/" + cat + ".xml", generator.CatalogueXml(latest, Base()));
    for (const std::uint32_t version : generator.Versions())
        for (const GeneratedCourse& course :
             options.maps ? generator.Entries(version) : std::vector<GeneratedCourse>{}) {
            bool missing = false;
            for (const std::int32_t uid : options.missingMaps)
                missing = missing || uid == course.uid;
            if (!missing)
                Write(root + "/" + CatalogueGenerator::MapPath(course.uid, version),
                      generator.CourseMap(course.uid, version));
        }
    std::filesystem::create_directories(folder_ + "/temp");
    std::ostringstream conf;
    if (::geteuid() == 0)
        conf << "user root;\n";
    conf << "worker_processes 1;\n"
            "pid "
         << folder_ << "/nginx.pid;\n"
         << "error_log " << folder_ << "/error.log;\n"
         << "events { worker_connections 256; }\n"
            "http {\n"
            "  types { application/xml xml; application/octet-stream gof; text/plain php; }\n"
            "  default_type application/octet-stream;\n"
            "  log_format site '$status $body_bytes_sent $uri';\n"
            "  access_log "
         << folder_ << "/access.log site;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        conf << "  " << temp << "_temp_path " << folder_ << "/temp/" << temp << ";\n";
    conf << "  keepalive_requests " << options.keepaliveRequests << ";\n";
    if (options.gzip)
        conf << "  gzip on;\n  gzip_types application/xml;\n  gzip_comp_level 6;\n";
    if (options.mapsPerSecond > 0)
        conf << "  limit_req_zone $binary_remote_addr zone=maps:1m rate=" << options.mapsPerSecond
             << "r/s;\n";
    conf << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << root << ";\n";
    if (options.mapsPerSecond > 0)
        conf << "    location /gof/ { limit_req zone=maps; }\n";
    conf << "  }\n}\n";
    Write(folder_ + "/nginx.conf", conf.str());
}

NginxSite::~NginxSite() {
    nginx_.Stop();
}

bool NginxSite::Start(std::string& error) {
    if (!nginx_.Start(Program(),
                      {"-p", folder_, "-c", folder_ + "/nginx.conf", "-e", folder_ + "/error.log",
                       "-g", "daemon off;"},
                      StartOptions{false, true, true}, error))
        return false;
    for (int i = 0; i < 250; ++i) {
        if (Accepts(port_))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream log(folder_ + "/error.log");
    std::ostringstream text;
    text << log.rdbuf();
    error = "nginx does not listen: " + text.str();
    return false;
}

std::string NginxSite::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

long NginxSite::Requests(const std::string& prefix, int status) const {
    std::ifstream log(folder_ + "/access.log");
    long count = 0;
    int code = 0;
    std::uint64_t bytes = 0;
    std::string uri;
    while (log >> code >> bytes >> uri)
        count += uri.rfind(prefix, 0) == 0 && (status == 0 || code == status);
    return count;
}

std::uint64_t NginxSite::BytesSent(const std::string& prefix) const {
    std::ifstream log(folder_ + "/access.log");
    std::uint64_t total = 0, bytes = 0;
    int code = 0;
    std::string uri;
    while (log >> code >> bytes >> uri)
        if (uri.rfind(prefix, 0) == 0)
            total += bytes;
    return total;
}

} // namespace verdal::catalogue
