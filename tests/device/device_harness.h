// What the device tests share: a temporary folder, the device simulator as a child process,
// a pseudo-terminal the test drives itself, and a window that records what is posted to it.
#pragma once

#include "platform/window.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verdal::test {

// A folder of its own under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }

private:
    std::string path_;
};

// verdal-devsim started with --link at link and the given options, stopped by SIGTERM.
class Simulator {
public:
    Simulator(const std::string& link, const std::vector<std::string>& options = {});
    ~Simulator();
    // Stops the simulator and waits for it to end.
    void Stop();
    const std::string& Link() const { return link_; }

private:
    std::string link_;
    int pid_ = -1;
    int output_ = -1;
};

// The other end of a pseudo-terminal, for tests that play the device byte by byte.
class FakeDevice {
public:
    FakeDevice();
    ~FakeDevice();
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

// A window that records the wParam of each message it receives, until a stop message.
class RecordingWindow : public Window {
public:
    static constexpr UINT kStop = WM_USER + 99;
    explicit RecordingWindow(UINT recorded) : recorded_(recorded) {}
    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override;
    // Runs body on another thread and handles messages until it has ended. UI thread.
    void RunWhile(const std::function<void()>& body);
    std::vector<int> values;

private:
    UINT recorded_;
    bool stopped_ = false;
};

// A course map whose name is the given narrow name, or an "@" name stored as UTF-16LE.
std::vector<std::uint8_t> NarrowCourseMap(const std::string& name, int seed);
std::vector<std::uint8_t> WideCourseMap(const std::u16string& units, int seed);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace verdal::test
