#include "rtu/modbus_item.h"

#include "params/form_values.h"
#include "text/gbk.h"

namespace dtu {

namespace {

std::span<const std::uint8_t> asBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string asString(std::span<const std::uint8_t> b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

constexpr int kPlaces = 4;  // k and b are ten-thousandths

// The decimal number at the start of the text, as a table cell reads it: its sign and its
// ten-thousandths modulo 2^32 (unsigned arithmetic wraps, which keeps exactly the low bits).
struct LooseDecimal {
    bool negative = false;
    std::uint32_t units = 0;
};

LooseDecimal readLooseDecimal(std::string_view text) {
    LooseDecimal d;
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) d.negative = text[i++] == '-';
    for (; i < text.size() && isDigit(text[i]); ++i)
        d.units = d.units * 10u + static_cast<std::uint32_t>(text[i] - '0');
    int places = 0;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]) && places < kPlaces; ++i, ++places)
            d.units = d.units * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    for (; places < kPlaces; ++places) d.units *= 10u;
    return d;
}

// A whole decimal with at most four places: its sign and ten-thousandths up to `max`.
struct StrictDecimal {
    bool negative = false;
    std::uint64_t units = 0;
};

std::optional<StrictDecimal> readStrictDecimal(std::string_view text, bool allowSign,
                                               std::uint64_t max) {
    text = trimBlanks(text);
    StrictDecimal d;
    if (allowSign && !text.empty() && text.front() == '-') {
        d.negative = true;
        text.remove_prefix(1);
    }
    std::size_t i = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        d.units = d.units * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (d.units > max) return std::nullopt;
    }
    if (i == 0) return std::nullopt;
    int places = 0;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++places) {
            if (places == kPlaces) return std::nullopt;
            d.units = d.units * 10 + static_cast<std::uint64_t>(text[i] - '0');
        }
        if (places == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    for (; places < kPlaces; ++places) d.units *= 10;
    if (d.units > max) return std::nullopt;
    return d;
}

std::string fixedText(std::uint32_t units) {
    std::string frac = std::to_string(units % 10000);
    frac.insert(0, static_cast<std::size_t>(kPlaces) - frac.size(), '0');
    return std::to_string(units / 10000) + "." + frac;
}

constexpr std::uint32_t kSignBit = 0x80000000u;

}  // namespace

ModbusItem newModbusItem(std::size_t n) {
    ModbusItem item;
    item.jsonName = "k" + std::to_string(n);
    return item;
}

ModbusItem readModbusItem(const DeviceParams& p, std::uint32_t i) {
    const auto f = fields::modbusItem(i);
    ModbusItem item;
    item.slaveAddress = p.get(f.slaveAddress);
    item.functionCode = p.get(f.functionCode);
    item.startRegister = p.get(f.startRegister);
    item.registerCount = p.get(f.registerCount);
    item.dataType = p.get(f.dataType);
    item.decimals = p.get(f.decimals);
    item.jsonName = asString(p.text(f.jsonName));
    item.scaleK = p.get(f.scaleK);
    item.offsetB = p.get(f.offsetB);
    item.threshold1 = p.get(f.threshold1);
    item.threshold2 = p.get(f.threshold2);
    item.emergencyData = p.get(f.emergencyData);
    return item;
}

bool writeModbusItem(DeviceParams& p, std::uint32_t i, const ModbusItem& item) {
    if (item.jsonName.size() > kJsonNameMax) return false;
    const auto f = fields::modbusItem(i);
    p.set(f.slaveAddress, item.slaveAddress);
    p.set(f.functionCode, item.functionCode);
    p.set(f.startRegister, item.startRegister);
    p.set(f.registerCount, item.registerCount);
    p.set(f.dataType, item.dataType);
    p.set(f.decimals, item.decimals);
    p.setText(f.jsonName, item.jsonName);
    p.set(f.scaleK, item.scaleK);
    p.set(f.offsetB, item.offsetB);
    p.set(f.threshold1, item.threshold1);
    p.set(f.threshold2, item.threshold2);
    p.set(f.emergencyData, item.emergencyData);
    return true;
}

std::string dataTypeText(std::uint8_t type, Language lang) {
    if (type < kModbusDataTypes.size()) {
        const ModbusDataType& t = kModbusDataTypes[type];
        return std::string(lang == Language::English ? t.english : t.chinese);
    }
    return std::to_string(type);
}

std::uint8_t dataTypeFromText(std::string_view name) {
    for (std::size_t i = 0; i < kModbusDataTypes.size(); ++i)
        if (kModbusDataTypes[i].chinese == name || kModbusDataTypes[i].english == name)
            return static_cast<std::uint8_t>(i);
    return 0;
}

std::optional<std::uint8_t> findDataType(std::string_view text) {
    text = trimBlanks(text);
    for (std::size_t i = 0; i < kModbusDataTypes.size(); ++i)
        if (kModbusDataTypes[i].chinese == text || kModbusDataTypes[i].english == text)
            return static_cast<std::uint8_t>(i);
    if (text.empty() || text.size() > 3) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::vector<std::uint32_t> cacheAddresses(std::span<const ModbusItem> items) {
    std::vector<std::uint32_t> out;
    out.reserve(items.size());
    std::uint32_t at = 0;
    for (const ModbusItem& item : items) {
        out.push_back(at);
        const std::uint32_t n = item.registerCount;
        const bool registers = item.functionCode == 3 || item.functionCode == 4;
        at += registers ? 2 * n : (n + 7) / 8;
    }
    return out;
}

std::string scaleKText(std::uint32_t k) {
    return fixedText(k);
}

std::string offsetBText(std::uint32_t b) {
    return (b & kSignBit ? "-" : "") + fixedText(b & ~kSignBit);
}

std::uint32_t scaleKFromText(std::string_view text) {
    const LooseDecimal d = readLooseDecimal(text);
    return d.negative ? 0u - d.units : d.units;
}

std::uint32_t offsetBFromText(std::string_view text) {
    // Only so much of a cell counts, as on the device's own reader.
    const LooseDecimal d = readLooseDecimal(text.substr(0, 255));
    return (d.negative ? kSignBit : 0u) | (d.units & ~kSignBit);
}

std::optional<std::uint32_t> parseScaleK(std::string_view text) {
    const auto d = readStrictDecimal(text, false, 0xFFFFFFFFu);
    if (!d) return std::nullopt;
    return static_cast<std::uint32_t>(d->units);
}

std::optional<std::uint32_t> parseOffsetB(std::string_view text) {
    const auto d = readStrictDecimal(text, true, ~kSignBit);
    if (!d) return std::nullopt;
    return (d->negative ? kSignBit : 0u) | static_cast<std::uint32_t>(d->units);
}

std::optional<std::string> storedNameText(std::string_view stored, NameEncoding enc) {
    if (enc == NameEncoding::Gbk) return gbkToUtf8(asBytes(stored));
    // Clean only when the device's form converts back to the very same bytes.
    const std::vector<std::uint8_t> gbk = fromDeviceUtf8(asBytes(stored));
    const auto again = toDeviceUtf8(gbk);
    if (!again || asString(*again) != stored) return std::nullopt;
    return gbkToUtf8(gbk);
}

std::string storedNameDisplay(std::string_view stored, NameEncoding enc) {
    if (auto text = storedNameText(stored, enc)) return *text;
    if (enc == NameEncoding::Gbk) return gbkToDisplay(stored);
    return gbkToDisplay(fromDeviceUtf8(asBytes(stored)));
}

EncodedName encodeName(std::string_view text, NameEncoding enc, std::size_t maxBytes) {
    EncodedName out;
    // A zero byte would end the stored text early.
    auto gbk = text.find('\0') == std::string_view::npos ? utf8ToGbk(text) : std::nullopt;
    if (gbk && enc == NameEncoding::DeviceUtf8) gbk = toDeviceUtf8(*gbk);
    if (!gbk) {
        out.error = NameError::NotGbk;
        return out;
    }
    if (gbk->size() > maxBytes) {
        out.error = NameError::TooLong;
        return out;
    }
    out.bytes = asString(*gbk);
    return out;
}

std::string nameRefusal(NameError error, std::string_view chineseLabel,
                        std::string_view englishLabel, std::size_t maxBytes, NameEncoding enc,
                        Language lang) {
    if (error == NameError::NotGbk) return notGbkMessage({chineseLabel, englishLabel}, lang);
    const std::string perChar = enc == NameEncoding::DeviceUtf8 ? "3" : "2";
    if (lang == Language::English)
        return std::string(englishLabel) + ": at most " + std::to_string(maxBytes) +
               " bytes (a Chinese character takes " + perChar + ")";
    return std::string(chineseLabel) + "不能超过" + std::to_string(maxBytes) + "字节（一个汉字占" +
           perChar + "字节）";
}

}  // namespace dtu
