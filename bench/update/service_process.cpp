// The catalogue service as a child process of a benchmark.
#include "service_process.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace verdal::bench {

ServiceProcess::ServiceProcess(int courses, const std::string& versions,
                               const std::vector<std::string>& options) {
    int out[2];
    if (pipe(out) != 0)
        std::exit(1);
    const char* bin = std::getenv("VERDAL_BIN");
    const std::string program = std::string(bin ? bin : "bin") + "/verdal-catalogue-service";
    std::vector<std::string> args = {
        program,      "--listen", "127.0.0.1:0", "--courses", std::to_string(courses),
        "--versions", versions};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    char line[64] = {};
    FILE* in = fdopen(out[0], "r");
    if (!in || !fgets(line, sizeof line, in) || std::sscanf(line, "LISTENING %d", &port_) != 1) {
        std::fprintf(stderr, "cannot start %s\n", program.c_str());
        std::exit(1);
    }
}

ServiceProcess::~ServiceProcess() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

void HandleQueued(Window& window) {
    constexpr UINT kMarker = WM_USER + 9;
    PostMessage(window.Handle(), kMarker);
    MSG msg;
    while (GetMessage(msg)) {
        DispatchMessage(msg);
        if (msg.message == kMarker)
            break;
    }
}

} // namespace verdal::bench
