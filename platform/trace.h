// The trace: what passed between the program and a real device, and the web service, for the
// user to send when a device behaves unlike the simulator. Off until Open; while off, each call
// below costs one relaxed atomic load and formats nothing.
//
// One line per event, each beginning with the time in milliseconds since the Unix epoch and the
// subject (the port, or "http"), so that two traces of the same moments (verdal's and the
// simulator's) merge into one by sorting on the first column:
//   1765226467123 /dev/ttyUSB0 open
//   1765226467124 /dev/ttyUSB0 out 24 46 43 4f 4e 0d  $FCON.
//   1765226467180 /dev/ttyUSB0 in 24 4f 4b 43 4e 0d  $OKCN.
//   1765226467625 /dev/ttyUSB0 request $FCON window 500 ms: answered
//   1765226467800 http GET http://127.0.0.1:8080/version?sn=... 200 27 bytes
// The bytes go as hex, then as text with a dot for each byte that is not printable ASCII.
// Serial numbers pass through it as the device sends them.
//
// Threads: any.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verdal::trace {

namespace detail {
extern std::atomic<bool> on;
}

// Starts the trace into the file, appended to it (made, readable by this user alone, when it is
// not there); false with a message in error.
bool Open(const std::string& path, std::string& error);
// Ends it; the file is complete.
void Close();

inline bool On() {
    return detail::on.load(std::memory_order_relaxed);
}

// A line: the time, the subject and the text.
void Line(std::string_view subject, std::string_view text);
// The bytes that went in a direction ("in", "out").
void Bytes(std::string_view subject, std::string_view direction, const std::uint8_t* bytes,
           std::size_t count);

// The hex and text form of the bytes, as Bytes writes them.
std::string Shown(const std::uint8_t* bytes, std::size_t count);

} // namespace verdal::trace
