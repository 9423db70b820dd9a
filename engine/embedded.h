// A file compiled into the program (see cmake/VerdalEmbed.cmake).
#pragma once

#include <cstddef>

namespace verdal {

struct EmbeddedFile {
    const char* name;          // the file's name, without folders
    const unsigned char* data; // its bytes, followed by a zero byte
    std::size_t size;          // in bytes, without the zero
};

} // namespace verdal
