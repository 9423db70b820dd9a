// A TCP relay on loopback that holds every byte back for a fixed time in each direction, so
// that a loopback server can be reached as if it stood across a slow network.
//
// Threads: the relay accepts on a thread of its own and runs two threads per direction of each
// connection (one reads, one writes once the bytes are due); a connection's threads end when
// both of its sides have closed, and the destructor ends and waits for all of them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace verdal::bench {

class DelayRelay {
public:
    // Listens on a free port of 127.0.0.1 and forwards each connection to 127.0.0.1:targetPort,
    // delaying every byte by delay in each direction (a round trip costs twice the delay).
    DelayRelay(int targetPort, std::chrono::milliseconds delay);
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;
    // Closes every connection and joins every thread.
    ~DelayRelay();

    int Port() const { return port_; }
    // Forwards the connections accepted from now on to 127.0.0.1:targetPort (for a server that
    // must know the relay's port before it starts: make the relay with target 0, then set it).
    void SetTarget(int targetPort) { targetPort_ = targetPort; }
    // The connections accepted so far.
    int Connections() const { return connections_.load(); }
    // The most connections open at the same time so far.
    int PeakConnections();

private:
    struct Direction;

    void Accept();
    // Forwards one connection both ways until both sides have closed, then closes its sockets.
    void Relay(int client, int server);

    std::atomic<int> targetPort_;
    std::chrono::milliseconds delay_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_; // guards directions_, relays_, running_ and peakRunning_
    std::vector<std::shared_ptr<Direction>> directions_;
    int running_ = 0; // connections being relayed
    int peakRunning_ = 0;
    std::vector<std::thread> relays_; // one a connection, joined by the destructor
    std::thread acceptor_;
};

} // namespace verdal::bench
