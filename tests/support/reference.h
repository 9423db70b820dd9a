// The reference files under tests/reference/: samples of the formats the program writes and
// reads, which tests compare byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace verdal::test {

// The bytes of tests/reference/NAME; an empty text, with the test failed, when it cannot be read.
std::string ReferenceFile(std::string_view name);

} // namespace verdal::test
