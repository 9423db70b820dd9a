// line_spy: a pseudo-terminal behind a link that passes every byte on to another terminal (the
// device simulator's) and back, and prints each command the program sends ("SEEN $EXIT") on
// standard output.
//
//   line_spy --link PATH --target PATH
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) {
    stopRequested = 1;
}

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
}

bool WriteAll(int fd, const char* bytes, ssize_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, bytes, static_cast<std::size_t>(length));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 100);
            continue;
        }
        if (n < 0)
            return false;
        bytes += n;
        length -= n;
    }
    return true;
}

// "$" and four capital letters: what every command of the device begins with. Block data of a
// transfer can hold a "$" and a carriage return too.
bool IsCommand(const std::string& text) {
    if (text.size() < 5 || text[0] != '$')
        return false;
    for (int i = 1; i <= 4; ++i)
        if (text[i] < 'A' || text[i] > 'Z')
            return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string link, target;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--link") == 0)
            link = argv[i + 1];
        else if (std::strcmp(argv[i], "--target") == 0)
            target = argv[i + 1];
    }
    if (link.empty() || target.empty()) {
        std::fprintf(stderr, "usage: line_spy --link PATH --target PATH\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("line_spy: pseudo-terminal");
        return 1;
    }
    const std::string slavePath = ::ptsname(master);
    // Held open so that the terminal outlives the program's opens and closes.
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    MakeRaw(slave);
    const int device = ::open(target.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0 || device < 0) {
        std::perror("line_spy: open");
        return 1;
    }
    MakeRaw(device);
    std::error_code error;
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(slavePath, link, error);
    if (error) {
        std::fprintf(stderr, "line_spy: cannot link %s\n", link.c_str());
        return 1;
    }
    std::printf("READY %s\n", slavePath.c_str());
    std::fflush(stdout);

    std::string command;
    char buffer[1024];
    while (!stopRequested) {
        pollfd fds[2] = {{master, POLLIN, 0}, {device, POLLIN, 0}};
        if (::poll(fds, 2, 200) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                WriteAll(device, buffer, n);
                for (ssize_t i = 0; i < n; ++i) {
                    if (buffer[i] == '\r') {
                        if (IsCommand(command)) {
                            std::printf("SEEN %s\n", command.c_str());
                            std::fflush(stdout);
                        }
                        command.clear();
                    } else if (buffer[i] == '$') {
                        // A command begins here, also right after the binary blocks of a
                        // course transfer, which end without a carriage return.
                        command = "$";
                    } else if (command.size() < 64) {
                        command += buffer[i];
                    } else {
                        command.clear();
                    }
                }
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(device, buffer, sizeof buffer);
            if (n > 0)
                WriteAll(master, buffer, n);
        }
    }
    std::filesystem::remove(link, error);
    return 0;
}
