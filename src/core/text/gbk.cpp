#include "text/gbk.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <climits>
#include <utility>

namespace dtu {

namespace {

// The code page maps 0xFF to a private-use character (U+F8F5) and back, but no GBK text ever
// contains that byte: treating it as text would let line noise pass for a name.
constexpr std::uint8_t kNeverGbk = 0xFF;

// One code page converter per thread: opening it is costly, and a UConverter carries
// conversion state, so threads must not share it.
class GbkConverter {
public:
    GbkConverter() {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* cnv = ucnv_open("GBK", &err);
        if (U_FAILURE(err)) return;
        // Stop at the first byte or character that has no mapping instead of writing a
        // substitute, and never use one-way (fallback) mappings.
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        ucnv_setFallback(cnv, false);
        if (U_FAILURE(err)) {
            ucnv_close(cnv);
            return;
        }
        m_cnv = cnv;
    }
    ~GbkConverter() {
        if (m_cnv) ucnv_close(m_cnv);
    }
    GbkConverter(const GbkConverter&) = delete;
    GbkConverter& operator=(const GbkConverter&) = delete;

    // GBK bytes to UTF-16; fails on any byte sequence the code page does not define.
    std::optional<std::u16string> toUnits(std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) return std::u16string();
        if (!m_cnv || bytes.size() > INT32_MAX / 2) return std::nullopt;
        if (std::find(bytes.begin(), bytes.end(), kNeverGbk) != bytes.end()) return std::nullopt;
        const auto* src = reinterpret_cast<const char*>(bytes.data());
        const auto srcLen = static_cast<int32_t>(bytes.size());
        std::u16string units(bytes.size(), u'\0');  // never more units than bytes
        for (;;) {
            UErrorCode err = U_ZERO_ERROR;
            ucnv_reset(m_cnv);
            const int32_t n = ucnv_toUChars(m_cnv, units.data(), static_cast<int32_t>(units.size()),
                                            src, srcLen, &err);
            if (err == U_BUFFER_OVERFLOW_ERROR && n > static_cast<int32_t>(units.size())) {
                units.resize(static_cast<std::size_t>(n));
                continue;
            }
            if (U_FAILURE(err)) return std::nullopt;
            units.resize(static_cast<std::size_t>(n));
            return units;
        }
    }

    // UTF-16 to GBK bytes; fails on lone surrogates, characters without a mapping, and
    // characters the converter would silently drop (it skips unmappable default-ignorable
    // code points such as U+00AD even when told to stop), hence the decode-back check.
    std::optional<std::vector<std::uint8_t>> fromUnits(std::u16string_view units) {
        if (units.empty()) return std::vector<std::uint8_t>();
        if (!m_cnv || units.size() > INT32_MAX / 4) return std::nullopt;
        std::vector<std::uint8_t> bytes(units.size() * 2);
        const auto srcLen = static_cast<int32_t>(units.size());
        for (;;) {
            UErrorCode err = U_ZERO_ERROR;
            ucnv_reset(m_cnv);
            const int32_t n =
                ucnv_fromUChars(m_cnv, reinterpret_cast<char*>(bytes.data()),
                                static_cast<int32_t>(bytes.size()), units.data(), srcLen, &err);
            if (err == U_BUFFER_OVERFLOW_ERROR && n > static_cast<int32_t>(bytes.size())) {
                bytes.resize(static_cast<std::size_t>(n));
                continue;
            }
            if (U_FAILURE(err)) return std::nullopt;
            bytes.resize(static_cast<std::size_t>(n));
            break;
        }
        const auto back = toUnits(bytes);
        if (!back || *back != units) return std::nullopt;
        return bytes;
    }

private:
    UConverter* m_cnv = nullptr;
};

GbkConverter& converter() {
    thread_local GbkConverter instance;
    return instance;
}

std::optional<std::string> unitsToUtf8(std::u16string_view units) {
    if (units.empty()) return std::string();
    std::string out(units.size() * 3, '\0');  // a BMP unit takes at most three bytes
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &len, units.data(),
                static_cast<int32_t>(units.size()), &err);
    if (U_FAILURE(err)) return std::nullopt;
    out.resize(static_cast<std::size_t>(len));
    return out;
}

}  // namespace

std::optional<std::string> gbkToUtf8(std::span<const std::uint8_t> gbk) {
    auto& cnv = converter();
    const auto units = cnv.toUnits(gbk);
    if (!units) return std::nullopt;
    // A name that changes on its way back would be saved to the device as different bytes.
    const auto back = cnv.fromUnits(*units);
    if (!back || !std::equal(back->begin(), back->end(), gbk.begin(), gbk.end()))
        return std::nullopt;
    return unitsToUtf8(*units);
}

std::string gbkToDisplay(std::span<const std::uint8_t> gbk) {
    if (auto whole = gbkToUtf8(gbk)) return *std::move(whole);
    // Character by character, so that one bad byte costs only itself.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(gbk.size() * 2);
    for (std::size_t i = 0; i < gbk.size();) {
        const std::uint8_t b = gbk[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        if (i + 1 < gbk.size()) {
            if (auto pair = gbkToUtf8(gbk.subspan(i, 2))) {
                out += *pair;
                i += 2;
                continue;
            }
        }
        if (auto single = gbkToUtf8(gbk.subspan(i, 1))) {
            out += *single;
        } else {
            out += "\\x";
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 0x0F]);
        }
        ++i;
    }
    return out;
}

std::string gbkToDisplay(std::string_view gbk) {
    return gbkToDisplay(std::span(reinterpret_cast<const std::uint8_t*>(gbk.data()), gbk.size()));
}

std::optional<std::vector<std::uint8_t>> utf8ToGbk(std::string_view utf8) {
    if (utf8.empty()) return std::vector<std::uint8_t>();
    if (utf8.size() > INT32_MAX / 2) return std::nullopt;
    std::u16string units(utf8.size(), u'\0');  // never more units than bytes
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    // Rejects overlong forms, encoded surrogates and truncated sequences.
    u_strFromUTF8(units.data(), static_cast<int32_t>(units.size()), &len, utf8.data(),
                  static_cast<int32_t>(utf8.size()), &err);
    if (U_FAILURE(err)) return std::nullopt;
    units.resize(static_cast<std::size_t>(len));
    return converter().fromUnits(units);
}

std::size_t firstNonUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        std::size_t len = 0;
        unsigned char lo = 0x80;  // the range of the second byte
        unsigned char hi = 0xBF;
        if (c < 0x80) {
            len = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;  // overlong
            if (c == 0xED) hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;  // overlong
            if (c == 0xF4) hi = 0x8F;  // past U+10FFFF
        } else {
            return i;
        }
        if (len > n - i) return i;
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned char t = s[i + k];
            if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return i;
        }
        i += len;
    }
    return std::string_view::npos;
}

std::optional<std::vector<std::uint8_t>> toDeviceUtf8(std::span<const std::uint8_t> gbk) {
    auto& cnv = converter();
    std::vector<std::uint8_t> out;
    out.reserve(gbk.size() * 3 / 2 + 1);
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        const std::uint8_t b = gbk[i];
        if (b < 0x80) {
            out.push_back(b);
            continue;
        }
        if (i + 1 >= gbk.size()) return std::nullopt;
        // The device reads every high byte as a lead byte, so a single-byte code page
        // character (0x80) cannot be sent: it comes back as two units here and is refused.
        const auto units = cnv.toUnits(gbk.subspan(i, 2));
        if (!units || units->size() != 1) return std::nullopt;
        const char16_t u = (*units)[0];
        out.push_back(static_cast<std::uint8_t>(0xE0 | (u >> 12)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (u & 0x3F)));
        ++i;
    }
    return out;
}

std::vector<std::uint8_t> fromDeviceUtf8(std::span<const std::uint8_t> bytes) {
    auto& cnv = converter();
    // The text ends at the first zero, even inside a sequence: what follows is field padding.
    const auto end = static_cast<std::size_t>(
        std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) - bytes.begin());
    std::vector<std::uint8_t> out;
    out.reserve(end);
    for (std::size_t i = 0; i < end;) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        if (end - i < 3) break;
        // Only the payload bits count, as on the device; the marker bits are not checked.
        const auto unit = static_cast<char16_t>(((b & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) |
                                                (bytes[i + 2] & 0x3F));
        const auto gbk = cnv.fromUnits(std::u16string_view(&unit, 1));
        if (gbk)
            out.insert(out.end(), gbk->begin(), gbk->end());
        else
            out.push_back('?');
        i += 3;
    }
    return out;
}

}  // namespace dtu
