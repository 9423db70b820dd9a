// The protocol module's text, written at compile time: one pass counts its characters, a second
// writes them into an array of that size.
#include "engine/protocol_module.h"

#include "engine/protocol.h"

#include <array>
#include <cstddef>

namespace verdal::engine {

namespace {

struct Counter {
    std::size_t size = 0;
    constexpr void Add(char) { ++size; }
};

template <std::size_t N> struct Text {
    std::array<char, N> chars{};
    std::size_t size = 0;
    constexpr void Add(char c) { chars[size++] = c; }
};

template <class Out> constexpr void Write(Out& out, std::string_view text) {
    for (char c : text)
        out.Add(c);
}

template <class Out> constexpr void WriteUpper(Out& out, std::string_view text) {
    for (char c : text)
        out.Add(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
}

template <class Out>
constexpr void WriteConstant(Out& out, std::string_view prefix, std::string_view name,
                             std::string_view value) {
    Write(out, "export const ");
    Write(out, prefix);
    WriteUpper(out, name);
    Write(out, " = '");
    Write(out, value);
    Write(out, "';\n");
}

template <class Out> constexpr void WriteModule(Out& out) {
    using namespace protocol;
    Write(out, "// The wire's names, made from the program's protocol tables. Do not edit.\n");
    WriteConstant(out, "", "STATE_MESSAGE", kStateMessage);
    WriteConstant(out, "", "PATCH_MESSAGE", kPatchMessage);
    for (const std::string_view op : kOperations)
        WriteConstant(out, "OP_", op, op);
    for (const std::string_view message : kMessages)
        WriteConstant(out, "MSG_", message, message);
    Write(out, "export const OPERATIONS = Object.freeze([");
    for (const std::string_view op : kOperations) {
        Write(out, "'");
        Write(out, op);
        Write(out, "', ");
    }
    Write(out, "]);\n");
}

constexpr std::size_t ModuleSize() {
    Counter counter;
    WriteModule(counter);
    return counter.size;
}

constexpr auto kModule = [] {
    Text<ModuleSize()> text;
    WriteModule(text);
    return text;
}();

// A wire name is a JavaScript identifier once upper-cased and prefixed.
constexpr bool IsIdentifierPart(std::string_view name) {
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return !name.empty();
}

constexpr bool AllNamesAreIdentifiers() {
    for (const std::string_view op : protocol::kOperations)
        if (!IsIdentifierPart(op))
            return false;
    for (const std::string_view message : protocol::kMessages)
        if (!IsIdentifierPart(message))
            return false;
    return true;
}

static_assert(AllNamesAreIdentifiers(), "a wire name must be lower-case letters, digits or _");

} // namespace

std::string_view ProtocolModule() {
    return {kModule.chars.data(), kModule.size};
}

} // namespace verdal::engine
