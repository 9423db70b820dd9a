// Reading the reference files, from the source tree ctest names in VERDAL_SOURCE.
#include "tests/support/reference.h"

#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace verdal::test {

std::string ReferenceFile(std::string_view name) {
    const char* source = std::getenv("VERDAL_SOURCE");
    const std::string path =
        std::string(source ? source : VERDAL_SOURCE_DIR) + "/tests/reference/" + std::string(name);
    std::string content;
    if (const FileFailure failure = ReadWholeFile(path, content))
        ADD_FAILURE() << "cannot read the reference file " << path << ": " << failure.Text();
    return content;
}

} // namespace verdal::test
