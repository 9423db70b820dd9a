// Opening the program's start address: Chromium in app mode with a 1010 x 600 window where it is
// installed and a display exists, else the desktop's own opener.
#pragma once

#include <string>

namespace verdal {

// Opens the address; answers false with a reason (for standard error) when there is no display
// or no way to open it. profileDir is Chromium's own profile folder for this program.
bool OpenStartAddress(const std::string& address, const std::string& profileDir,
                      std::string& reason);

} // namespace verdal
