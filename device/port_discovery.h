// Finding the serial ports the device may be on, and naming a port by its number.
#pragma once

#include <string>
#include <vector>

namespace verdal {

// Where ports are looked for. The folders stand for /dev and /sys so that tests and the demo
// can offer folders of their own holding links to pseudo-terminals; port, when set, names the
// one port to use outright, whatever the port setting says.
struct PortSearch {
    std::string devDir = "/dev";
    std::string sysDir = "/sys";
    std::string port;
};

// The search the command-line options ask for: one port outright when port is not empty, and
// the /dev and /sys folders, each left at its default when empty.
PortSearch PortSearchFromOptions(std::string port, std::string devDir, std::string sysDir);

// The process-wide search folders; set once at start-up, before any worker runs.
void SetPortSearch(PortSearch search);
const PortSearch& CurrentPortSearch();

// The candidate ports in probe order, as device paths: the serial terminals listed under
// <sysDir>/class/tty whose device driver is pl2303 (Prolific adapters) first, then the other
// ttyUSB and ttyACM terminals, each group in number order. When none is found, the fallback
// <devDir>/ttyUSB0 to <devDir>/ttyUSB29. With a port named outright, that port alone.
std::vector<std::string> EnumSerialPorts(const PortSearch& search);
std::vector<std::string> EnumSerialPorts();

// The port of a fixed port number n: <devDir>/ttyUSB<n>.
std::string PortName(int index, const PortSearch& search);

// The automatic search's port number.
inline constexpr int kAutoPort = 99;
// Fixed port numbers offered to the user: 0 to 20.
inline constexpr int kFixedPortCount = 21;

// One entry of the port choice: the text shown and the port setting it stands for.
struct PortChoice {
    std::string text;
    int value;
};
// "Auto" (99), then the 21 fixed ports by name (0 to 20).
std::vector<PortChoice> PortChoices(const PortSearch& search);

} // namespace verdal
