// Reading the reference files, from the source tree ctest names in VERDAL_SOURCE.
#include "tests/support/reference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace verdal::test {

std::string ReferenceFile(std::string_view name) {
    const char* source = std::getenv("VERDAL_SOURCE");
    const std::string path =
        std::string(source ? source : VERDAL_SOURCE_DIR) + "/tests/reference/" + std::string(name);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ADD_FAILURE() << "cannot read the reference file " << path;
        return {};
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

} // namespace verdal::test
