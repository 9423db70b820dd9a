// A device the test plays itself on a pseudo-terminal, and course maps for the device tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verdal::test {

// The other end of a pseudo-terminal, for tests that play the device byte by byte.
class FakeDevice {
public:
    FakeDevice();
    ~FakeDevice() { HangUp(); }
    const std::string& Path() const { return path_; }
    void Write(const std::string& bytes);
    // Reads exactly count bytes, waiting up to 10 s; fewer when the time ran out.
    std::string Read(std::size_t count);
    // Reads what the program writes until the line has been quiet for quietMs milliseconds.
    std::string ReadUntilQuiet(int quietMs = 100);
    // Drops the line: the program's open port fails from now on.
    void HangUp();
    // Writes bytes over and over, never waiting for the program, and throws away what the
    // program writes, until talking turns false. For a device that never stops talking.
    void Babble(const std::string& bytes, const std::atomic<bool>& talking);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// A course map of 7296 bytes whose head holds the name as the device reads it, the rest filled
// from the seed.
std::vector<std::uint8_t> CourseMap(std::u16string_view name, int seed);

// The XMODEM-CRC block of the data that begins at position, as the bytes on the line.
std::string XmodemBlockText(const std::vector<std::uint8_t>& data, std::uint32_t position);

} // namespace verdal::test
