// The demo's device simulator and catalogue service.
#include "app/demo.h"

#include "platform/language.h"

#include <cstdlib>
#include <filesystem>

namespace verdal {

namespace fs = std::filesystem;

namespace {

// The demo device's courses, one under a name beyond ISO-8859-1 (UTF-8).
constexpr const char* kDemoCourseNames[] = {"Heron Lakes Golf", "Pebble Creek GC",
                                            "\u0141\u00f3d\u017a GC"};

} // namespace

std::string Demo::DataFolder(const std::string& dataDir) {
    if (!dataDir.empty())
        return dataDir;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return (fs::path(xdg) / "verdal-demo").string();
    const char* home = std::getenv("HOME");
    return (fs::path(home && *home ? home : ".") / ".local/share/verdal-demo").string();
}

bool Demo::Start(const std::string& dataFolder, bool unplugged, std::string& error) {
    const fs::path root = fs::path(dataFolder) / "demo";
    const fs::path store = root / "device-store";
    std::error_code code;
    fs::create_directories(store, code);
    if (code) {
        error = Format(Tr("cannot make %s: %s"), store.c_str(), code.message().c_str());
        return false;
    }
    // A fresh device each time: the three courses, whatever an earlier run left.
    for (const auto& entry : fs::directory_iterator(store, code))
        if (entry.is_regular_file())
            fs::remove(entry.path(), code);
    devicePort_ = (root / "ttyUSB0").string();
    std::vector<std::string> arguments = {"--link",  devicePort_,   "--capacity",
                                          "20",      "--serial",    "VD2012-000417",
                                          "--store", store.string()};
    for (const char* name : kDemoCourseNames) {
        arguments.push_back("--course");
        arguments.push_back(name);
    }
    if (unplugged)
        arguments.push_back("--unplugged");
    std::string line;
    if (!device_.Start(HelperProgram("verdal-devsim"), arguments,
                       {.captureOutput = true, .keepErrors = true, .stopWithParent = true}, error))
        return false;
    if (!device_.ReadLine(line, 10000) || line.rfind(unplugged ? "UNPLUGGED" : "READY ", 0) != 0) {
        error = Tr("the device simulator did not start");
        Stop();
        return false;
    }
    if (!service_.Start(HelperProgram("verdal-catalogue-service"),
                        {"--listen", "127.0.0.1:0", "--courses", "2000"},
                        {.captureOutput = true, .keepErrors = true, .stopWithParent = true},
                        error)) {
        Stop();
        return false;
    }
    if (!service_.ReadLine(line, 10000) || line.rfind("LISTENING ", 0) != 0) {
        error = Tr("the catalogue service did not start");
        Stop();
        return false;
    }
    serverUrl_ = "http://127.0.0.1:" + line.substr(10) + "/";
    return true;
}

void Demo::Stop() {
    device_.Stop();
    service_.Stop();
}

} // namespace verdal
