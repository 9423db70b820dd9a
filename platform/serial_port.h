// A serial port on termios: raw 8N1 at a given rate, opened exclusively, with reads and writes
// bounded in time the way the device link expects them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verdal {

// What kept an Open from opening the port, for callers to decide by (never by the words).
enum class OpenRefusal {
    None,
    NoPermission, // the user may not open it (the words name the remedies)
    Held,         // a program of ours holds it, named in the words
    Other,        // no such port, no serial port, another failure
};

// One open serial port. Read may run on one thread while Write runs on another; Open, Close
// and Wake may be called from any thread, but Close only once no Read or Write is running.
class SerialPort {
public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Opens the device at path for reading and writing, exclusively (no other process may open
    // it while it is open here, and the descriptor holds an flock() that names this process as
    // its holder), raw 8N1 at baudRate, no flow control; pending input and output are
    // discarded. False on failure, with the reason in Error() (for example "/dev/ttyUSB0:
    // Permission denied (replug the device for the udev rule, or join group 'dialout' and log in
    // again)", or "/dev/ttyUSB0: the device is in use by verdal (pid 4242)").
    bool Open(const std::string& path, std::uint32_t baudRate);
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to size bytes. Returns once size bytes have arrived or size + 1 milliseconds
    // have passed, with the number of bytes read (possibly 0). Returns 0 early when Wake was
    // called. A port that has failed (device gone) also answers 0, after the same bound, and
    // Gone is true from then on.
    std::size_t Read(std::uint8_t* buffer, std::size_t size);
    // True once a Read met the port hung up or failing (EIO, ENODEV): the device was unplugged.
    // For the thread that reads.
    bool Gone() const { return gone_; }

    // Writes the bytes, waiting at most 10 ms a byte plus 1000 ms for the line to take them.
    // Answers how many bytes were written; 0 when the port is closed or the device is gone.
    std::size_t Write(const std::uint8_t* bytes, std::size_t length);

    // Makes a Read in progress (and the next one) return at once. Any thread.
    void Wake();

    // Releases the port; the exclusive hold ends with it.
    void Close();

    // Why the last Open failed, in the session's language, and what kind of refusal it was.
    const std::string& Error() const { return error_; }
    OpenRefusal Refusal() const { return refusal_; }

private:
    int fd_ = -1;
    int wakeFd_ = -1;
    bool gone_ = false;
    std::string path_; // for the trace
    std::string error_;
    OpenRefusal refusal_ = OpenRefusal::None;
};

// The program that holds the port open through SerialPort, as "NAME (pid PID)"; empty when no
// process holds its lock.
std::string PortHolder(const std::string& path);

} // namespace verdal
