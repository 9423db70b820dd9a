// The delaying relay: each direction of a connection is a queue of time-stamped chunks, filled
// by a reader and drained by a writer that waits until each chunk is due.
#include "delay_relay.h"

#include <algorithm>
#include <arpa/inet.h>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace verdal::bench {

using Clock = std::chrono::steady_clock;

struct DelayRelay::Direction {
    struct Chunk {
        Clock::time_point due;
        std::string bytes; // empty: the sender closed its side
    };
    int from = -1;
    int to = -1;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Chunk> chunks;
    bool stop = false;

    void Read(std::chrono::milliseconds delay) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
            std::lock_guard lock(mutex);
            chunks.push_back(
                {Clock::now() + delay, n > 0 ? std::string(buffer, n) : std::string()});
            changed.notify_all();
            if (n <= 0)
                return;
        }
    }

    void Write() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || !chunks.empty(); });
                if (stop)
                    return;
                const Clock::time_point due = chunks.front().due;
                if (changed.wait_until(lock, due, [&] { return stop; }))
                    return;
                chunk = std::move(chunks.front());
                chunks.pop_front();
            }
            if (chunk.bytes.empty()) {
                ::shutdown(to, SHUT_WR);
                return;
            }
            for (std::size_t done = 0; done < chunk.bytes.size();) {
                const ssize_t n =
                    ::send(to, chunk.bytes.data() + done, chunk.bytes.size() - done, MSG_NOSIGNAL);
                if (n <= 0) {
                    ::shutdown(from, SHUT_RD);
                    return;
                }
                done += static_cast<std::size_t>(n);
            }
        }
    }

    void Stop() {
        std::lock_guard lock(mutex);
        stop = true;
        changed.notify_all();
    }
};

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

DelayRelay::DelayRelay(int targetPort, std::chrono::milliseconds delay)
    : targetPort_(targetPort), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 128) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("delay relay");
        std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

DelayRelay::~DelayRelay() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    std::vector<std::thread> relays;
    {
        std::lock_guard lock(mutex_);
        for (const auto& direction : directions_) {
            direction->Stop();
            ::shutdown(direction->from, SHUT_RDWR);
        }
        relays.swap(relays_);
    }
    for (std::thread& relay : relays)
        relay.join();
}

int DelayRelay::PeakConnections() {
    std::lock_guard lock(mutex_);
    return peakRunning_;
}

void DelayRelay::Accept() {
    while (!stopping_) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (stopping_)
                return;
            continue;
        }
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(targetPort_);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(client);
            if (server >= 0)
                ::close(server);
            continue;
        }
        ++connections_;
        std::lock_guard lock(mutex_);
        peakRunning_ = std::max(peakRunning_, ++running_);
        relays_.emplace_back([this, client, server] { Relay(client, server); });
    }
}

void DelayRelay::Relay(int client, int server) {
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto up = std::make_shared<Direction>();
    up->from = client;
    up->to = server;
    auto down = std::make_shared<Direction>();
    down->from = server;
    down->to = client;
    {
        std::lock_guard lock(mutex_);
        directions_.push_back(up);
        directions_.push_back(down);
    }
    if (stopping_) {
        up->Stop();
        down->Stop();
    }
    std::thread workers[] = {
        std::thread([&] { up->Read(delay_); }),
        std::thread([&] { up->Write(); }),
        std::thread([&] { down->Read(delay_); }),
    };
    down->Write();
    // A writer that ended early leaves its reader waiting for bytes nobody will forward.
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(server, SHUT_RDWR);
    up->Stop();
    for (std::thread& worker : workers)
        worker.join();
    ::close(client);
    ::close(server);
    std::lock_guard lock(mutex_);
    std::erase(directions_, up);
    std::erase(directions_, down);
    --running_;
}

} // namespace verdal::bench
