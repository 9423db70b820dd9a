// The host on the control line, the adapters in /dev/serial/by-id, program runs, and verdal's
// page over a WebSocket of its own.
#include "tests/vm/guest_host.h"

#include "platform/child_process.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"
#include "tests/support/websocket_frames.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <stdexcept>

namespace verdal::vm {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Ask(const std::string& request) {
    static const int line = ::open("/dev/ttyS1", O_RDWR | O_NOCTTY | O_CLOEXEC);
    const std::string out = request + "\n";
    if (line < 0 || ::write(line, out.data(), out.size()) != static_cast<ssize_t>(out.size()))
        throw std::runtime_error("the host's line cannot be written");
    std::string answer;
    for (char c = 0; c != '\n' || answer.empty();) {
        pollfd in{line, POLLIN, 0};
        if (::poll(&in, 1, 60000) <= 0 || ::read(line, &c, 1) != 1)
            throw std::runtime_error("no answer from the host to " + request);
        if (c != '\n' && c != '\r')
            answer += c;
    }
    if (answer.rfind("ok", 0) != 0)
        throw std::runtime_error("the host answered " + request + ": " + answer);
    return answer;
}

// The by-id name of the adapter, when udev has made it.
std::string ByIdLink(const char* serial) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error))
        if (entry.path().filename().string().find(serial) != std::string::npos)
            return entry.path().string();
    return {};
}

} // namespace

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void host::Device(const std::string& options) {
    Ask("device " + options);
}
void host::Plug(const std::string& adapter) {
    Ask("plug " + adapter);
}
void host::Pull(const std::string& adapter) {
    Ask("pull " + adapter);
}
long host::OtherBytes() {
    return std::stol(Ask("bytes other").substr(3));
}

std::string AdapterPort(const char* serial) {
    std::string port;
    test::WaitUntil(
        [&] {
            std::error_code error;
            const std::string link = ByIdLink(serial);
            port = link.empty() ? "" : fs::canonical(link, error).string();
            return !port.empty() && !error;
        },
        60000);
    return port;
}

bool AdapterGone(const char* serial) {
    return test::WaitUntil([&] { return ByIdLink(serial).empty(); }, 60000);
}

bool Outcome::Says(const std::string& text) const {
    return Text().find(text) != std::string::npos;
}

std::string Outcome::Text() const {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

Outcome Shell(const std::string& command) {
    const auto start = Clock::now();
    ChildProcess process;
    std::string error;
    if (!process.Start("/bin/sh", {"-c", command + " 2>&1"}, {.captureOutput = true}, error))
        throw std::runtime_error(error);
    Outcome run;
    for (std::string line; process.ReadLine(line, 120000);)
        run.lines.push_back(line);
    run.exitCode = process.Wait();
    run.ms = MsSince(start);
    return run;
}

std::string Built(const std::string& name) {
    return test::BuiltProgram(name);
}

// ---- the page ----

Page::Page(const std::string& startAddress) {
    static const std::regex address(R"(http://127\.0\.0\.1:(\d+)/\?token=(\w+))");
    std::smatch match;
    if (!std::regex_search(startAddress, match, address))
        throw std::runtime_error("no start address in " + startAddress);
    const std::string port = match[1], token = match[2];
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(std::stoi(port)));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        throw std::runtime_error("verdal's page cannot be reached");
    const std::string host = "127.0.0.1:" + port;
    const std::string upgrade = "GET /ws?token=" + token + " HTTP/1.1\r\nHost: " + host +
                                "\r\nOrigin: http://" + host +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\n\r\n";
    ::send(fd_, upgrade.data(), upgrade.size(), MSG_NOSIGNAL);
    char buffer[4096];
    while (pending_.find("\r\n\r\n") == std::string::npos) {
        pollfd in{fd_, POLLIN, 0};
        const ssize_t n = ::poll(&in, 1, 30000) > 0 ? ::recv(fd_, buffer, sizeof buffer, 0) : 0;
        if (n <= 0)
            throw std::runtime_error("verdal's page refused the WebSocket");
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    pending_.erase(0, pending_.find("\r\n\r\n") + 4);
    if (!Take(30000) || !message_)
        throw std::runtime_error("verdal's page sent no state");
}

Page::~Page() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<std::string> Page::ReadMessage(int boundMs) {
    const auto start = Clock::now();
    const auto fill = [&](std::size_t count) {
        char buffer[65536];
        while (pending_.size() < count) {
            pollfd in{fd_, POLLIN, 0};
            const long long left = boundMs - MsSince(start);
            if (left <= 0 || ::poll(&in, 1, static_cast<int>(left)) <= 0)
                return false;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    };
    bool ended = false;
    return test::TakeWebSocketMessage(pending_, fill, ended);
}

void Page::Send(const std::string& text) {
    // A client's frames are masked; a zero mask leaves the bytes as they are.
    std::string frame = "\x81";
    if (text.size() < 126) {
        frame += static_cast<char>(0x80 | text.size());
    } else {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>(text.size() >> 8);
        frame += static_cast<char>(text.size() & 0xFF);
    }
    frame += std::string(4, '\0') + text;
    ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL);
}

bool Page::Take(int boundMs) {
    const std::optional<std::string> text = ReadMessage(boundMs);
    if (!text)
        return false;
    const json message = json::parse(*text, nullptr, false);
    if (!message.is_object() || !message.contains("ops"))
        return true;
    for (const json& op : message["ops"]) {
        const std::string o = op.value("o", "");
        if (o == "view" && op.value("kind", "") == "window") {
            window_ = op.value("hwnd", 0ull);
            static const std::regex tag(R"re(<[a-z]+ data-v="(\d+)"([^>]*)>)re");
            static const std::regex id(R"re( id="([^"]+)")re"), list(R"re( data-hwnd="(\d+)")re");
            const std::string html = op.value("html", "");
            for (auto it = std::sregex_iterator(html.begin(), html.end(), tag);
                 it != std::sregex_iterator(); ++it) {
                const std::string attributes = (*it)[2];
                std::smatch found;
                if (!std::regex_search(attributes, found, id))
                    continue;
                const unsigned uid = static_cast<unsigned>(std::stoul((*it)[1]));
                ids_.emplace_back(found[1], uid);
                if (found[1] == "message") {
                    // The status line as the page was when the browser came.
                    message_ = uid;
                    const std::size_t text = it->position() + it->length();
                    shown_.push_back(html.substr(text, html.find('<', text) - text));
                }
                if (found[1] == "6000" && std::regex_search(attributes, found, list))
                    deviceList_ = std::stoull(found[1]);
            }
        } else if (o == "inner" && op.value("id", 0u) == message_) {
            shown_.push_back(op.value("html", ""));
        } else if (o == "menu") {
            menuToken_ = op.value("token", 0ull);
        }
    }
    return true;
}

long long Page::Until(const std::string& text, int boundMs) {
    const auto start = Clock::now();
    for (;;) {
        for (; next_ < shown_.size(); ++next_)
            if (shown_[next_] == text) {
                ++next_;
                return MsSince(start);
            }
        const long long left = boundMs - MsSince(start);
        if (left <= 0 || !Take(static_cast<int>(left)))
            return -1;
    }
}

bool Page::Never(const std::string& text, int ms) {
    const auto start = Clock::now();
    std::size_t seen = shown_.size();
    for (long long left = ms; left > 0; left = ms - MsSince(start)) {
        Take(static_cast<int>(left));
        for (; seen < shown_.size(); ++seen)
            if (shown_[seen] == text)
                return false;
    }
    return true;
}

void Page::Click(const std::string& id) {
    for (const auto& [name, uid] : ids_)
        if (name == id)
            Send(json{{"t", "click"}, {"hwnd", window_}, {"id", uid}, {"x", 1}, {"y", 1}}.dump());
}

void Page::DeviceMenu(unsigned command) {
    menuToken_ = 0;
    Send(json{{"t", "lvrclick"}, {"hwnd", deviceList_}, {"item", -1}, {"x", 20}, {"y", 20}}.dump());
    const auto start = Clock::now();
    while (!menuToken_ && MsSince(start) < 30000)
        Take(1000);
    Send(json{{"t", "menu"}, {"token", menuToken_}, {"cmd", command}}.dump());
}

} // namespace verdal::vm
