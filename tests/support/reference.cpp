// Reading the reference files, from the source tree ctest names in VERDAL_SOURCE.
#include "tests/support/reference.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace verdal::test {

std::string ReferenceFile(std::string_view name) {
    const char* source = std::getenv("VERDAL_SOURCE");
    const std::string path =
        std::string(source ? source : VERDAL_SOURCE_DIR) + "/tests/reference/" + std::string(name);
    if (!std::filesystem::is_regular_file(path)) {
        ADD_FAILURE() << "cannot read the reference file " << path;
        return {};
    }
    return ReadFile(path);
}

} // namespace verdal::test
