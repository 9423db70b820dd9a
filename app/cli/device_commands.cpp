// verdal-cli device commands: list the candidate ports, show the device, send a course map,
// remove courses, remove them all. They run the application's own connect procedure and device
// workers, under a hidden progress dialog of the window system.
#include "app/cli/cli.h"

#include "app/cli/progress_line.h"
#include "app/status_table.h"

#include "device/connection.h"
#include "device/course_name.h"
#include "device/dev_func.h"
#include "device/port_discovery.h"
#include "device/serial.h"
#include "platform/file.h"
#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/worker.h"
#include "store/course_record.h"
#include "store/settings.h"

#include <iostream>
#include <iterator>

namespace verdal::cli {
namespace {

constexpr UINT kConnectDone = WM_USER + 1;

// Receives the connect procedure's statuses, as the main window of the application does.
class StatusWindow : public Window {
public:
    WPARAM lastStatus = 0;
    StatusReason why; // what the last status carried
    bool done = false;

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override {
        if (message == kStatusMessage) {
            lastStatus = wParam;
            why = StatusReasonOf(lParam);
            if (wParam == static_cast<WPARAM>(StatusCode::NotConnected))
                std::cerr << Utf16ToUtf8(NotConnectedText(why)) << "\n";
            else if (const std::string text = StatusLineText(wParam); !text.empty())
                std::cerr << text << "\n";
        } else if (message == kConnectDone) {
            done = true;
        } else {
            return false;
        }
        result = 0;
        return true;
    }
};

void ApplyOptions(const CliOptions& options) {
    SetPortSearch(PortSearchFromOptions(options.port, options.devDir, options.sysDir));
    LoadSettings();
    BindUiThread();
}

// What a failure says when the device was pulled out under it.
void SayUnplugged() {
    std::cerr << "verdal-cli: " << UnpluggedReason().text << "\n";
}

// Why no device was reached: a program that holds the port (verdal itself, most often), the
// device pulled out, or no device at all.
void ExplainNoDevice(const StatusReason& why) {
    if (why.kind == ReasonKind::Unplugged)
        SayUnplugged();
    else if (why.kind == ReasonKind::PortHeld)
        // TRANSLATORS: why the port could not be opened, naming the program that holds it.
        std::cerr << Format(Tr("verdal-cli: %s; close it there, or use the device from it\n"),
                            why.text.c_str());
    else
        std::cerr << Format(Tr("verdal-cli: no device: %s\n"), why.text.c_str());
}

struct DeviceView {
    std::int32_t capacity = 0;
    DeviceCourseList courses;
};

// Runs the connect procedure on its own thread while this thread handles its statuses.
// Answers true when the device was connected and read; otherwise says why on standard error.
bool Connect(DeviceView& device) {
    StatusWindow window;
    const HWND hwnd = CreateWindowFor(window, 0);
    int connected = 0;
    Worker worker;
    worker.Start([&](std::stop_token stop) {
        connected = ConnectDevice(hwnd, device.capacity, device.courses, stop);
        PostMessage(hwnd, kConnectDone);
    });
    MSG msg;
    while (!window.done && GetMessage(msg))
        DispatchMessage(msg);
    worker.Join();
    DestroyWindow(hwnd);
    if (connected)
        return true;
    if (window.lastStatus == static_cast<WPARAM>(StatusCode::SerialNumberError))
        std::cerr << Tr("verdal-cli: the device answered with an empty serial number\n");
    else if (!Serial::Instance().IsOpen() && !window.why.text.empty() &&
             window.lastStatus == static_cast<WPARAM>(StatusCode::NotConnected))
        ExplainNoDevice(window.why);
    else
        std::cerr << Tr("verdal-cli: the device stopped answering\n");
    return false;
}

// Runs a device operation under a hidden progress dialog, its progress on the progress line; a
// failure with the device pulled out meanwhile says so.
std::intptr_t RunOperation(const DialogWorkerBody& body, const std::string& name = {}) {
    const unsigned losses = Serial::Instance().Losses();
    std::intptr_t result = 0;
    {
        ProgressLine line;
        line.Name(name);
        result = RunWorkerDialog(body, [&](int percent) { line.Percent(percent); });
    }
    if (result != 1 && Serial::Instance().Losses() != losses)
        SayUnplugged();
    return result;
}

// Lets go of the device as the application does when it closes.
int Finish(int code) {
    if (Serial::Instance().IsOpen())
        DisconnectDevice();
    return code;
}

int Ports(const CliOptions& options, const std::vector<std::string>& args) {
    if (!args.empty())
        return kExitUsage;
    ApplyOptions(options);
    for (const std::string& port : EnumSerialPorts())
        std::cout << port << "\n";
    return kExitOk;
}

int Info(const CliOptions& options, const std::vector<std::string>& args) {
    if (!args.empty())
        return kExitUsage;
    ApplyOptions(options);
    DeviceView device;
    if (!Connect(device))
        return kExitFailed;
    std::cout << "capacity: " << device.capacity << "\n"
              << "serial number: " << Utf16ToUtf8(CopySettings().serialNumber) << "\n"
              << "courses: " << device.courses.Count() << "\n";
    for (const std::u16string& name : device.courses.Names())
        std::cout << "  " << Utf16ToUtf8(name) << "\n";
    return Finish(kExitOk);
}

int Send(const CliOptions& options, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return kExitUsage;
    std::string bytes;
    if (ReadWholeFile(args[0], bytes)) {
        std::cerr << Format(Tr("verdal-cli: cannot read %s\n"), args[0].c_str());
        return kExitFailed;
    }
    if (bytes.size() != kGofBlockSize) {
        // TRANSLATORS: the file, the bytes it holds, and the bytes a course map file holds.
        std::cerr << Format(TrN("verdal-cli: %s holds %zu bytes; a course map file holds %zu\n",
                                "verdal-cli: %s holds %zu bytes; a course map file holds %zu\n",
                                bytes.size()),
                            args[0].c_str(), bytes.size(), kGofBlockSize);
        return kExitFailed;
    }
    CourseRecord course;
    std::copy(bytes.begin(), bytes.end(), course.gof.begin());
    ApplyOptions(options);
    DeviceView device;
    if (!Connect(device))
        return kExitFailed;
    if (static_cast<std::int32_t>(device.courses.Count()) >= device.capacity) {
        // TRANSLATORS: the courses on the device, then how many it holds.
        std::cerr << Format(Tr("verdal-cli: the device is full (%zu/%d)\n"), device.courses.Count(),
                            static_cast<int>(device.capacity));
        return Finish(kExitFailed);
    }
    DevFunc func(device.courses);
    func.course = &course;
    const auto result = RunOperation([&](HWND page, std::stop_token) { func.UploadCourse(page); },
                                     Utf16ToUtf8(DeviceCourseName(course.gof.data())));
    if (result != 1) {
        std::cerr << Tr("verdal-cli: the device did not take the course map\n");
        return Finish(kExitFailed);
    }
    std::cout << "sent: " << Utf16ToUtf8(DeviceCourseName(course.gof.data())) << "\n";
    return Finish(kExitOk);
}

int Remove(const CliOptions& options, const std::vector<std::string>& args) {
    if (args.empty())
        return kExitUsage;
    ApplyOptions(options);
    DeviceView device;
    if (!Connect(device))
        return kExitFailed;
    DevFunc func(device.courses);
    for (const std::string& arg : args) {
        const std::u16string name = Utf8ToUtf16(arg);
        if (!device.courses.Contains(name)) {
            std::cerr << Format(Tr("verdal-cli: no course named \"%s\" on the device\n"),
                                arg.c_str());
            return Finish(kExitFailed);
        }
        func.names.push_back(name);
    }
    const auto result =
        RunOperation([&](HWND page, std::stop_token stop) { func.RemoveCourses(page, stop); });
    if (result != 1) {
        std::cerr << Format(Tr("verdal-cli: the device did not confirm the removal; courses "
                               "left: %zu\n"),
                            func.courses.Count());
        return Finish(kExitFailed);
    }
    std::cout << "removed: " << args.size() << "\n";
    return Finish(kExitOk);
}

int Clear(const CliOptions& options, const std::vector<std::string>& args) {
    if (!args.empty())
        return kExitUsage;
    ApplyOptions(options);
    if (StatusReason why; !EnsureConnected(EnumSerialPorts(), why)) {
        std::cerr << Utf16ToUtf8(NotConnectedText(why)) << "\n";
        ExplainNoDevice(why);
        return kExitFailed;
    }
    DevFunc func;
    const auto result = RunOperation([&](HWND page, std::stop_token) { func.ClearCourses(page); });
    if (result != 1) {
        std::cerr << Tr("verdal-cli: the device did not confirm clearing its courses\n");
        return Finish(kExitFailed);
    }
    std::cout << "cleared\n";
    return Finish(kExitOk);
}

// A command given the wrong words says how to call it.
CliCommand WithUsage(const char* usage,
                     int (*run)(const CliOptions&, const std::vector<std::string>&)) {
    return [usage, run](const CliOptions& options, const std::vector<std::string>& args) {
        const int code = run(options, args);
        if (code == kExitUsage)
            std::cerr << Format(Tr("usage: verdal-cli [options] %s\n"), usage);
        return code;
    };
}

const CliRegistration
    ports("ports", N_("ports                 list the candidate serial ports in probe order"),
          WithUsage("ports", Ports), FolderUse::Reads);
const CliRegistration
    info("info", N_("info                  show the device's capacity, serial number and courses"),
         WithUsage("info", Info));
const CliRegistration
    send("send", N_("send FILE             send a 7296-byte course map file to the device"),
         WithUsage("send FILE", Send));
const CliRegistration remove("remove",
                             N_("remove NAME...        remove the named courses from the device"),
                             WithUsage("remove NAME...", Remove));
const CliRegistration clear("clear",
                            N_("clear                 remove every course from the device"),
                            WithUsage("clear", Clear));

} // namespace
} // namespace verdal::cli
