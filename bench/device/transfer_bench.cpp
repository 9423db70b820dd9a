// Times a 7296-byte course map transfer and the connect procedure against verdal-devsim paced
// at 115200 baud, next to what the wire and the protocol's own windows allow.
//
// usage: verdal-bench-device [ROUNDS]   (verdal-devsim is looked for beside this program)
#include "device/connection.h"
#include "device/port_discovery.h"
#include "device/send_cf_req.h"
#include "device/serial.h"
#include "store/course_record.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace verdal;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

pid_t StartSimulator(const std::string& program, const std::string& link) {
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execl(program.c_str(), program.c_str(), "--link", link.c_str(), "--pace", "--capacity",
                "100", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char line[256] = {};
    const ssize_t n = ::read(out[0], line, sizeof line - 1);
    ::close(out[0]);
    if (n <= 0 || std::string(line).rfind("READY ", 0) != 0)
        return -1;
    return pid;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path self = fs::canonical("/proc/self/exe");
    std::string pattern = (fs::temp_directory_path() / "verdal-bench-XXXXXX").string();
    const std::string dir = ::mkdtemp(pattern.data());
    const std::string link = dir + "/link";
    const pid_t simulator = StartSimulator((self.parent_path() / "verdal-devsim").string(), link);
    if (simulator < 0) {
        std::fprintf(stderr, "verdal-bench-device: cannot start verdal-devsim\n");
        return 1;
    }
    SetPortSearch(PortSearch{"/dev", "/sys", link});

    // 57 blocks of 133 bytes and 57 acknowledgements, ten bits a byte.
    const double wireBound = 57.0 * (133 + 1) * 10 / 115200;
    GofBlock map{};
    for (std::size_t i = 0; i < map.size(); ++i)
        map[i] = static_cast<std::uint8_t>(i * 29 + 3);
    map[0] = 'B';

    std::vector<double> transfers;
    for (int round = 0; round < rounds; ++round) {
        if (StatusReason why; !EnsureConnected({}, why)) {
            std::fprintf(stderr, "verdal-bench-device: no device: %s\n", why.text.c_str());
            break;
        }
        ManualResetEvent completion;
        SendCFReq request(&completion, map.data(), static_cast<std::uint32_t>(map.size()), 0);
        if (!request.WaitForReply())
            break;
        Serial::Instance().SetIdleReceiver();
        const auto start = Clock::now();
        request.StartTransfer();
        if (!completion.Wait(kTransferWaitMs))
            break;
        transfers.push_back(Seconds(Clock::now() - start));
        Serial::Instance().SetIdleReceiver();
    }
    std::printf("course map transfer, 7296 bytes at 115200 baud (paced simulator)\n");
    for (double t : transfers)
        std::printf("  %.3f s  (%.3f x the wire-time bound)\n", t, t / wireBound);
    if (!transfers.empty())
        std::printf("  median %.3f s, wire-time bound %.3f s, ratio %.3f (aim < 1.15)\n",
                    Median(transfers), wireBound, Median(transfers) / wireBound);

    // The connect procedure: its listening windows and pauses add up to 5.25 s.
    const double protocolFloor = (500 + 500 + 250 + 500 + 250 + 3000 + 250) / 1000.0;
    std::vector<double> connects;
    for (int round = 0; round < std::min(rounds, 3); ++round) {
        Serial::Instance().Close();
        std::int32_t capacity = 0;
        DeviceCourseList courses;
        const auto start = Clock::now();
        if (!ConnectDevice(0, capacity, courses))
            break;
        connects.push_back(Seconds(Clock::now() - start));
    }
    std::printf("connect procedure (handshake, capacity, serial number, course list)\n");
    for (double t : connects)
        std::printf("  %.3f s  (windows and pauses: %.3f s, overhead %.3f s)\n", t, protocolFloor,
                    t - protocolFloor);

    DisconnectDevice();
    ::kill(simulator, SIGTERM);
    ::waitpid(simulator, nullptr, 0);
    std::error_code error;
    fs::remove_all(dir, error);
    return transfers.empty() ? 1 : 0;
}
