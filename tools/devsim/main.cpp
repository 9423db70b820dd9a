// verdal-devsim: a simulated golf GPS device on a pseudo-terminal, reached through a link.
#include "tools/devsim/device_model.h"

#include "platform/trace.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using verdal::devsim::Clock;
namespace fs = std::filesystem;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t plugToggled = 0;
void OnSignal(int) {
    stopRequested = 1;
}
void OnPlugSignal(int) {
    plugToggled = 1;
}

// One byte on the wire at 115200 baud, 8N1: ten bits.
constexpr auto kByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 115200);

struct Line {
    int master = -1;
    int slave = -1; // held so the terminal outlives the program's opens and closes
    std::string path;
};

bool OpenLine(Line& line, std::string& error) {
    line.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.master < 0 || ::grantpt(line.master) != 0 || ::unlockpt(line.master) != 0) {
        error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    line.path = ::ptsname(line.master);
    line.slave = ::open(line.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.slave < 0) {
        error = "cannot open " + line.path + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    ::tcgetattr(line.slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(line.slave, TCSANOW, &tio);
    ::fcntl(line.master, F_SETFL, ::fcntl(line.master, F_GETFL) | O_NONBLOCK);
    return true;
}

void CloseLine(Line& line) {
    if (line.master >= 0)
        ::close(line.master);
    if (line.slave >= 0)
        ::close(line.slave);
    line = Line{};
}

// Points the link at the terminal, replacing whatever the link was, in one step.
bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
    const std::string temporary = link + ".new" + std::to_string(::getpid());
    std::error_code code;
    fs::remove(temporary, code);
    fs::create_symlink(target, temporary, code);
    if (!code)
        fs::rename(temporary, link, code);
    if (code)
        error = "cannot link " + link + " to " + target + ": " + code.message();
    return !code;
}

// The device on its cable: while plugged in, a terminal, the link to it and, with a sysfs folder,
// the entry by which port discovery knows a Prolific adapter's terminal. Pulling it out closes
// the terminal (the program's open port fails as a real one does) and takes the link and the
// entry away.
class Cable {
public:
    Cable(std::string link, std::string sysDir)
        : link_(std::move(link)), sysDir_(std::move(sysDir)) {}

    bool PluggedIn() const { return line_.master >= 0; }
    int Master() const { return line_.master; }

    bool PlugIn(std::string& error) {
        if (!OpenLine(line_, error) || !MakeLink(link_, line_.path, error))
            return false;
        if (!sysDir_.empty()) {
            const fs::path device = Entry() / "device";
            std::error_code code;
            fs::create_directories(device, code);
            fs::remove(device / "driver", code);
            fs::create_symlink("../../../../bus/usb-serial/drivers/pl2303", device / "driver",
                               code);
            if (code) {
                error = "cannot make " + device.string() + ": " + code.message();
                return false;
            }
        }
        std::cout << "READY " << line_.path << std::endl;
        verdal::trace::Line("devsim:" + link_, "plugged in");
        return true;
    }

    void PullOut() {
        std::error_code code;
        if (fs::read_symlink(link_, code) == line_.path)
            fs::remove(link_, code);
        if (!sysDir_.empty())
            fs::remove_all(Entry(), code);
        if (PluggedIn())
            verdal::trace::Line("devsim:" + link_, "pulled out");
        CloseLine(line_);
    }

private:
    fs::path Entry() const {
        return fs::path(sysDir_) / "class" / "tty" / fs::path(link_).filename();
    }

    const std::string link_;
    const std::string sysDir_;
    Line line_;
};

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, bytes, length);
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 100);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

// Picks the commands out of what arrives on the line, whatever the device makes of them: "$",
// four capital letters and the rest up to a carriage return. A "$" always begins a command
// anew, since the blocks of a course transfer end without a carriage return.
class CommandTrace {
public:
    void Take(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const char c = static_cast<char>(bytes[i]);
            if (c == '\r') {
                if (command_.size() >= 5 &&
                    std::all_of(command_.begin() + 1, command_.begin() + 5,
                                [](char letter) { return letter >= 'A' && letter <= 'Z'; }))
                    std::cout << "SEEN " << command_ << std::endl;
                command_.clear();
            } else if (c == '$') {
                command_ = "$";
            } else if (!command_.empty() && command_.size() < 64) {
                command_ += c;
            } else {
                command_.clear();
            }
        }
    }

private:
    std::string command_;
};

int Usage(std::ostream& out = std::cerr, int code = 2) {
    out << "Usage: verdal-devsim --link PATH [OPTION]...\n"
           "A simulated golf GPS device on a pseudo-terminal; prints READY and the terminal's\n"
           "path (UNPLUGGED when it is pulled out), and serves until SIGINT or SIGTERM.\n"
           "\n"
           "Options:\n"
           "  --link PATH          make PATH a link to the pseudo-terminal\n"
           "  --capacity N         room for N courses (default 20)\n"
           "  --serial SN          the serial number it reports (default VERDAL-SIM-0001)\n"
           "  --store DIR          keep the courses in DIR, one file each (default: in memory)\n"
           "  --course NAME        begin with a course of that name (stored like a sent one);\n"
           "                       may be repeated\n"
           "  --pace               pace the bytes to 115200 baud\n"
           "  --trace              print SEEN and each command that arrives, as it arrives\n"
           "  --trace-file FILE    write the bytes in and out to FILE as verdal --trace does,\n"
           "                       the port named devsim:LINK, so that the two traces merge\n"
           "                       by time (sort -n)\n"
           "  --sys-dir DIR        while plugged in, list the terminal under DIR/class/tty as a\n"
           "                       Prolific adapter's, named as the link is\n"
           "  --unplugged          begin unplugged; SIGUSR1 plugs it in, and pulls it out again\n"
           "  --fault FAULT        misbehave as FAULT says; may be repeated\n"
           "  --help               show this text\n"
           "\n"
           "Faults: silent:CMD[#N] nomarker:CMD[#N] garbage:CMD[#N] nak:K stall:K hangup:K "
           "unplug:K\n"
           "empty-serial nak-eot eot-late:MS eot-never, where CMD is one of FCON RDCS RDSN\n"
           "CRLS CRDC CRCA NCFS STRT EXIT, #N means only the N-th time, and K is a block\n"
           "number from 1. nak-eot refuses the first EOT of a transfer; eot-late:MS\n"
           "acknowledges EOT MS ms later if nothing else arrives meanwhile; eot-never never\n"
           "answers EOT and keeps no course. unplug:K pulls the device out at block K, once.\n";
    return code;
}

} // namespace

int main(int argc, char** argv) {
    verdal::devsim::Options options;
    std::string link;
    std::string sysDir;
    std::string traceFile;
    bool pace = false;
    bool trace = false;
    bool unplugged = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        try {
            if (arg == "--help") {
                return Usage(std::cout, 0);
            } else if (arg == "--link" && hasValue) {
                link = argv[++i];
            } else if (arg == "--capacity" && hasValue) {
                options.capacity = std::stoi(argv[++i]);
            } else if (arg == "--serial" && hasValue) {
                options.serial = argv[++i];
            } else if (arg == "--store" && hasValue) {
                options.storeDir = argv[++i];
            } else if (arg == "--course" && hasValue) {
                options.courses.push_back(argv[++i]);
            } else if (arg == "--pace") {
                pace = true;
            } else if (arg == "--trace") {
                trace = true;
            } else if (arg == "--trace-file" && hasValue) {
                traceFile = argv[++i];
            } else if (arg == "--sys-dir" && hasValue) {
                sysDir = argv[++i];
            } else if (arg == "--unplugged") {
                unplugged = true;
            } else if (arg == "--fault" && hasValue) {
                verdal::devsim::Fault fault{};
                if (!verdal::devsim::ParseFault(argv[++i], fault)) {
                    std::cerr << "verdal-devsim: unknown fault: " << argv[i] << "\n";
                    return Usage();
                }
                options.faults.push_back(fault);
            } else {
                return Usage();
            }
        } catch (const std::exception&) {
            std::cerr << "verdal-devsim: bad value for " << arg << "\n";
            return Usage();
        }
    }
    if (link.empty())
        return Usage();

    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // Without SA_RESTART: the wait for the line ends at once.
    struct sigaction plug {};
    plug.sa_handler = OnPlugSignal;
    ::sigaction(SIGUSR1, &plug, nullptr);

    verdal::devsim::DeviceModel device(options);
    Cable cable(link, sysDir);
    // The trace's subject: the port as verdal names it, marked as the device's side.
    const std::string traceName = "devsim:" + link;
    std::string error;
    if (!traceFile.empty() && !verdal::trace::Open(traceFile, error)) {
        std::cerr << "verdal-devsim: " << error << "\n";
        return 1;
    }
    if (unplugged) {
        std::cout << "UNPLUGGED" << std::endl;
    } else if (!cable.PlugIn(error)) {
        std::cerr << "verdal-devsim: " << error << "\n";
        return 1;
    }

    // With pacing, a byte is taken in and given out no faster than the wire would carry it.
    Clock::time_point receiveClock = Clock::now();
    Clock::time_point sendClock = Clock::now();
    CommandTrace commands;
    std::uint8_t buffer[512];
    while (!stopRequested) {
        if (plugToggled) {
            plugToggled = 0;
            if (cable.PluggedIn()) {
                cable.PullOut();
                std::cout << "UNPLUGGED" << std::endl;
            } else if (!cable.PlugIn(error)) {
                std::cerr << "verdal-devsim: " << error << "\n";
                return 1;
            }
        }
        if (!cable.PluggedIn()) {
            ::poll(nullptr, 0, 500);
            continue;
        }
        const auto now = Clock::now();
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(device.NextTick(now) - now)
                .count();
        pollfd in{cable.Master(), POLLIN, 0};
        const int ready = ::poll(&in, 1, static_cast<int>(std::clamp<long long>(wait, 1, 500)));
        if (ready > 0 && (in.revents & POLLIN)) {
            const ssize_t n = ::read(cable.Master(), buffer, sizeof buffer);
            if (n > 0) {
                if (pace) {
                    receiveClock = std::max(receiveClock, Clock::now()) + kByteTime * n;
                    std::this_thread::sleep_until(receiveClock);
                }
                if (trace)
                    commands.Take(buffer, static_cast<std::size_t>(n));
                verdal::trace::Bytes(traceName, "in", buffer, static_cast<std::size_t>(n));
                device.Receive(buffer, static_cast<std::size_t>(n), Clock::now());
            }
        }
        device.Tick(Clock::now());
        const std::vector<std::uint8_t> out = device.TakeOutput();
        for (std::size_t done = 0; done < out.size();) {
            const std::size_t chunk =
                pace ? std::min<std::size_t>(16, out.size() - done) : out.size() - done;
            if (pace) {
                sendClock = std::max(sendClock, Clock::now()) + kByteTime * chunk;
                std::this_thread::sleep_until(sendClock);
            }
            WriteAll(cable.Master(), out.data() + done, chunk);
            verdal::trace::Bytes(traceName, "out", out.data() + done, chunk);
            done += chunk;
        }
        if (device.TakeHangUp()) {
            // The line drops: the program's open port dies; the device comes back on a new
            // terminal behind the same link.
            cable.PullOut();
            if (!cable.PlugIn(error)) {
                std::cerr << "verdal-devsim: " << error << "\n";
                return 1;
            }
        }
        if (device.TakeUnplug()) {
            cable.PullOut();
            std::cout << "UNPLUGGED" << std::endl;
        }
    }
    cable.PullOut();
    return 0;
}
