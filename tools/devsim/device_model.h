// The simulated device: its command protocol, its XMODEM-CRC receiver, its course store and
// the faults it can be told to show. It sees bytes in and answers bytes out; the program around
// it owns the pseudo-terminal and the clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace verdal::devsim {

using Clock = std::chrono::steady_clock;

struct Fault {
    enum class Kind {
        Silent,
        NoMarker,
        Garbage,
        NakBlock,
        StallAfterBlock,
        HangUp,
        Unplug,
        EmptySerial,
        NakEot,
        EotLate,
        EotNever
    };
    Kind kind;
    std::string command; // four letters, for the command faults
    int occurrence = 0;  // the n-th time the command arrives; 0 for every time
    int block = 0;       // for the block faults
    int delayMs = 0;     // for eot-late
};

// Parses "silent:CMD[#N]", "nomarker:CMD[#N]", "garbage:CMD[#N]", "nak:K", "stall:K",
// "hangup:K", "unplug:K", "empty-serial", "nak-eot", "eot-late:MS" or "eot-never"; false when the
// text is none of these.
bool ParseFault(const std::string& text, Fault& fault);

struct Options {
    int capacity = 20;
    std::string serial = "VERDAL-SIM-0001";
    std::string storeDir; // empty: courses kept in memory only
    // Courses the device holds from the start, by name (UTF-8), beside those of the store.
    std::vector<std::string> courses;
    std::vector<Fault> faults;
};

class DeviceModel {
public:
    explicit DeviceModel(Options options);

    // Takes bytes from the line; answers go to Output.
    void Receive(const std::uint8_t* bytes, std::size_t count, Clock::time_point now);
    // Lets time pass: repeats "C" while waiting for a transfer, gives up on a broken one.
    void Tick(Clock::time_point now);
    // When, from now, the next Tick has something to do.
    Clock::time_point NextTick(Clock::time_point now) const;

    // Bytes to send, emptied by the call.
    std::vector<std::uint8_t> TakeOutput();
    // True once, when a hang-up fault has fired: the line must be dropped.
    bool TakeHangUp();
    // True once, when the unplug fault has fired (once only): the device is pulled out.
    bool TakeUnplug();

    std::size_t CourseCount() const { return courses_.size(); }

private:
    struct Course {
        std::string file;
        std::vector<std::uint8_t> bytes;
    };
    enum class Mode { Command, Transfer, Stalled };

    void LoadStore();
    void Command(const std::string& name, const std::vector<std::uint8_t>& argument,
                 Clock::time_point now);
    bool FaultFor(Fault::Kind kind, const std::string& command) const;
    bool BlockFault(Fault::Kind kind, int block) const;
    void Reply(const std::string& text);
    void TransferByte(std::uint8_t byte, Clock::time_point now);
    const Fault* FindFault(Fault::Kind kind) const;
    void EndTransfer();
    void StoreCourse(std::vector<std::uint8_t> bytes);
    void DeleteCourseFile(const Course& course);

    Options options_;
    std::vector<Course> courses_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> output_;
    std::map<std::string, int> seen_;
    std::string current_; // the command being answered
    Mode mode_ = Mode::Command;
    bool readyForFile_ = false;
    bool hangUp_ = false;
    bool unplug_ = false;    // the unplug fault has fired, not yet taken
    bool unplugged_ = false; // it fires once
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> received_;
    int expected_ = 1;
    int naked_ = 0;
    int starts_ = 0;
    bool eotNaked_ = false;
    bool eotPending_ = false; // an EOT is to be acknowledged at eotDue_ if the line stays quiet
    Clock::time_point eotDue_{};
    Clock::time_point lastByte_{};
    Clock::time_point lastStart_{};
};

} // namespace verdal::devsim
