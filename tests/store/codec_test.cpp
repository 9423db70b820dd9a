// The database text codec: every byte through it and back, and escapes it refuses.
#include "store/sqlite_exception.h"
#include "store/sqlite_text.h"
#include "tests/support/reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace verdal;

namespace {

using Bytes = std::vector<unsigned char>;

std::string Encode(const Bytes& data) {
    CppSQLite3Blob blob;
    blob.setBytes(data.data(), static_cast<int>(data.size()));
    return blob.encodedText();
}

// Encodes through the block, checks that the text can stand between quotes, decodes it through a
// second block (in place) and answers the bytes it gives back.
Bytes RoundTrip(const Bytes& data) {
    const std::string text = Encode(data);
    EXPECT_EQ(text.find('\''), std::string::npos);
    EXPECT_LE(text.size() + 1, data.size() * 257 / 254 + 3);

    CppSQLite3Blob back;
    back.setEncodedText(text.c_str());
    const unsigned char* bytes = back.bytes();
    return Bytes(bytes, bytes + back.byteCount());
}

} // namespace

TEST(BinaryCodec, EmptyAndSpecialBytes) {
    EXPECT_EQ(Encode({}), "x");
    EXPECT_TRUE(RoundTrip({}).empty());

    // Zero, one and the quote are the values that need an escape.
    const Bytes special = {0x00, 0x01, 0x27};
    EXPECT_EQ(RoundTrip(special), special);
    // The offset is the lowest one that lands no byte on an escaped value.
    EXPECT_EQ(Encode({0x00}), "\x01\xFF");
    EXPECT_EQ(Encode({0x01}), "\x02\xFF");
    // Bytes that must land on an escaped value are written as escapes: all 256 values, each
    // once, leave every offset three hits.
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(i);
    std::string text = Encode(all);
    EXPECT_EQ(text[0], '\x01');
    EXPECT_EQ(text.size(), 1u + 256u + 3u);
    EXPECT_EQ(RoundTrip(all), all);
}

TEST(BinaryCodec, RandomBlocksOfEveryLength) {
    std::mt19937 random(20121);
    for (int n = 0; n <= 300; ++n) {
        Bytes data(static_cast<std::size_t>(n));
        for (auto& b : data)
            b = static_cast<unsigned char>(random());
        ASSERT_EQ(RoundTrip(data), data) << "length " << n;
    }
    for (int round = 0; round < 20; ++round) {
        Bytes data(7296);
        // Some blocks use few values, so that every offset has to be searched.
        const unsigned spread = round % 2 ? 256 : 3 + round;
        for (auto& b : data)
            b = static_cast<unsigned char>(random() % spread * (round % 4 + 1));
        ASSERT_EQ(RoundTrip(data), data) << "round " << round;
    }
    Bytes same(7296, 0x27);
    EXPECT_EQ(RoundTrip(same), same);
}

// A golf.db written before holds the reference block as the reference text: it reads back whole.
TEST(BinaryCodec, TheReferenceTextGivesTheReferenceBlock) {
    CppSQLite3Blob stored;
    stored.setEncodedText(test::ReferenceFile("course.gof.golf-db").c_str());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored.bytes()), stored.byteCount()),
              test::ReferenceFile("course.gof"));
}

TEST(BinaryCodec, MalformedEscapeIsRefused) {
    // An escape with a wrong second byte, an escape cut off, an escape in the middle of a text.
    for (const char* bad : {"\x05\x01\x04", "\x05\x01", "\005ab\001\377cd"}) {
        CppSQLite3Blob blob;
        blob.setEncodedText(bad);
        try {
            blob.bytes();
            ADD_FAILURE() << "decoded " << bad;
        } catch (const CppSQLite3Exception& e) {
            EXPECT_EQ(e.code(), 1000);
            EXPECT_STREQ(e.message(), "CPPSQLITE_ERROR[1000]: Cannot decode binary");
        }
        unsigned char out[16];
        EXPECT_EQ(DecodeBinary(reinterpret_cast<const unsigned char*>(bad), out), -1);
    }
    // A text with nothing in it, as a NULL column reads, is an empty block.
    CppSQLite3Blob none;
    none.setEncodedText(nullptr);
    EXPECT_EQ(none.byteCount(), 0);
}
