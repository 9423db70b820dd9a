// Temporary folders of the tests and reading and writing whole files.
#pragma once

#include "platform/data_dir.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verdal::test {

// A fresh folder under the system's temporary folder, removed with its contents when it goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }

private:
    std::string path_;
};

// A temporary folder that is the program's data folder from its making on.
class TempDataFolder : public TempFolder {
public:
    TempDataFolder() { SetDataDir(Path()); }
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The names of the entries of a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

// How many file descriptors this process holds open.
std::size_t OpenDescriptors();

// Looks at done() every 20 ms until it holds or boundMs milliseconds have passed; answers done().
bool WaitUntil(const std::function<bool()>& done, int boundMs = 20000);

} // namespace verdal::test
