// The data folder: where golf.db, update.xml and settings.reg live.
#pragma once

#include <string>
#include <string_view>

namespace verdal {

// Chooses the data folder for this process (from --data-dir). An empty path restores the
// default: $XDG_DATA_HOME/verdal, else ~/.local/share/verdal. Call before the first use.
void SetDataDir(std::string path);

// The data folder, created (with its parents; itself readable by this user alone) on first use.
// Throws std::runtime_error when it cannot be created. Any thread may call it.
std::string DataDir();

// The path of the named file in the data folder.
std::string ProgramFilePath(std::string_view name);

} // namespace verdal
