// The serial link: opening, the receive loop, writing and closing.
#include "device/serial.h"

#include "platform/event.h"

#include <exception>
#include <filesystem>
#include <iostream>

namespace verdal {

struct Serial::Link {
    SerialPort port;
    ManualResetEvent stop;
    std::stop_source lost;
};

Serial& Serial::Instance() {
    static Serial serial;
    return serial;
}

Serial::Serial() : receiver_(IdleReceiver()) {}

Serial::Receiver Serial::IdleReceiver() {
    return [this](const std::uint8_t* bytes, std::uint32_t count) { Discard(bytes, count); };
}

Serial::~Serial() {
    Close();
    JoinReceiveThread();
}

void Serial::Discard(const std::uint8_t*, std::uint32_t) {}

std::string Serial::LastOpenError() const {
    std::lock_guard lock(errorLock_);
    return openError_;
}

OpenRefusal Serial::LastOpenRefusal() const {
    std::lock_guard lock(errorLock_);
    return openRefusal_;
}

std::string Serial::PortName() const {
    std::lock_guard lock(errorLock_);
    return portName_;
}

int Serial::Open(const std::string& portName, std::uint32_t baudRate) {
    std::lock_guard life(lifeLock_);
    if (open_.load()) {
        open_ = 0;
        std::lock_guard write(writeLock_);
        if (link_) {
            link_->stop.Set();
            link_->port.Wake();
        }
    }
    JoinReceiveThread(); // a thread stopped from inside itself may still be finishing
    auto link = std::make_shared<Link>();
    if (!link->port.Open(portName, baudRate)) {
        std::lock_guard lock(errorLock_);
        openError_ = link->port.Error();
        openRefusal_ = link->port.Refusal();
        return 0;
    }
    {
        std::lock_guard receive(receiveLock_);
        receiver_ = IdleReceiver();
        readSize_ = kBufferSize;
    }
    {
        std::lock_guard write(writeLock_);
        link_ = link;
        loss_ = link->lost;
    }
    {
        std::lock_guard lock(errorLock_);
        portName_ = portName;
    }
    open_ = 1;
    thread_ = std::thread([this, link] { ReceiveLoop(link); });
    return 1;
}

void Serial::ReceiveLoop(std::shared_ptr<Link> link) {
    receiveThreadId_ = std::this_thread::get_id();
    std::uint8_t buffer[kBufferSize];
    bool gone = false;
    do {
        std::lock_guard receive(receiveLock_);
        const std::size_t count = link->port.Read(buffer, readSize_);
        gone = link->port.Gone();
        try {
            receiver_(buffer, static_cast<std::uint32_t>(count));
        } catch (const std::exception& error) {
            // A receiver that fails leaves the device in an unknown state: the link is marked
            // closed so that the next operation probes the ports again.
            std::cerr << "verdal: serial receiver failed: " << error.what() << "\n";
            open_ = 0;
            break;
        } catch (...) {
            std::cerr << "verdal: serial receiver failed\n";
            open_ = 0;
            break;
        }
        if (gone) {
            // Counted before the link shows closed: whoever sees it closed sees the loss too.
            // A writer that found the port gone first has counted it, and said so.
            gone = CountLoss(*link);
            open_ = 0;
            break;
        }
    } while (!link->stop.Wait(1));
    {
        std::lock_guard write(writeLock_);
        link->port.Close();
        if (link_ == link)
            link_.reset();
    }
    if (gone) {
        std::function<void()> lost;
        {
            std::lock_guard lock(lostLock_);
            lost = lost_;
        }
        if (lost)
            lost();
    }
}

bool Serial::CountLoss(Link& link) {
    if (!link.lost.request_stop())
        return false;
    ++losses_;
    return true;
}

void Serial::CloseAsLost() {
    {
        std::lock_guard write(writeLock_);
        if (!open_.load() || !link_)
            return;
        CountLoss(*link_);
    }
    Close();
}

std::stop_token Serial::LossToken() const {
    std::lock_guard write(writeLock_);
    return loss_.get_token();
}

void Serial::SetLostHandler(std::function<void()> handler) {
    std::lock_guard lock(lostLock_);
    lost_ = std::move(handler);
}

int Serial::Write(const void* bytes, std::uint32_t length) {
    std::size_t written = 0;
    {
        std::lock_guard write(writeLock_);
        if (link_) {
            written = link_->port.Write(static_cast<const std::uint8_t*>(bytes), length);
            std::error_code error;
            if (written == 0 && length > 0 && !std::filesystem::exists(PortName(), error))
                CountLoss(*link_);
        }
    }
    if (written == 0 && length > 0)
        Close();
    return 1;
}

void Serial::Close() {
    if (open_.exchange(0)) {
        std::lock_guard write(writeLock_);
        if (link_) {
            link_->stop.Set();
            link_->port.Wake();
        }
    }
    if (std::this_thread::get_id() != receiveThreadId_.load()) {
        std::lock_guard life(lifeLock_);
        JoinReceiveThread();
    }
}

void Serial::JoinReceiveThread() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        {
            std::lock_guard write(writeLock_);
            if (link_) {
                link_->stop.Set();
                link_->port.Wake();
            }
        }
        thread_.join();
        receiveThreadId_ = std::thread::id();
    }
}

void Serial::SetReceiver(Receiver receiver, std::uint32_t readSize) {
    if (readSize == 0 || readSize > kBufferSize)
        readSize = kBufferSize;
    std::lock_guard receive(receiveLock_);
    receiver_ = std::move(receiver);
    readSize_ = readSize;
}

void Serial::SetIdleReceiver() {
    SetReceiver(IdleReceiver(), kBufferSize);
}

} // namespace verdal
