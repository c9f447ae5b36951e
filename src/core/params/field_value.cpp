#include "params/field_value.h"

#include <algorithm>
#include <limits>

#include "text/gbk.h"
#include "text/hex.h"

namespace dtu {

namespace {

constexpr std::size_t kShortBytes = 8;

std::span<const std::uint8_t> trimmedBytes(std::span<const std::uint8_t> b) {
    if (b.size() <= kShortBytes) return b;
    std::size_t n = b.size();
    while (n > 0 && b[n - 1] == 0) --n;
    return b.first(n);
}

std::string hexString(std::span<const std::uint8_t> b) {
    // Appended step by step: "literal" + string trips a false -Wrestrict in GCC 12 at -O2.
    std::string s = "\"";
    s += formatHexPairs(trimmedBytes(b));
    s += '"';
    return s;
}

// The whole field as raw bytes, whatever its kind.
BytesField rawField(const FieldInfo& f) {
    return BytesField{f.offset, f.size};
}

std::optional<std::vector<std::uint8_t>> hexFor(const FieldInfo& f, const JsonValue& v,
                                                std::string& error) {
    if (!v.isString()) {
        error = "expected a hex string";
        return std::nullopt;
    }
    auto bytes = parseHex(v.string());
    if (!bytes) {
        error = "not hexadecimal: " + v.string();
        return std::nullopt;
    }
    if (bytes->size() > f.size) {
        error = std::to_string(bytes->size()) + " bytes do not fit in " + std::to_string(f.size);
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::size_t givenTextLimit(const FieldInfo& f) {
    if (f.tag != 0 && isSaveItem(f.tag)) return sendableBytes(TextField{f.offset, f.size});
    return f.size == 0 ? 0 : f.size - 1;
}

std::string fieldValueJson(const DeviceParams& p, const FieldInfo& f) {
    switch (f.kind) {
        case FieldKind::U8:
            return std::to_string(p.get(U8Field{f.offset, f.size}));
        case FieldKind::U16:
            return std::to_string(p.get(U16Field{f.offset, f.size}));
        case FieldKind::U32:
            return std::to_string(p.get(U32Field{f.offset, f.size}));
        case FieldKind::I32:
            return std::to_string(p.get(I32Field{f.offset, f.size}));
        case FieldKind::Text: {
            const TextField tf{f.offset, f.size};
            const auto whole = p.bytes(tf);
            const auto text = p.text(tf);
            const bool padded =
                std::all_of(whole.begin() + static_cast<std::ptrdiff_t>(text.size()), whole.end(),
                            [](std::uint8_t b) { return b == 0; });
            if (padded && text.size() <= givenTextLimit(f)) {
                if (auto utf8 = gbkToUtf8(text)) return jsonQuote(*utf8);
            }
            return "{\"hex\": " + hexString(whole) + "}";
        }
        case FieldKind::Bytes:
            return hexString(p.bytes(rawField(f)));
    }
    return "null";
}

std::string setFieldValue(DeviceParams& p, const FieldInfo& f, const JsonValue& v) {
    std::string error;
    auto number = [&](std::int64_t lo, std::int64_t hi) -> std::optional<std::int64_t> {
        const auto n = v.isNumber() ? v.integer() : std::nullopt;
        if (!n) {
            error = "expected an integer";
            return std::nullopt;
        }
        if (*n < lo || *n > hi) {
            error = "out of range " + std::to_string(lo) + ".." + std::to_string(hi) + ": " +
                    v.numberText();
            return std::nullopt;
        }
        return n;
    };

    switch (f.kind) {
        case FieldKind::U8:
            if (auto n = number(0, 0xFF))
                p.set(U8Field{f.offset, f.size}, static_cast<std::uint8_t>(*n));
            break;
        case FieldKind::U16:
            if (auto n = number(0, 0xFFFF))
                p.set(U16Field{f.offset, f.size}, static_cast<std::uint16_t>(*n));
            break;
        case FieldKind::U32:
            if (auto n = number(0, 0xFFFFFFFFLL))
                p.set(U32Field{f.offset, f.size}, static_cast<std::uint32_t>(*n));
            break;
        case FieldKind::I32:
            if (auto n = number(std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max()))
                p.set(I32Field{f.offset, f.size}, static_cast<std::int32_t>(*n));
            break;
        case FieldKind::Text: {
            const TextField tf{f.offset, f.size};
            if (v.isString()) {
                const auto gbk = utf8ToGbk(v.string());
                if (!gbk) {
                    error = "text cannot be written in GBK";
                } else if (const std::size_t limit = givenTextLimit(f); gbk->size() > limit) {
                    const bool saved = f.tag != 0 && isSaveItem(f.tag);
                    error =
                        std::to_string(gbk->size()) + " bytes; " +
                        (saved ? "the device reads back at most " + std::to_string(limit) +
                                     ", so it is not sent"
                               : "at most " + std::to_string(limit) + " fit before the terminator");
                } else {
                    p.setText(tf, *gbk);
                }
            } else if (v.isObject() && v.object().size() == 1 && v.find("hex")) {
                if (auto bytes = hexFor(f, *v.find("hex"), error)) p.setBytes(rawField(f), *bytes);
            } else {
                error = "expected a string or {\"hex\": \"...\"}";
            }
            break;
        }
        case FieldKind::Bytes:
            if (auto bytes = hexFor(f, v, error)) p.setBytes(rawField(f), *bytes);
            break;
    }
    return error;
}

JsonValue fieldValueFromText(const FieldInfo& field, std::string_view text) {
    if (auto json = parseJson(text)) {
        const bool fits = [&] {
            switch (field.kind) {
                case FieldKind::Text:
                    return json->isString() || json->isObject();
                case FieldKind::Bytes:
                    return json->isString();
                default:
                    return true;
            }
        }();
        if (fits) return *std::move(json);
    }
    return JsonValue::makeString(std::string(text));
}

std::string refuseAssignments(std::span<const FieldAssignment> assignments) {
    DeviceParams scratch;
    for (const auto& a : assignments) {
        const std::string why = setFieldValue(scratch, *a.field, a.value);
        if (!why.empty()) return a.field->name + ": " + why;
        if (const auto bad = findUnsendable(scratch)) return notReadBackText(*bad);
    }
    return {};
}

std::string notReadBackText(const UnsendableValue& value) {
    return (value.field ? value.field->name : std::string("?")) + ": " +
           std::to_string(value.length) + " bytes; the device reads back at most " +
           std::to_string(value.limit) + ", so it is not sent";
}

}  // namespace dtu
