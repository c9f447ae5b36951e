#include "text/json.h"

#include <charconv>

namespace dtu {

namespace {

constexpr int kMaxDepth = 64;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Every read is checked against the end of the text first, so no input can make the parser
// read past it.
class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    std::optional<JsonValue> document() {
        skipSpace();
        auto value = parseValue(0);
        if (!value) return std::nullopt;
        skipSpace();
        if (!atEnd()) return fail("unexpected characters after the value");
        return value;
    }

    const JsonError& error() const { return m_error; }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    unsigned char peekByte(std::size_t ahead) const {
        return m_pos + ahead < m_text.size() ? static_cast<unsigned char>(m_text[m_pos + ahead])
                                             : 0;
    }

    std::nullopt_t failAt(std::size_t offset, const char* message) {
        m_error.offset = offset;
        m_error.message = message;
        return std::nullopt;
    }
    std::nullopt_t fail(const char* message) { return failAt(m_pos, message); }
    bool reject(const char* message) { return rejectAt(m_pos, message); }
    bool rejectAt(std::size_t offset, const char* message) {
        failAt(offset, message);
        return false;
    }

    void skipSpace() {
        while (!atEnd()) {
            const char c = m_text[m_pos];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
            ++m_pos;
        }
    }

    bool consumeWord(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word) return false;
        m_pos += word.size();
        return true;
    }

    std::optional<JsonValue> parseValue(int depth) {
        if (atEnd()) return fail("unexpected end of input");
        switch (peek()) {
            case '{':
                return parseObject(depth);
            case '[':
                return parseArray(depth);
            case '"': {
                std::string s;
                if (!parseString(s)) return std::nullopt;
                return JsonValue::makeString(std::move(s));
            }
            case 't':
                if (consumeWord("true")) return JsonValue::makeBool(true);
                break;
            case 'f':
                if (consumeWord("false")) return JsonValue::makeBool(false);
                break;
            case 'n':
                if (consumeWord("null")) return JsonValue::makeNull();
                break;
            default:
                if (peek() == '-' || isDigit(peek())) return parseNumber();
                break;
        }
        return fail("invalid value");
    }

    std::optional<JsonValue> parseObject(int depth) {
        // The limit keeps the recursion, and the stack it uses, bounded whatever the input.
        if (depth >= kMaxDepth) return fail("nesting too deep");
        ++m_pos;  // '{'
        std::vector<std::pair<std::string, JsonValue>> members;
        skipSpace();
        if (peek() == '}') {
            ++m_pos;
            return JsonValue::makeObject(std::move(members));
        }
        for (;;) {
            skipSpace();
            if (peek() != '"') return fail("expected a member name");
            std::string key;
            if (!parseString(key)) return std::nullopt;
            skipSpace();
            if (peek() != ':') return fail("expected ':'");
            ++m_pos;
            skipSpace();
            auto value = parseValue(depth + 1);
            if (!value) return std::nullopt;
            members.emplace_back(std::move(key), std::move(*value));
            skipSpace();
            if (peek() == ',') {
                ++m_pos;
                continue;
            }
            if (peek() == '}') {
                ++m_pos;
                return JsonValue::makeObject(std::move(members));
            }
            return fail(atEnd() ? "unexpected end of input" : "expected ',' or '}'");
        }
    }

    std::optional<JsonValue> parseArray(int depth) {
        if (depth >= kMaxDepth) return fail("nesting too deep");
        ++m_pos;  // '['
        std::vector<JsonValue> items;
        skipSpace();
        if (peek() == ']') {
            ++m_pos;
            return JsonValue::makeArray(std::move(items));
        }
        for (;;) {
            skipSpace();
            auto value = parseValue(depth + 1);
            if (!value) return std::nullopt;
            items.push_back(std::move(*value));
            skipSpace();
            if (peek() == ',') {
                ++m_pos;
                continue;
            }
            if (peek() == ']') {
                ++m_pos;
                return JsonValue::makeArray(std::move(items));
            }
            return fail(atEnd() ? "unexpected end of input" : "expected ',' or ']'");
        }
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    std::optional<JsonValue> parseNumber() {
        const std::size_t start = m_pos;
        if (peek() == '-') ++m_pos;
        if (peek() == '0') {
            ++m_pos;
            if (isDigit(peek())) return fail("leading zero in number");
        } else if (isDigit(peek())) {
            while (isDigit(peek())) ++m_pos;
        } else {
            return fail("expected a digit");
        }
        if (peek() == '.') {
            ++m_pos;
            if (!isDigit(peek())) return fail("expected a digit after '.'");
            while (isDigit(peek())) ++m_pos;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-') ++m_pos;
            if (!isDigit(peek())) return fail("expected a digit in the exponent");
            while (isDigit(peek())) ++m_pos;
        }
        return JsonValue::makeNumber(std::string(m_text.substr(start, m_pos - start)));
    }

    std::optional<char16_t> parseHex4() {
        if (m_text.size() - m_pos < 4) return std::nullopt;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = hexValue(m_text[m_pos + i]);
            if (h < 0) return std::nullopt;
            v = (v << 4) | static_cast<unsigned>(h);
        }
        m_pos += 4;
        return static_cast<char16_t>(v);
    }

    // After "\u": one code point, possibly as a surrogate pair.
    bool parseUnicodeEscape(std::string& out) {
        const std::size_t escape = m_pos - 2;  // at the backslash
        const auto unit = parseHex4();
        if (!unit) return reject("expected four hex digits");
        char32_t cp = *unit;
        if (cp >= 0xDC00 && cp <= 0xDFFF) return rejectAt(escape, "lone low surrogate");
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!consumeWord("\\u")) return rejectAt(escape, "lone high surrogate");
            const auto low = parseHex4();
            if (!low) return reject("expected four hex digits");
            if (*low < 0xDC00 || *low > 0xDFFF) return rejectAt(escape, "lone high surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
        }
        appendUtf8(out, cp);
        return true;
    }

    // Copies one well-formed UTF-8 sequence (no overlong forms, surrogates or values past
    // U+10FFFF), so every string the parser hands out is valid UTF-8.
    bool copyUtf8Sequence(std::string& out) {
        const unsigned char lead = peekByte(0);
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            len = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            len = 3;
            if (lead == 0xE0) lo = 0xA0;
            if (lead == 0xED) hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            len = 4;
            if (lead == 0xF0) lo = 0x90;
            if (lead == 0xF4) hi = 0x8F;
        } else {
            return reject("invalid UTF-8");
        }
        if (m_text.size() - m_pos < len) return reject("truncated UTF-8 sequence");
        const unsigned char second = peekByte(1);
        if (second < lo || second > hi) return reject("invalid UTF-8");
        for (std::size_t i = 2; i < len; ++i) {
            const unsigned char c = peekByte(i);
            if (c < 0x80 || c > 0xBF) return reject("invalid UTF-8");
        }
        out.append(m_text.substr(m_pos, len));
        m_pos += len;
        return true;
    }

    bool parseString(std::string& out) {
        ++m_pos;  // opening quote
        for (;;) {
            if (atEnd()) return reject("unterminated string");
            const unsigned char c = peekByte(0);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20) return reject("control character in string");
            if (c >= 0x80) {
                if (!copyUtf8Sequence(out)) return false;
                continue;
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                ++m_pos;
                continue;
            }
            ++m_pos;
            if (atEnd()) return reject("unterminated string");
            const char e = m_text[m_pos++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u':
                    if (!parseUnicodeEscape(out)) return false;
                    break;
                default:
                    --m_pos;
                    return reject("invalid escape");
            }
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    JsonError m_error;
};

}  // namespace

std::optional<std::int64_t> JsonValue::integer() const {
    if (m_type != Type::Number || m_text.empty()) return std::nullopt;
    const char* first = m_text.data();
    const char* last = first + m_text.size();
    // from_chars would stop quietly at a '.' or 'e'; the whole text must be the integer.
    for (const char* p = (*first == '-') ? first + 1 : first; p != last; ++p)
        if (!isDigit(*p)) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last) return std::nullopt;
    return value;
}

const JsonValue* JsonValue::find(std::string_view key) const {
    for (const auto& [name, value] : m_object)
        if (name == key) return &value;
    return nullptr;
}

JsonValue JsonValue::makeBool(bool b) {
    JsonValue v;
    v.m_type = Type::Bool;
    v.m_bool = b;
    return v;
}

JsonValue JsonValue::makeNumber(std::string text) {
    JsonValue v;
    v.m_type = Type::Number;
    v.m_text = std::move(text);
    return v;
}

JsonValue JsonValue::makeString(std::string utf8) {
    JsonValue v;
    v.m_type = Type::String;
    v.m_text = std::move(utf8);
    return v;
}

JsonValue JsonValue::makeArray(std::vector<JsonValue> items) {
    JsonValue v;
    v.m_type = Type::Array;
    v.m_array = std::move(items);
    return v;
}

JsonValue JsonValue::makeObject(std::vector<std::pair<std::string, JsonValue>> members) {
    JsonValue v;
    v.m_type = Type::Object;
    v.m_object = std::move(members);
    return v;
}

std::optional<JsonValue> parseJson(std::string_view text, JsonError* error) {
    Parser parser(text);
    auto value = parser.document();
    if (!value && error) *error = parser.error();
    return value;
}

std::string jsonQuote(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0x0F];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace dtu
