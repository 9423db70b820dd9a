// Starting, watching and closing verdal-window.
#include "app/window_program.h"

#include "platform/language.h"

namespace verdal {

bool WindowProgram::Open(const std::string& address, bool automation, std::function<void()> onEnded,
                         std::string& reason) {
    Close();
    const std::string program = HelperProgram("verdal-window");
    if (!IsExecutable(program)) {
        reason = Format(Tr("%s is missing"), program.c_str());
        return false;
    }
    std::vector<std::string> args;
    if (automation)
        args.push_back("--automation");
    // The address carries the token: on standard input, as every user can read the arguments.
    if (!process_.Start(program, args,
                        {.captureOutput = true,
                         .keepErrors = true,
                         .stopWithParent = true,
                         .input = address + "\n"},
                        reason))
        return false;
    std::string line;
    if (!process_.ReadLine(line, 30000) || line != "READY") {
        process_.Stop();
        reason = line.rfind("FAILED ", 0) == 0 ? line.substr(7)
                                               : Tr("verdal-window did not show its window");
        return false;
    }
    watcher_.Start([this, onEnded = std::move(onEnded)](std::stop_token stop) {
        if (!process_.WaitForEnd(stop))
            return;
        onEnded();
    });
    return true;
}

void WindowProgram::Present() {
    if (IsOpen())
        AskToShow(process_.Pid());
}

void WindowProgram::Close() {
    watcher_.RequestStop();
    watcher_.Join();
    process_.Stop();
}

void ShowMessageWindow(const std::string& text) {
    const std::string program = HelperProgram("verdal-window");
    ChildProcess window;
    std::string error;
    if (IsExecutable(program) && window.Start(program, {"--message"}, {.input = text}, error))
        window.Release();
}

} // namespace verdal
