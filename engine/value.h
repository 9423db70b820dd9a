// A control's value as the page host passes it around: nothing, a boolean, an integer or a
// UTF-16 text.
#pragma once

#include <string>

namespace verdal::engine {

struct Value {
    enum class Type { Undefined = 0, Null = 1, Bool = 2, Int = 3, String = 5 };
    Type type = Type::Undefined;
    int number = 0; // Bool (0 or 1) and Int
    std::u16string text;

    static Value Boolean(bool on) { return Value{Type::Bool, on ? 1 : 0, {}}; }
    static Value Integer(int n) { return Value{Type::Int, n, {}}; }
    static Value String(std::u16string s) { return Value{Type::String, 0, std::move(s)}; }

    bool IsUndefined() const { return type == Type::Undefined; }
    // Integer data of a boolean or integer; a text read as a decimal integer; otherwise 0.
    int AsInt() const;
    // Text unchanged; "true"/"false"; decimal for integers; empty for nothing.
    std::u16string ToString() const;
    bool operator==(const Value& other) const = default;
};

} // namespace verdal::engine
