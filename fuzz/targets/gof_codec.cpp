// The database's text codec for binary blocks, reading a damaged gof column: any text decodes
// within its buffer or is refused, and bytes that decode encode again into a text that holds
// neither a zero byte nor a quote and decodes back to the same bytes, in a block that was
// decoded in place as much as in a fresh one.
#include "fuzz/targets/expect.h"
#include "store/sqlite_exception.h"
#include "store/sqlite_text.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using verdal::fuzz::Expect;

namespace {

// Encodes the bytes again and checks the text and its way back.
void RoundTrip(verdal::CppSQLite3Blob& blob, const std::vector<unsigned char>& bytes) {
    const std::string text = blob.encodedText();
    Expect(static_cast<int>(text.size()) == blob.encodedLength());
    Expect(text.find('\'') == std::string::npos);
    verdal::CppSQLite3Blob back;
    back.setEncodedText(text.c_str());
    Expect(back.byteCount() == static_cast<int>(bytes.size()));
    Expect(bytes.empty() || std::memcmp(back.bytes(), bytes.data(), bytes.size()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The column's text: what stands before the first zero byte.
    const std::string text(reinterpret_cast<const char*>(data), size);
    verdal::CppSQLite3Blob read;
    read.setEncodedText(text.c_str());
    try {
        const unsigned char* decoded = read.bytes();
        const std::vector<unsigned char> bytes(decoded, decoded + read.byteCount());
        // The same block, decoded in place, then encoded again in its own buffer.
        RoundTrip(read, bytes);
    } catch (const verdal::CppSQLite3Exception& error) {
        Expect(error.code() == 1000);
    }

    // The input as the bytes of a block.
    verdal::CppSQLite3Blob block;
    block.setBytes(data, static_cast<int>(size));
    RoundTrip(block, std::vector<unsigned char>(data, data + size));
    return 0;
}
