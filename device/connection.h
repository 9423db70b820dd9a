// Bringing the device link up: probing the candidate ports, the connect procedure that reads
// the device's capacity, serial number and course list, and letting go of the device.
#pragma once

#include "device/device_course_list.h"
#include "platform/messages.h"
#include "platform/window.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace verdal {

// The port speed of the device.
inline constexpr std::uint32_t kDeviceBaudRate = 115200;

// Why a connect or an operation failed when the device's link was lost under it: "the device was
// unplugged", in the session's language, of the kind Unplugged.
StatusReason UnpluggedReason();

// Answers 1 when the link is up on return, else 0. When the port is already open it answers 1
// at once and sends nothing. Otherwise it opens the port to use (the port named outright in the
// port search; else with the port setting 99 each candidate in order; else the fixed port of
// the setting) and sends the handshake "$FCON\r"; the first port that answers "$OKCN" stays
// open. A port that does not open is passed over; one that does not answer is closed again.
// Blocks up to about 1.5 s per port that opens; a stop request ends the probing at once
// (answering 0 unless a port already answered). Any thread but the serial receive thread.
int EnsureConnected(const std::vector<std::string>& candidates, std::stop_token stop = {});
// The same, saying in why, when it answers 0, why no device was found, in the session's
// language: the ports that exist but could not be opened, each with the reason (for example the
// group to join), that no candidate port exists, or "no device answered". Its kind is Shown when
// a port was refused for lack of permission (the remedies follow), PortHeld when one of our
// programs holds a port, else Aside. Empty when it answers 1.
int EnsureConnected(const std::vector<std::string>& candidates, StatusReason& why,
                    std::stop_token stop = {});

// The connect procedure. Posts StatusCode::Connecting to statusWindow; brings the link up
// (NotConnected, carrying why no device was found, and 0 when no device answers); reads the
// capacity, the serial number and the course list, pausing 250 ms after each reply. A step that
// fails closes the port, posts NotConnected and answers 0; an empty serial number closes the port,
// posts SerialNumberError and answers 0. On success
// the setting serialNumber holds the device's serial number (saved by the next SaveSettings),
// capacity and courses are filled, the port stays open and it answers 1. The capacity is 0 until it
// is read. A stop request ends it within moments with 0, posting nothing more and leaving the link
// as it is. The link lost once it is up ends it at once too, posting NotConnected with
// UnpluggedReason(). ports are the candidates to probe with the automatic search; none: every
// candidate of the search (EnumSerialPorts). Worker thread; capacity and courses belong to the
// caller.
int ConnectDevice(HWND statusWindow, std::int32_t& capacity, DeviceCourseList& courses,
                  std::stop_token stop = {}, const std::vector<std::string>& ports = {});
// The same, with each status and why (empty but for a device not found) handed to report on the
// worker's thread instead of posted. Every request of the procedure has ended (its receiver gone)
// before a status is reported.
using StatusReport = std::function<void(StatusCode code, const StatusReason& why)>;
int ConnectDevice(const StatusReport& report, std::int32_t& capacity, DeviceCourseList& courses,
                  std::stop_token stop = {}, const std::vector<std::string>& ports = {});

// Tells the device "$EXIT\r" when it can be reached (the port is open, or a probe finds it),
// waits for its answer up to 1500 ms, then closes the port. Any thread but the receive thread.
void DisconnectDevice();

} // namespace verdal
