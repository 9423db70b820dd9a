// Where the program keeps its files, following the XDG base directory rules.
#include "platform/data_dir.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>

namespace verdal {
namespace {

std::mutex dirMutex;
std::string chosenDir;
bool created = false;

std::string DefaultDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/verdal";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/verdal";
    return "./verdal-data";
}

} // namespace

void SetDataDir(std::string path) {
    std::lock_guard lock(dirMutex);
    chosenDir = std::move(path);
    created = false;
}

std::string DataDir() {
    std::lock_guard lock(dirMutex);
    if (chosenDir.empty())
        chosenDir = DefaultDir();
    if (!created) {
        std::error_code error;
        std::filesystem::create_directories(chosenDir, error);
        if (error)
            throw std::runtime_error("cannot create the data folder " + chosenDir + ": " +
                                     error.message());
        created = true;
    }
    return chosenDir;
}

std::string ProgramFilePath(std::string_view name) {
    return DataDir() + "/" + std::string(name);
}

} // namespace verdal
