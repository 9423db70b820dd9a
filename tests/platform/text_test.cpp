// Text conversion between UTF-8, UTF-16 and the ANSI code page, malformed input included, and
// percent-decoding.
#include "platform/text.h"

#include <gtest/gtest.h>

using namespace verdal;

TEST(Utf8ToUtf16, SequencesMalformedInputAndTheByteOrderMark) {
    const std::pair<std::string_view, std::u16string_view> cases[] = {
        // Each sequence length gives one unit; U+1F600 cut to 16 bits gives 0xF600, never a
        // surrogate pair.
        {"A", u"A"},
        {"\xC3\xA9", u"\u00E9"},
        {"\xED\x95\x9C\xEA\xB5\xAD", u"\uD55C\uAD6D"},
        {"\xF0\x9F\x98\x80x", u"\uF600x"},
        {"", u""},
        // A continuation byte or an impossible lead byte each give one "?" and the rest goes on.
        {"a\x80z", u"a?z"},
        {"\xFF\xF8z", u"??z"},
        // A sequence cut off by the end of the input gives "?" and ends the conversion.
        {"ab\xE4\xB8", u"ab?"},
        {"\xF0", u"?"},
        // A zero byte ends the input, also inside a sequence.
        {std::string_view("ab\0cd", 5), u"ab"},
        {std::string_view("\xC3\0xy", 4), u"?"},
        // A byte-order mark is dropped only at the start.
        {"\xEF\xBB\xBFhi", u"hi"},
        {"h\xEF\xBB\xBFi", u"h\uFEFFi"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", u"\uFEFF"},
    };
    for (const auto& [utf8, utf16] : cases)
        EXPECT_EQ(Utf8ToUtf16(utf8), std::u16string(utf16))
            << testing::PrintToString(std::string(utf8));
}

TEST(Utf16ToUtf8, WritesOneTwoOrThreeBytesPerUnit) {
    EXPECT_EQ(Utf16ToUtf8(u"A"), "A");
    EXPECT_EQ(Utf16ToUtf8(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(Utf16ToUtf8(u"\u07FF\u0800"), "\xDF\xBF\xE0\xA0\x80");
    // A surrogate pair becomes two three-byte sequences.
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"ab\0c", 4)), "ab");
}

TEST(TextConversion, EveryUnitOutsideSurrogatesRoundTrips) {
    for (char32_t unit = 1; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        const std::u16string text(1, static_cast<char16_t>(unit));
        const std::u16string back = Utf8ToUtf16(Utf16ToUtf8(text));
        if (unit == 0xFEFF) {
            EXPECT_EQ(back, u"") << "a leading byte-order mark is dropped";
            EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(u"x" + text)), u"x" + text);
            continue;
        }
        ASSERT_EQ(back, text) << "unit " << static_cast<unsigned>(unit);
    }
}

TEST(AnsiCodePage, IsLatin1WithQuestionMarksAbove0xFF) {
    EXPECT_EQ(AnsiToUtf16("Caf\xE9"), u"Caf\u00E9");
    EXPECT_EQ(Utf16ToAnsi(u"Caf\u00E9"), "Caf\xE9");
    EXPECT_EQ(Utf16ToAnsi(u"\uD55C1"), "?1");
    EXPECT_EQ(AnsiToUtf16(std::string_view("ab\0c", 4)), u"ab");
}

TEST(PercentDecode, DecodesEveryEscapeAndKeepsAStrayPercent) {
    std::string decoded;
    EXPECT_TRUE(PercentDecode("/maps/with%20blank-%4A%4b.gof", decoded));
    EXPECT_EQ(decoded, "/maps/with blank-JK.gof");
    EXPECT_FALSE(PercentDecode("/%%41%zz1%2", decoded));
    EXPECT_EQ(decoded, "/%A%zz1%2");
}

TEST(AsciiHelpers, HexDigitsAndCaseTouchOnlyAscii) {
    const std::string digits = "0123456789abcdefABCDEF";
    for (std::size_t i = 0; i < digits.size(); ++i)
        EXPECT_EQ(HexDigitValue(digits[i]), static_cast<int>(i < 16 ? i : i - 6)) << digits[i];
    for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0', '\xC3'})
        EXPECT_EQ(HexDigitValue(c), -1) << static_cast<int>(c);
    EXPECT_EQ(AsciiLower("Content-TYPE \xC3\x89"), "content-type \xC3\x89");
    EXPECT_EQ(AsciiUpper("res/dot.png \xC3\xA9"), "RES/DOT.PNG \xC3\xA9");
    EXPECT_TRUE(EqualsNoCase("HTML", "html"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(EqualsNoCase("html", "htm"));
}
