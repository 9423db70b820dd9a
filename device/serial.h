// The serial link to the device: the one open port of the process, its receive thread and the
// receiver that the thread hands every read to.
//
// A device unplugged under the open link makes its port fail: the receive thread then closes the
// link and calls the lost handler, so that the program hears of it at once rather than at the
// next request that gets no reply.
//
// Threads. Instance, Open, Write, Close, SetReceiver, SetIdleReceiver and SetLostHandler may be
// called from any thread. The receive thread alone calls receivers, with the receive lock held; a
// receiver may call Write (and so Close) but must never call SetReceiver. The two locks are always
// taken in the order receive lock, then write lock.
#pragma once

#include "platform/serial_port.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace verdal {

class Serial {
public:
    // Takes the bytes of one read and their count (0 when nothing arrived in time). The bytes
    // are valid only during the call.
    using Receiver = std::function<void(const std::uint8_t* bytes, std::uint32_t count)>;

    // Size of the receive thread's buffer: no read asks for more.
    static constexpr std::uint32_t kBufferSize = 256;

    // The single Serial of the process, made on first use, closed at exit.
    static Serial& Instance();

    Serial();
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;
    ~Serial();

    // Opens the port (a device path such as /dev/ttyUSB0) at baudRate and starts the receive
    // thread with the idle receiver and read size 256. Answers 1 when the port is open, 0 when
    // it cannot be opened (the reason is in LastOpenError; nothing else changes). Opening while
    // open closes the previous port first.
    int Open(const std::string& portName, std::uint32_t baudRate);

    // Writes the bytes, waiting at most 10 ms a byte plus 1000 ms. When nothing could be
    // written the link is closed, as a lost one when its port has gone from its folder (the lost
    // handler is not called: the writer's request fails and says so). Always answers 1: a caller
    // learns of a failure when its request gets no reply.
    int Write(const void* bytes, std::uint32_t length);

    // Asks the receive thread to stop and clears the open flag. From any thread but the receive
    // thread it also waits until the thread has released the port. Does nothing when closed.
    void Close();

    // Installs a receiver and the number of bytes asked of each read (1 to 256). Returns once
    // the receive thread is between two cycles, so the previous receiver is never called again.
    void SetReceiver(Receiver receiver, std::uint32_t readSize);
    // SetReceiver with Discard and read size 256.
    void SetIdleReceiver();
    // The idle receiver: ignores what it is given.
    void Discard(const std::uint8_t* bytes, std::uint32_t count);

    // What runs once the port of the open link has failed (the device is gone), after the link
    // has closed. Called on the receive thread, without its locks; it must not wait for the link
    // (posting a message is what it is for). None by default.
    void SetLostHandler(std::function<void()> handler);

    // How many links have been lost: their port failed, a write found it gone, or CloseAsLost
    // closed them; each link counts once. Any thread.
    unsigned Losses() const { return losses_.load(); }
    // Closes the link as a lost one: its port has gone from its folder. The lost handler is not
    // called (the caller knows).
    void CloseAsLost();
    // A token whose stop is requested once the open link (when none is open, the link opened
    // last) is lost, for a worker that must end when the device goes, whatever it waits for.
    // Any thread.
    std::stop_token LossToken() const;

    // The open flag: true while the link is up. Any thread, without a lock.
    bool IsOpen() const { return open_.load(); }
    // Why the last Open answered 0, in the session's language, and what kind of refusal it was.
    std::string LastOpenError() const;
    OpenRefusal LastOpenRefusal() const;
    // The name of the port the last successful Open opened (empty before any). Any thread.
    std::string PortName() const;

private:
    struct Link; // one open port and the stop request of its receive thread

    void ReceiveLoop(std::shared_ptr<Link> link);
    void JoinReceiveThread();
    // Counts the link's loss, once; true the first time.
    bool CountLoss(Link& link);
    Receiver IdleReceiver();

    std::atomic<int> open_{0};
    std::atomic<unsigned> losses_{0};
    std::mutex lifeLock_;          // serialises Open and the joining in Close
    mutable std::mutex writeLock_; // serialises writes; guards link_
    std::mutex receiveLock_;       // held by the receive thread for each read-and-deliver cycle
    Receiver receiver_;
    std::uint32_t readSize_ = kBufferSize;
    std::shared_ptr<Link> link_;
    std::stop_source loss_; // the loss of the link opened last; guarded by writeLock_
    std::thread thread_;
    std::atomic<std::thread::id> receiveThreadId_{};
    std::mutex lostLock_; // guards lost_
    std::function<void()> lost_;
    mutable std::mutex errorLock_;
    std::string openError_;
    OpenRefusal openRefusal_ = OpenRefusal::None;
    std::string portName_; // guarded by errorLock_
};

} // namespace verdal
