// The reply extractions, the device course name forms, the XMODEM block and the course list.
#include "device/course_name.h"
#include "device/requests.h"
#include "device/send_cf_req.h"
#include "tests/support/reference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace verdal;

namespace {

// A reply buffer as a request holds it: the bytes received, then zeros.
std::vector<std::uint8_t> ReplyOf(const std::string& bytes) {
    std::vector<std::uint8_t> reply(ReqBase::kReplySize + 1, 0);
    std::memcpy(reply.data(), bytes.data(), std::min(bytes.size(), ReqBase::kReplySize));
    return reply;
}

} // namespace

// The capacity is the number before the first carriage return; the serial number stops at a
// carriage return or after 32 bytes.
TEST(ReplyExtraction, CapacityAndSerialNumber) {
    EXPECT_EQ(ExtractCapacity(ReplyOf("12\r$OKRD\r").data(), 20), 12);
    EXPECT_EQ(ExtractCapacity(ReplyOf("$OKRD\r").data(), 20), 0);
    EXPECT_EQ(ExtractCapacity(ReplyOf("$OKRD").data(), 20), 20);
    EXPECT_EQ(ExtractCapacity(ReplyOf("  -3\r$OKRD").data(), 20), -3);
    EXPECT_EQ(ExtractSerialNumber(ReplyOf("SN-42\r$OKRD").data()), u"SN-42");
    EXPECT_EQ(ExtractSerialNumber(ReplyOf("\r$OKRD").data()), u"");
    EXPECT_EQ(ExtractSerialNumber(ReplyOf(std::string(40, 'A') + "\r$OKRD").data()),
              std::u16string(32, u'A'));
    // Bytes are widened one to one, not decoded.
    EXPECT_EQ(ExtractSerialNumber(ReplyOf("\xe9\r").data()), std::u16string(1, char16_t(0xE9)));
}

// The simulator's answer to the course list, as tests/reference/course-list.reply holds it: two
// names in the ANSI code page, two in the "@" UTF-16 form.
TEST(ReplyExtraction, TheReferenceCourseList) {
    EXPECT_EQ(ExtractCourseNames(ReplyOf(test::ReferenceFile("course-list.reply")).data()),
              (std::vector<std::u16string>{u"Heron Lakes Golf", u"Pebble Creek GC",
                                           u"@\u0141\u00f3d\u017a GC", u"@\u5bcc\u58eb\u898b GC"}));
}

TEST(ReplyExtraction, CourseListEntriesNarrowWideEmptyAndCut) {
    EXPECT_TRUE(ExtractCourseNames(ReplyOf(std::string("$OKCN\r\0", 7)).data()).empty());

    std::string reply = "$OKCN\r";
    reply += char(4) + std::string("Bay\xe9");              // ISO-8859-1
    reply += char(5) + std::string("@\x34\x6c\x2b\x59", 5); // "@" and two UTF-16LE units
    reply += char(7) + std::string("@A\0\0\0B\0", 7);       // a zero unit ends the name
    // An entry longer than the name buffer is cut at 63 bytes, a wide one at a whole unit.
    reply += char(100) + std::string(100, 'x');
    reply += char(100) + std::string("@") + std::string(99, 'y');
    reply += '\0';
    EXPECT_EQ(ExtractCourseNames(ReplyOf(reply).data()),
              (std::vector<std::u16string>{u"Bay\u00e9", u"@\u6c34\u592b", u"@A",
                                           std::u16string(63, u'x'),
                                           u"@" + std::u16string(31, u'\u7979')}));

    // Entries running up to the end of the buffer are read no further than the buffer.
    std::string full = "$OKCN\r";
    while (full.size() < ReqBase::kReplySize)
        full += char(200) + std::string(200, 'z');
    EXPECT_EQ(ExtractCourseNames(ReplyOf(full).data()).size(),
              (ReqBase::kReplySize - 6 + 200) / 201);
}

TEST(DeviceCourseNames, ReadFromTheHeadOfTheCourseMap) {
    std::uint8_t head[20] = {'O', 'l', 'd', ' ', 'C', 'o', 'u', 'r', 's', 'e'};
    EXPECT_EQ(DeviceCourseName(head), u"Old Course");
    std::memset(head, 'N', 20);
    EXPECT_EQ(DeviceCourseName(head), std::u16string(20, u'N'));
    std::uint8_t wide[20] = {0, 9, 9, 9, 0x34, 0x6c, 0x2b, 0x59, 0, 0};
    EXPECT_EQ(DeviceCourseName(wide), u"@\u6c34\u592b");
    const std::uint8_t full[20] = {0,   9, 9,   9, 'a', 0, 'a', 0, 'a', 0,
                                   'a', 0, 'a', 0, 'a', 0, 'a', 0, 'a', 0};
    EXPECT_EQ(DeviceCourseName(full), u"@aaaaaaaa");
    // The reference block, a course whose name is Korean: eight units, the name cut after them.
    const std::string block = test::ReferenceFile("course.gof");
    ASSERT_EQ(block.size(), 7296u);
    EXPECT_EQ(DeviceCourseName(reinterpret_cast<const std::uint8_t*>(block.data())),
              u"@\ube14\ub8e8\uc6d0 \uace8\ud504\ud074\ub7fd");
    // Written back: a longer name is cut at its field, and whatever stood there goes.
    const std::pair<std::u16string, std::u16string> written[] = {
        {u"Pebble Beach Golf Links", u"Pebble Beach Golf Li"},
        {u"\u6c34\u592b Golf Club", u"@\u6c34\u592b Golf "},
        {u"X", u"X"}};
    for (const auto& [name, read] : written) {
        WriteCourseMapName(name, wide);
        EXPECT_EQ(DeviceCourseName(wide), read);
    }
}

TEST(DeviceCourseNames, SentFormsAreCutAtTheField) {
    const auto narrow = DeviceNameBytes(u"Pebble Beach Golf Links Resort");
    EXPECT_EQ(std::string(narrow.begin(), narrow.end()), "Pebble Beach Golf Li");
    EXPECT_EQ(DeviceNameBytes(u"Bay\u00e9"),
              (std::vector<std::uint8_t>{'B', 'a', 'y', 0xE9, 0, 0, 0, 0, 0, 0,
                                         0,   0,   0,   0,    0, 0, 0, 0, 0, 0}));
    // The eighth unit, "F", is the last that fits.
    EXPECT_EQ(DeviceNameBytes(u"@\u6c34\u592bABCDEFG"),
              (std::vector<std::uint8_t>{'@', 0x34, 0x6c, 0x2b, 0x59, 'A', 0, 'B', 0, 'C', 0, 'D',
                                         0, 'E', 0, 'F', 0}));
    // A name read from the list comes back in the form the device sent.
    std::uint8_t entry[5] = {0x40, 0x34, 0x6c, 0x2b, 0x59};
    const auto again = DeviceNameBytes(ListedCourseName(entry, 5));
    EXPECT_TRUE(std::equal(entry, entry + 5, again.begin()));
}

TEST(Xmodem, CrcAndBlockLayout) {
    const char* check = "123456789";
    EXPECT_EQ(Crc16Xmodem(reinterpret_cast<const std::uint8_t*>(check), 9), 0x31C3);
    std::vector<std::uint8_t> data(7296);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 13);
    // The head, the data, then the CRC of the data, high byte first.
    const std::uint16_t crc = Crc16Xmodem(data.data(), 128);
    std::array<std::uint8_t, kXmodemBlock> first = {kSoh, 1, 254};
    std::copy(data.begin(), data.begin() + 128, first.begin() + 3);
    first[131] = static_cast<std::uint8_t>(crc >> 8);
    first[132] = static_cast<std::uint8_t>(crc);
    EXPECT_EQ(XmodemBlock(data.data(), 0), first);
    const auto last = XmodemBlock(data.data(), 7296 - 128);
    EXPECT_EQ(last[1], 57);
    EXPECT_EQ(last[2], 255 - 57);
}
