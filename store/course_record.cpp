// The course record's quote doubling.
#include "store/course_record.h"

namespace verdal {

std::string DoubleQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out.push_back(c);
        if (c == '\'')
            out.push_back('\'');
    }
    return out;
}

} // namespace verdal
