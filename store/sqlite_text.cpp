// The statement text and the binary block of the database layer, with the quote-free codec by
// which course maps are stored in the course table.
#include "store/sqlite_text.h"

#include "store/sqlite_exception.h"

#include <sqlite3.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace verdal {

// ---- statement text ----

CppSQLite3Text::~CppSQLite3Text() {
    clear();
}

const char* CppSQLite3Text::format(const char* fmt, ...) {
    clear();
    va_list args;
    va_start(args, fmt);
    text_ = sqlite3_vmprintf(fmt, args);
    va_end(args);
    if (!text_)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
    return text_;
}

void CppSQLite3Text::clear() {
    sqlite3_free(text_);
    text_ = nullptr;
}

// ---- codec ----

int EncodeBinary(const unsigned char* in, int n, unsigned char* out) {
    if (n <= 0) {
        out[0] = 'x';
        out[1] = 0;
        return 1;
    }
    int count[256] = {};
    for (int i = 0; i < n; ++i)
        ++count[in[i]];
    // The offset e is chosen so that as few bytes as possible land on the three values that
    // need an escape (0, 1 and the quote); the lowest offset wins a tie. Neither 0 nor the quote
    // may be the offset, since it is written as the first character. Some candidate always
    // beats n, because the 254 sums together count each byte at most three times.
    int e = 1;
    int m = n;
    for (int i = 1; i < 256; ++i) {
        if (i == '\'')
            continue;
        int sum = count[i] + count[(i + 1) & 0xFF] + count[(i + '\'') & 0xFF];
        if (sum < m) {
            m = sum;
            e = i;
            if (m == 0)
                break;
        }
    }
    int j = 0;
    out[j++] = static_cast<unsigned char>(e);
    for (int i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(in[i] - e);
        if (c == 0) {
            out[j++] = 1;
            out[j++] = 1;
        } else if (c == 1) {
            out[j++] = 1;
            out[j++] = 2;
        } else if (c == '\'') {
            out[j++] = 1;
            out[j++] = 3;
        } else {
            out[j++] = c;
        }
    }
    out[j] = 0;
    return j;
}

int DecodeBinary(const unsigned char* in, unsigned char* out) {
    int e = *in++;
    if (e == 0)
        return 0; // an empty text holds no offset and no bytes
    int i = 0;
    unsigned char c;
    while ((c = *in++) != 0) {
        if (c == 1) {
            switch (*in++) {
            case 1:
                c = 0;
                break;
            case 2:
                c = 1;
                break;
            case 3:
                c = '\'';
                break;
            default:
                return -1; // also a text that ends right after the escape byte
            }
        }
        out[i++] = static_cast<unsigned char>(c + e);
    }
    return i;
}

// ---- binary block ----

CppSQLite3Blob::~CppSQLite3Blob() {
    clear();
}

void CppSQLite3Blob::clear() {
    std::free(buffer_);
    buffer_ = nullptr;
    binaryLength_ = 0;
    bufferLength_ = 0;
    encodedLength_ = 0;
    encoded_ = false;
}

void CppSQLite3Blob::setBytes(const unsigned char* data, int n) {
    clear();
    if (n < 0)
        n = 0;
    // Room for the worst encoding: the offset, every byte, one escape per byte on the three
    // rarest values (at most 3n / 254 of them) and the terminator.
    std::int64_t size = static_cast<std::int64_t>(n) * 257 / 254 + 3;
    if (size > INT32_MAX)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
    buffer_ = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(size)));
    if (!buffer_)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
    if (n > 0)
        std::memcpy(buffer_, data, static_cast<std::size_t>(n));
    binaryLength_ = n;
    bufferLength_ = static_cast<int>(size);
    encoded_ = false;
}

const char* CppSQLite3Blob::encodedText() {
    if (!buffer_)
        setBytes(nullptr, 0);
    if (!encoded_) {
        // Bytes decoded in place from a text sit in that text's buffer, which may be too short
        // for their encoding: an empty text has room for one byte, and a damaged text may hold
        // bytes that must now be escaped.
        const std::int64_t needed = std::int64_t{binaryLength_} * 257 / 254 + 3;
        if (needed > bufferLength_) {
            auto* larger = static_cast<unsigned char*>(
                std::realloc(buffer_, static_cast<std::size_t>(needed)));
            if (!larger)
                throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
            buffer_ = larger;
            bufferLength_ = static_cast<int>(needed);
        }
        auto* temp =
            static_cast<unsigned char*>(std::malloc(binaryLength_ > 0 ? binaryLength_ : 1));
        if (!temp)
            throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
        if (binaryLength_ > 0)
            std::memcpy(temp, buffer_, static_cast<std::size_t>(binaryLength_));
        encodedLength_ = EncodeBinary(temp, binaryLength_, buffer_);
        std::free(temp);
        encoded_ = true;
    }
    return reinterpret_cast<const char*>(buffer_);
}

void CppSQLite3Blob::setEncodedText(const char* text) {
    clear();
    if (!text)
        text = "";
    std::size_t length = std::strlen(text);
    if (length >= INT32_MAX)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
    buffer_ = static_cast<unsigned char*>(std::malloc(length + 1));
    if (!buffer_)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot allocate memory");
    std::memcpy(buffer_, text, length + 1);
    encodedLength_ = static_cast<int>(length);
    bufferLength_ = static_cast<int>(length + 1);
    encoded_ = true;
}

const unsigned char* CppSQLite3Blob::bytes() {
    if (!buffer_)
        setBytes(nullptr, 0);
    if (encoded_) {
        int n = DecodeBinary(buffer_, buffer_);
        if (n == -1) {
            clear(); // the buffer is half decoded and no longer means anything
            throw CppSQLite3Exception(CPPSQLITE_ERROR, "Cannot decode binary");
        }
        binaryLength_ = n;
        encoded_ = false;
    }
    return buffer_;
}

int CppSQLite3Blob::byteCount() {
    bytes();
    return binaryLength_;
}

int CppSQLite3Blob::encodedLength() {
    encodedText();
    return encodedLength_;
}

} // namespace verdal
