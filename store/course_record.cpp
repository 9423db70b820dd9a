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

namespace {

template <class Char> std::basic_string<Char> Undoubled(std::basic_string_view<Char> held) {
    std::basic_string<Char> text;
    text.reserve(held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        text.push_back(held[i]);
        if (held[i] == Char('\'') && i + 1 < held.size() && held[i + 1] == Char('\''))
            ++i;
    }
    return text;
}

} // namespace

std::string ShownText(std::string_view held) {
    return Undoubled(held);
}

std::u16string ShownText(std::u16string_view held) {
    return Undoubled(held);
}

} // namespace verdal
