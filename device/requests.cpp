// The request objects of the device's command protocol and the extraction of their replies.
#include "device/requests.h"

#include "device/course_name.h"
#include "device/serial.h"
#include "platform/trace.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace verdal {

const CommandRow& CommandOf(Command command) {
    for (const CommandRow& row : kCommandTable)
        if (row.command == command)
            return row;
    return kCommandTable[0];
}

ReqBase::ReqBase(ManualResetEvent* completion, const CommandRow& row)
    : row_(row), windowMs_(row.windowMs), completion_(completion) {}

ReqBase::~ReqBase() {
    assert(released_ && "a final request class must call Release in its destructor");
    Release();
}

void ReqBase::Release() {
    if (released_)
        return;
    released_ = true;
    Serial::Instance().SetIdleReceiver();
}

void ReqBase::Send(std::size_t length) {
    Serial& serial = Serial::Instance();
    // Listening starts before the command goes out, so no reply byte can be missed.
    serial.SetReceiver(
        [this](const std::uint8_t* bytes, std::uint32_t count) { OnReceive(bytes, count); },
        Serial::kBufferSize);
    serial.Write(command_, static_cast<std::uint32_t>(std::min(length, kCommandSize)));
    if (completion_)
        completion_->Reset();
    startTime_ = GetTickCount();
    started_.store(true);
}

void ReqBase::OnReceive(const std::uint8_t* bytes, std::uint32_t count) {
    OnReceiveAt(bytes, count, GetTickCount());
}

void ReqBase::OnReceiveAt(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t nowMs) {
    // Once judged, the reply is the caller's to read: what comes later belongs to no request.
    if (evaluated_)
        return;
    if (receivedCount_ + count < kReplySize) {
        std::memcpy(reply_ + receivedCount_, bytes, count);
        receivedCount_ += count;
    }
    if (started_.load() && nowMs - startTime_ > windowMs_) {
        evaluated_ = true;
        Evaluate();
    }
}

bool ReqBase::MarkerFound() const {
    const char* text = reinterpret_cast<const char*>(reply_);
    return std::string_view(text).find(row_.marker) != std::string_view::npos;
}

void ReqBase::Complete(bool success) {
    if (trace::On()) {
        std::string_view command = row_.bytes;
        while (!command.empty() && (command.back() == '\r' || command.back() == ' '))
            command.remove_suffix(1);
        trace::Line(Serial::Instance().PortName(),
                    "request " + std::string(command) + " window " + std::to_string(windowMs_) +
                        " ms: " +
                        (success ? "answered"
                                 : "no " + std::string(row_.marker) + " in " +
                                       std::to_string(receivedCount_) + " bytes"));
    }
    success_.store(success);
    if (completion_)
        completion_->Set();
}

bool ReqBase::WaitForReply(std::stop_token stop) {
    return completion_ && completion_->Wait(WaitMs(), stop) && Succeeded();
}

ConnectReq::ConnectReq(ManualResetEvent* completion)
    : ReqBase(completion, CommandOf(Command::Connect)) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}
void ConnectReq::Evaluate() {
    Complete(MarkerFound());
}

ExitReq::ExitReq(ManualResetEvent* completion) : ReqBase(completion, CommandOf(Command::Exit)) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}
void ExitReq::Evaluate() {
    Complete(MarkerFound());
}

CapacityReq::CapacityReq(ManualResetEvent* completion)
    : ReqBase(completion, CommandOf(Command::Capacity)) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}
void CapacityReq::Evaluate() {
    const bool found = MarkerFound();
    if (found)
        capacity = ExtractCapacity(reply_, capacity);
    Complete(found);
}

SerialNumReq::SerialNumReq(ManualResetEvent* completion)
    : ReqBase(completion, CommandOf(Command::SerialNumber)) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}
void SerialNumReq::Evaluate() {
    const bool found = MarkerFound();
    if (found)
        serialNumber = ExtractSerialNumber(reply_);
    Complete(found);
}

DeleteCourseReq::DeleteCourseReq(ManualResetEvent* completion,
                                 const std::vector<std::uint8_t>& nameBytes)
    : ReqBase(completion, CommandOf(Command::DeleteCourse)) {
    // The seventh byte is 0x80 plus the length of the name that follows: 17 for a wide name,
    // 20 for a narrow one.
    const bool wide = !nameBytes.empty() && nameBytes[0] == 0x40;
    const std::size_t length = wide ? kWideNameBytes : kNarrowNameBytes;
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    command_[6] = static_cast<std::uint8_t>(0x80 + length);
    std::copy_n(nameBytes.begin(), std::min(nameBytes.size(), length), command_ + 7);
    Send(7 + length);
}
void DeleteCourseReq::Evaluate() {
    Complete(MarkerFound());
}

ClearCoursesReq::ClearCoursesReq(ManualResetEvent* completion)
    : ReqBase(completion, CommandOf(Command::ClearCourses)) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}
void ClearCoursesReq::Evaluate() {
    Complete(MarkerFound());
}

ListCoursesReq::ListCoursesReq(ManualResetEvent* completion)
    : ReqBase(completion, CommandOf(Command::ListCourses)) {
    std::memcpy(command_, row_.bytes.data(), row_.bytes.size());
    Send(row_.bytes.size());
}
void ListCoursesReq::Evaluate() {
    const bool found = MarkerFound();
    if (found)
        courseNames = ExtractCourseNames(reply_);
    Complete(found);
}

std::int32_t ExtractCapacity(std::uint8_t* reply, std::int32_t preset) {
    std::int32_t capacity = preset;
    for (std::size_t i = 0; i < ReqBase::kReplySize; ++i) {
        if (reply[i] != '\r')
            continue;
        reply[i] = 0;
        // A plain decimal conversion of the buffer's start: blanks, a sign, digits.
        const char* p = reinterpret_cast<const char*>(reply);
        while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
            ++p;
        bool negative = false;
        if (*p == '+' || *p == '-')
            negative = *p++ == '-';
        std::int64_t value = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            value = std::min<std::int64_t>(value * 10 + (*p - '0'), INT32_MAX);
        capacity = static_cast<std::int32_t>(negative ? -value : value);
    }
    return capacity;
}

std::u16string ExtractSerialNumber(std::uint8_t* reply) {
    std::u16string serial;
    for (std::size_t i = 0; i < SerialNumReq::kSerialUnits; ++i) {
        if (reply[i] == '\r') {
            reply[i] = 0;
            break;
        }
        if (reply[i] == 0)
            break;
        serial.push_back(static_cast<char16_t>(reply[i]));
    }
    return serial;
}

std::vector<std::u16string> ExtractCourseNames(const std::uint8_t* reply) {
    std::vector<std::u16string> names;
    std::size_t offset = 6;
    while (offset < ReqBase::kReplySize) {
        const std::size_t length = reply[offset];
        if (length == 0)
            break;
        const std::size_t available = std::min(length, ReqBase::kReplySize - offset - 1);
        names.push_back(ListedCourseName(reply + offset + 1, available));
        offset += 1 + length;
    }
    return names;
}

} // namespace verdal
