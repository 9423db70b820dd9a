// Text conversion between the encodings the program meets: UTF-8 (catalogue, database),
// UTF-16 (user interface, settings, device course names), the ANSI code page (ISO-8859-1) and
// the %XX escapes of web addresses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace verdal {

// UTF-8 to UTF-16. Each sequence of 1 to 4 bytes gives exactly one 16-bit unit; a 4-byte
// sequence's code point is cut to its low 16 bits. An invalid lead byte gives "?" and the
// conversion goes on with the next byte; a sequence cut off by the end of the input gives "?"
// and ends the conversion. A zero byte ends the input. A U+FEFF at the very start of the output
// is dropped. Continuation bytes are taken as they come (their low six bits).
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. Units below 0x80 give one byte, below 0x800 two bytes, all others three
// bytes; a surrogate pair is written as two three-byte sequences. A zero unit ends the input.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The ANSI code page is ISO-8859-1: each byte is one unit. A unit above 0xFF becomes "?".
// A zero byte or unit ends the input.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view utf16);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

// The 64-bit FNV-1a hash of the bytes, going on from hash, the hash of the bytes before them: a
// fingerprint of a file's content, not a defence against anyone who shapes it.
inline constexpr std::uint64_t kFnvStart = 0xcbf29ce484222325ull;
std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = kFnvStart);

// ASCII case: the text with A-Z lowered or a-z raised, and equality ignoring it. Other bytes,
// UTF-8 sequences included, are compared and kept as they are.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// An ASCII space, tab, line feed, vertical tab, form feed or carriage return: the blanks of pages,
// menus and commands, whatever the session's character set (where std::isspace may take a byte
// of a UTF-8 sequence, 0x85 or 0xA0, for a blank).
constexpr bool IsAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A URL path with its %XX escapes decoded (hex digits in either case). False when a '%' begins
// no escape; decoded then holds that '%' as it stands and the rest decoded.
bool PercentDecode(std::string_view text, std::string& decoded);

} // namespace verdal
