#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dtu {

// A small JSON document model: enough to read and write parameter sets without a dependency.
// Objects keep their members in document order.
class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }
    bool isBool() const { return m_type == Type::Bool; }
    bool isNumber() const { return m_type == Type::Number; }
    bool isString() const { return m_type == Type::String; }
    bool isArray() const { return m_type == Type::Array; }
    bool isObject() const { return m_type == Type::Object; }

    bool boolean() const { return m_bool; }
    // The number's text exactly as written in the document.
    const std::string& numberText() const { return m_text; }
    // The number as an integer, when it is written as one (no fraction, no exponent) and fits.
    std::optional<std::int64_t> integer() const;
    // String contents, UTF-8.
    const std::string& string() const { return m_text; }
    const std::vector<JsonValue>& array() const { return m_array; }
    const std::vector<std::pair<std::string, JsonValue>>& object() const { return m_object; }
    // First member of that name, or nullptr.
    const JsonValue* find(std::string_view key) const;

    static JsonValue makeNull() { return JsonValue(); }
    static JsonValue makeBool(bool b);
    static JsonValue makeNumber(std::string text);  // text must be a valid JSON number
    static JsonValue makeString(std::string utf8);
    static JsonValue makeArray(std::vector<JsonValue> items);
    static JsonValue makeObject(std::vector<std::pair<std::string, JsonValue>> members);

private:
    Type m_type = Type::Null;
    bool m_bool = false;
    std::string m_text;
    std::vector<JsonValue> m_array;
    std::vector<std::pair<std::string, JsonValue>> m_object;
};

struct JsonError {
    std::size_t offset = 0;  // byte offset in the input where parsing failed
    std::string message;     // short English description
};

// Parses one JSON document (RFC 8259): surrounding white space allowed, nothing else after
// the value. Strings must be valid UTF-8; \u escapes (including surrogate pairs) are decoded
// to UTF-8, a lone surrogate is an error. Nesting deeper than 64 levels is an error.
std::optional<JsonValue> parseJson(std::string_view text, JsonError* error = nullptr);

// A JSON string literal for UTF-8 text, with the quotes: ", \ and control characters
// escaped (\" \\ \n \r \t \b \f, others as \u00XX); everything else copied.
std::string jsonQuote(std::string_view utf8);

}  // namespace dtu
