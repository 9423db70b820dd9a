// Finding the serial ports the device may be on, and naming a port by its number.
#pragma once

#include <cstdint>
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

// The driver that binds the port's adapter ("pl2303", "ftdi_sio"), as the link
// <sysDir>/class/tty/NAME/device/driver names it; empty when there is none.
std::string AdapterDriver(const std::string& port, const PortSearch& search);

// The USB adapter of the port, as the settings remember it: "usb VID:PID serial SERIAL" from the
// idVendor, idProduct and serial of its USB device in sysfs; for one without a serial number, as
// many cables are, "usb VID:PID at PLACE", PLACE its place on the USB bus as the kernel names the
// device (bus and port chain, such as 1-1.2: what /dev/serial/by-path encodes). Empty for a port
// that is no USB adapter's.
std::string AdapterOf(const std::string& port, const PortSearch& search);

// Whether a port that appears is connected without the user asking: with a port named outright
// or a fixed port setting, that port alone; with the automatic search, a Prolific adapter (the
// device's own cable) or the adapter remembered, the one the device last answered on. Any other
// port may be anything (a modem, a 3D printer, an Arduino, which opening resets) and is left
// alone.
bool ConnectsByItself(const std::string& port, const PortSearch& search, std::int32_t comIndex,
                      const std::string& remembered);

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
