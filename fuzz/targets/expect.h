// What the fuzz targets share: a property that does not hold ends the run, as a sanitizer's
// finding does, so that libFuzzer keeps the input that broke it.
#pragma once

#include <cstdlib>

namespace verdal::fuzz {

inline void Expect(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace verdal::fuzz
