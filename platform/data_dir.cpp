// Where the program keeps its files, following the XDG base directory rules.
#include "platform/data_dir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
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
        // Its files hold the device's serial number and the lock with the window server's
        // address: a folder the program makes is its user's alone. One that is there already
        // keeps the mode its user gave it.
        std::error_code error;
        const std::filesystem::path folder(chosenDir);
        if (folder.has_parent_path())
            std::filesystem::create_directories(folder.parent_path(), error);
        if (!error && ::mkdir(chosenDir.c_str(), 0700) != 0 && errno != EEXIST)
            error = std::error_code(errno, std::generic_category());
        if (!error && !std::filesystem::is_directory(folder, error) && !error)
            error = std::make_error_code(std::errc::not_a_directory);
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
