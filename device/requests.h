// The device's command protocol: one request object per command exchange.
//
// Constructing a request sends it: the request installs itself as the serial receiver, writes
// its command and collects every byte that arrives. At the first delivery after its listening
// window has passed it looks for its reply marker, extracts what the reply carries and sets the
// caller's completion event, whatever the outcome. The caller waits on the event for the window
// plus 1000 ms (WaitMs) and then reads Succeeded and the result fields. Destroying a request puts
// the idle receiver back.
//
// Threads. A request is made, waited for and destroyed by one worker thread; OnReceive and
// Evaluate run on the serial receive thread. Result fields may be read once the event is set.
// Every final request class calls Release first thing in its destructor: the receive thread may
// be delivering to the request right then, and it must be stopped before any part of the object
// (its Evaluate, its result fields) is taken apart.
#pragma once

#include "platform/event.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace verdal {

// The commands of the device, one row each: the bytes written (the delete command is built
// around its name), how long the reply is collected and the marker that means success.
enum class Command {
    Connect,
    Exit,
    Capacity,
    SerialNumber,
    DeleteCourse,
    ClearCourses,
    ListCourses,
    SendCourseFile
};

struct CommandRow {
    Command command;
    std::string_view bytes;
    std::uint32_t windowMs;
    std::string_view marker;
};

inline constexpr CommandRow kCommandTable[] = {
    {Command::Connect, "$FCON\r", 500, "$OKCN"},
    {Command::Exit, "$EXIT\r", 500, "$EXCN"},
    {Command::Capacity, "$RDCS\r", 500, "$OKRD"},
    {Command::SerialNumber, "$RDSN\r", 500, "$OKRD"},
    {Command::DeleteCourse, "$CRDC ", 1000, "$OKDC"},
    {Command::ClearCourses, "$CRCA\r", 3000, "$OKCA"},
    {Command::ListCourses, "$CRLS\r", 3000, "$OKCN"},
    {Command::SendCourseFile, "$NCFS\r", 500, "$OKFS"},
};

const CommandRow& CommandOf(Command command);

// What a caller waits after sending: the listening window and one more second.
inline constexpr std::uint32_t kWaitBeyondWindowMs = 1000;
// The pause after every successful exchange before the next command.
inline constexpr std::uint32_t kPauseAfterReplyMs = 250;

class ReqBase {
public:
    static constexpr std::size_t kReplySize = 8192;
    static constexpr std::size_t kCommandSize = 64;

    ReqBase(const ReqBase&) = delete;
    ReqBase& operator=(const ReqBase&) = delete;
    virtual ~ReqBase();

    // The receiver: keeps the delivery when it fits the reply buffer (else drops it whole),
    // then evaluates once the listening window has passed; deliveries after that are dropped,
    // so the reply stays as it was judged. Receive thread.
    void OnReceive(const std::uint8_t* bytes, std::uint32_t count);
    // The same with the clock passed in: nowMs is the tick count (GetTickCount's) at which the
    // bytes arrived, so that a reply can be judged without waiting for its window.
    void OnReceiveAt(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t nowMs);
    // The tick count at which the command went out.
    std::uint32_t StartTime() const { return startTime_; }
    // The listening window in milliseconds.
    std::uint32_t WindowMs() const { return windowMs_; }
    // True once the reply has been judged.
    bool Evaluated() const { return evaluated_; }
    // Tests the reply for the marker, extracts the result and sets the completion event.
    virtual void Evaluate() = 0;

    // The success flag: the marker was seen.
    bool Succeeded() const { return success_.load(); }
    // How long the caller waits for the event: window + 1000 ms.
    std::uint32_t WaitMs() const { return windowMs_ + kWaitBeyondWindowMs; }
    // Waits on the completion event for WaitMs, or until a stop is requested through stop; true
    // when it was set and the marker seen.
    bool WaitForReply(std::stop_token stop = {});

    std::uint32_t ReceivedCount() const { return receivedCount_; }
    const std::uint8_t* Reply() const { return reply_; }

protected:
    ReqBase(ManualResetEvent* completion, const CommandRow& row);

    // Installs OnReceive as the receiver (read size 256), writes the command buffer's first
    // length bytes, resets the completion event and starts the window. Called last by every
    // constructor, once the object is whole.
    void Send(std::size_t length);
    // The common part of Evaluate: the marker must stand before the first zero byte.
    bool MarkerFound() const;
    // Records the outcome and sets the completion event.
    void Complete(bool success);
    // Puts the idle receiver back, so that the receive thread never calls into this request
    // again; once is enough. Called by the destructor of every final request class, while the
    // object is still whole.
    void Release();

    const CommandRow& row_;
    std::uint32_t receivedCount_ = 0;
    std::uint8_t reply_[kReplySize + 1] = {}; // one zero byte more than is ever kept
    std::uint8_t command_[kCommandSize] = {};
    std::uint32_t startTime_ = 0;
    std::uint32_t windowMs_;
    ManualResetEvent* completion_;
    std::atomic<bool> success_{false};
    std::atomic<bool> started_{false};
    // A reply is judged once: later deliveries could otherwise turn a success the caller has
    // already seen into a failure (the extraction rewrites the buffer).
    bool evaluated_ = false;
    bool released_ = false;
};

class ConnectReq final : public ReqBase {
public:
    explicit ConnectReq(ManualResetEvent* completion);
    ~ConnectReq() override { Release(); }
    void Evaluate() override;
};

class ExitReq final : public ReqBase {
public:
    explicit ExitReq(ManualResetEvent* completion);
    ~ExitReq() override { Release(); }
    void Evaluate() override;
};

class CapacityReq final : public ReqBase {
public:
    explicit CapacityReq(ManualResetEvent* completion);
    ~CapacityReq() override { Release(); }
    void Evaluate() override;
    std::int32_t capacity = 20;
};

class SerialNumReq final : public ReqBase {
public:
    static constexpr std::size_t kSerialUnits = 32;
    explicit SerialNumReq(ManualResetEvent* completion);
    ~SerialNumReq() override { Release(); }
    void Evaluate() override;
    std::u16string serialNumber;
};

class DeleteCourseReq final : public ReqBase {
public:
    // nameBytes: the device form of the name, 17 bytes when it begins with "@", else 20.
    DeleteCourseReq(ManualResetEvent* completion, const std::vector<std::uint8_t>& nameBytes);
    ~DeleteCourseReq() override { Release(); }
    void Evaluate() override;
};

class ClearCoursesReq final : public ReqBase {
public:
    explicit ClearCoursesReq(ManualResetEvent* completion);
    ~ClearCoursesReq() override { Release(); }
    void Evaluate() override;
};

class ListCoursesReq final : public ReqBase {
public:
    explicit ListCoursesReq(ManualResetEvent* completion);
    ~ListCoursesReq() override { Release(); }
    void Evaluate() override;
    std::vector<std::u16string> courseNames;
};

// The extractions, on a reply buffer of kReplySize bytes followed by a zero byte.
// Capacity: each carriage return becomes a zero byte, and at each the capacity is the decimal
// number at the start of the buffer (0 when it starts otherwise); none leaves the preset.
std::int32_t ExtractCapacity(std::uint8_t* reply, std::int32_t preset);
// Serial number: the first bytes up to a carriage return or zero byte, at most 32, one unit each.
std::u16string ExtractSerialNumber(std::uint8_t* reply);
// Course list: from offset 6, entries of a length byte and that many name bytes, until a zero
// length or the end of the buffer; an entry running past the end is cut there.
std::vector<std::u16string> ExtractCourseNames(const std::uint8_t* reply);

} // namespace verdal
