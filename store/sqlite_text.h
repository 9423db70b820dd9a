// Owned texts of the database layer: a statement formatted by the library's printf, and a binary
// block with its quote-free text form.
//
// Threads: each object belongs to the thread that uses it.
#pragma once

namespace verdal {

// A statement text made with the library's printf, which adds %q (text with its quotes doubled)
// and %Q (the same between quotes, or NULL for a null pointer) to the usual conversions. The text
// is released on the next format, on clear and on destruction.
class CppSQLite3Text {
public:
    CppSQLite3Text() = default;
    CppSQLite3Text(const CppSQLite3Text&) = delete;
    CppSQLite3Text& operator=(const CppSQLite3Text&) = delete;
    ~CppSQLite3Text();

    // Replaces the text with the formatted one and answers it. Throws "Cannot allocate memory"
    // (code 1000) when the library cannot make it.
    const char* format(const char* fmt, ...);
    // The current text; null when empty.
    const char* text() const { return text_; }
    void clear();

private:
    char* text_ = nullptr;
};

// Encodes n bytes into out as text that holds neither a zero byte nor a single quote, so that it
// can stand between quotes in a statement unchanged; answers the number of characters written
// before the terminator. out must hold n * 257 / 254 + 3 bytes. An empty block becomes "x".
int EncodeBinary(const unsigned char* in, int n, unsigned char* out);
// Decodes such a text into out and answers the number of bytes stored, or -1 for a malformed
// escape. out may be the input itself: the output never runs ahead of the input.
int DecodeBinary(const unsigned char* in, unsigned char* out);

// A binary block and its encoded text form, held in one heap buffer that is converted in place
// between the two. Errors throw CppSQLite3Exception with code 1000: "Cannot allocate memory" when
// the buffer cannot be had, "Cannot decode binary" for a malformed encoded text.
class CppSQLite3Blob {
public:
    CppSQLite3Blob() = default;
    CppSQLite3Blob(const CppSQLite3Blob&) = delete;
    CppSQLite3Blob& operator=(const CppSQLite3Blob&) = delete;
    ~CppSQLite3Blob();

    // Holds a copy of n bytes (n >= 0).
    void setBytes(const unsigned char* data, int n);
    // The block as encoded text (encoding it first when it is held as bytes).
    const char* encodedText();
    // Holds an encoded text (null counts as empty); it is decoded when the bytes are asked for.
    void setEncodedText(const char* text);
    // The block as bytes (decoding it in place first when it is held as text).
    const unsigned char* bytes();
    // The number of bytes of the block (decoding it first when needed).
    int byteCount();
    // The number of characters of the encoded text (encoding it first when needed).
    int encodedLength();
    // Frees the buffer.
    void clear();

private:
    unsigned char* buffer_ = nullptr;
    int binaryLength_ = 0;
    int bufferLength_ = 0;
    int encodedLength_ = 0;
    bool encoded_ = false;
};

} // namespace verdal
