// Child processes whose output is read line by line, such as the helper programs verdal starts
// and stops: the demo's device simulator and catalogue service, the window and the browser.
//
// A program started here inherits standard input, output and error and no other descriptor of
// this process (not the lock of the data folder, the database, the port or the server's
// sockets), and the descriptor limit this process was started with (see RaiseDescriptorLimit).
//
// Threads: a ChildProcess belongs to the thread that starts it, except WaitForEnd, which one
// other thread may run while the owner neither stops, waits for nor releases the program.
#pragma once

#include <stop_token>
#include <string>
#include <sys/types.h>
#include <vector>

namespace verdal {

// How a program is started.
struct StartOptions {
    bool captureOutput = false; // its standard output is read by ReadLine, else /dev/null
    bool keepErrors = false;    // its standard error is this process's, else /dev/null
    // It is ended when this process dies. The kernel ties that to the thread that starts the
    // program: start it from a thread that lives as long as the process.
    bool stopWithParent = false;
    // The bytes it reads on standard input, then the end of it (else /dev/null): a way to hand a
    // program what no other user may see, as every user can read a process's arguments. At most
    // the size of a pipe's buffer (64 KiB).
    std::string input;
};

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Stops the program when it still runs.
    ~ChildProcess();

    // Starts the program (a path, or a name looked up in PATH) with the arguments, as options
    // say. False with a message in error when it cannot start.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const StartOptions& options, std::string& error);
    // The next line of its output, without the line break; false when none arrived within
    // timeoutMs milliseconds or the output ended.
    bool ReadLine(std::string& line, int timeoutMs);
    // SIGTERM, then SIGKILL when it has not ended after timeoutMs milliseconds; waits for it.
    void Stop(int timeoutMs = 3000);
    // Waits for the program to end by itself; answers its exit code, or 128 plus the number of
    // the signal that ended it, or -1 when no program runs or it cannot be waited for.
    int Wait();
    // Blocks until the program has ended (true) or stop is requested (false). The program is
    // not reaped: Stop or Wait does that afterwards. True at once when no program runs.
    bool WaitForEnd(std::stop_token stop) const;
    // Whether the program has been started and has not ended (it is not reaped here).
    bool Running() const;
    // Lets the program run on by itself (no stop at destruction).
    void Release();
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int pidFd_ = -1; // readable once the program has ended
    int output_ = -1;
    std::string pending_;
};

// The path of the executable file of that name in the first folder of PATH that holds one
// ("/usr/bin:/bin" when PATH is unset); empty when none does.
std::string FindProgram(const char* name);

// Whether path names a file this process may run.
bool IsExecutable(const std::string& path);

// Asks a program of verdal's to bring its window forward (SIGUSR1, which verdal and its window
// program take as that request).
void AskToShow(pid_t pid);

// Raises this process's soft limit of open descriptors to its hard limit (a desktop session's
// 1,024 leaves little room for a server's connections beside the database, the port and the
// transfers). Programs started afterwards get the soft limit back as it was. Call once, early,
// before any thread starts.
void RaiseDescriptorLimit();

// Whether this process runs as root.
bool RunningAsRoot();

// The path of a program in the folder of the running executable.
std::string SiblingProgram(const std::string& name);

// A helper program of verdal's: beside the running executable in a build folder; installed,
// verdal is in /usr/bin and its helpers are in /usr/lib/verdal, out of the users' PATH.
std::string HelperProgram(const std::string& name);

} // namespace verdal
