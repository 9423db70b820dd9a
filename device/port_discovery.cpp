// Port discovery on sysfs.
#include "device/port_discovery.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <utility>

namespace verdal {
namespace {

namespace fs = std::filesystem;

PortSearch& Search() {
    static PortSearch search;
    return search;
}

struct Candidate {
    int group;  // 0: Prolific, 1: other USB serial
    int family; // 0: ttyUSB, 1: ttyACM
    long number;
    std::string name;
};

// Splits "ttyUSB12" into its family and number; false for other terminals.
bool ParseName(const std::string& name, int& family, long& number) {
    static const std::string kFamilies[] = {"ttyUSB", "ttyACM"};
    for (int i = 0; i < 2; ++i) {
        const std::string& prefix = kFamilies[i];
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
            const std::string digits = name.substr(prefix.size());
            if (!std::all_of(digits.begin(), digits.end(),
                             [](char c) { return c >= '0' && c <= '9'; }) ||
                digits.size() > 6)
                return false;
            family = i;
            number = std::stol(digits);
            return true;
        }
    }
    return false;
}

constexpr const char* kProlificDriver = "pl2303";

// The driver of a terminal's entry under class/tty; empty without one.
std::string Driver(const fs::path& entry) {
    std::error_code error;
    const fs::path driver = fs::read_symlink(entry / "device" / "driver", error);
    return error ? std::string() : driver.filename().string();
}

fs::path Entry(const std::string& port, const PortSearch& search) {
    return fs::path(search.sysDir) / "class" / "tty" / fs::path(port).filename();
}

// The first line of a sysfs attribute; empty when it cannot be read.
std::string Attribute(const fs::path& file) {
    std::string text;
    if (FILE* in = std::fopen(file.c_str(), "r")) {
        char line[256] = {};
        if (std::fgets(line, sizeof line, in))
            text = line;
        std::fclose(in);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::string AdapterDriver(const std::string& port, const PortSearch& search) {
    return Driver(Entry(port, search));
}

std::string AdapterOf(const std::string& port, const PortSearch& search) {
    std::error_code error;
    // The terminal's device sits below its interface, below the USB device that names itself.
    fs::path device = fs::canonical(Entry(port, search) / "device", error);
    for (int up = 0; !error && up < 4 && device.has_parent_path();
         ++up, device = device.parent_path()) {
        const std::string vendor = Attribute(device / "idVendor");
        if (vendor.empty())
            continue;
        const std::string id = "usb " + vendor + ":" + Attribute(device / "idProduct");
        const std::string serial = Attribute(device / "serial");
        return serial.empty() ? id + " at " + device.filename().string() : id + " serial " + serial;
    }
    return {};
}

bool ConnectsByItself(const std::string& port, const PortSearch& search, std::int32_t comIndex,
                      const std::string& remembered) {
    if (!search.port.empty())
        return port == search.port;
    if (comIndex != kAutoPort)
        return port == PortName(comIndex, search);
    if (AdapterDriver(port, search) == kProlificDriver)
        return true;
    return !remembered.empty() && AdapterOf(port, search) == remembered;
}

PortSearch PortSearchFromOptions(std::string port, std::string devDir, std::string sysDir) {
    PortSearch search;
    if (!devDir.empty())
        search.devDir = std::move(devDir);
    if (!sysDir.empty())
        search.sysDir = std::move(sysDir);
    search.port = std::move(port);
    return search;
}

void SetPortSearch(PortSearch search) {
    Search() = std::move(search);
}
const PortSearch& CurrentPortSearch() {
    return Search();
}

std::vector<std::string> EnumSerialPorts() {
    return EnumSerialPorts(Search());
}

std::vector<std::string> EnumSerialPorts(const PortSearch& search) {
    if (!search.port.empty())
        return {search.port};
    std::vector<Candidate> found;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(fs::path(search.sysDir) / "class" / "tty", error)) {
        Candidate candidate{};
        candidate.name = entry.path().filename().string();
        if (!ParseName(candidate.name, candidate.family, candidate.number))
            continue;
        const std::string driver = Driver(entry.path());
        if (driver.empty())
            continue; // not backed by a device: no adapter
        candidate.group = driver == kProlificDriver ? 0 : 1;
        found.push_back(candidate);
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.group, a.family, a.number) < std::tie(b.group, b.family, b.number);
    });
    std::vector<std::string> ports;
    for (const Candidate& candidate : found)
        ports.push_back((fs::path(search.devDir) / candidate.name).string());
    if (ports.empty())
        for (int n = 0; n < 30; ++n)
            ports.push_back(PortName(n, search));
    return ports;
}

std::vector<PortChoice> PortChoices(const PortSearch& search) {
    std::vector<PortChoice> choices{{"Auto", kAutoPort}};
    for (int n = 0; n < kFixedPortCount; ++n)
        choices.push_back({PortName(n, search), n});
    return choices;
}

std::string PortName(int index, const PortSearch& search) {
    return (fs::path(search.devDir) / ("ttyUSB" + std::to_string(index))).string();
}

} // namespace verdal
