#include "params/serial_data_form.h"

#include <algorithm>
#include <span>
#include <vector>

#include "params/form_values.h"
#include "params/item_codec.h"
#include "text/hex.h"

namespace dtu {

namespace f = fields;

namespace {

// A counted byte string of the record: its length field and its array.
struct CountedBytes {
    U8Field length;
    BytesField data;
    FormLabel label;
};

constexpr CountedBytes kFilter{
    f::serialFilterLength, f::serialFilterData, {"过滤数据", "FilterData"}};
constexpr CountedBytes kTimedSend{f::serialSendLength, f::serialSendData, {"数据", "Data"}};

// The stored bytes: as many as the length says, never more than the array holds.
std::span<const std::uint8_t> stored(const DeviceParams& p, const CountedBytes& c) {
    const auto all = p.bytes(c.data);
    return all.first(std::min<std::size_t>(p.get(c.length), all.size()));
}

struct Typed {
    std::optional<std::vector<std::uint8_t>> bytes;  // nullopt: leave the stored bytes alone
    std::string refusal;
};

// What the edit holds as the bytes to store. An edit that still shows exactly what is stored,
// read the same way, stores nothing new: bytes that have no text form (a zero inside them, a
// byte that is no GBK character) survive an OK that changed nothing.
Typed typed(const DeviceParams& p, const CountedBytes& c, const std::string& data, bool hex,
            Language lang) {
    if (!shownBytes(stored(p, c), hex).editedTo(data)) return {};
    const std::size_t limit = sendableBytes(c.data);
    if (!hex) {
        FormText text = formText(data, limit, c.label, lang);
        if (!text.refusal.empty()) return {std::nullopt, std::move(text.refusal)};
        return {std::move(text.gbk), {}};
    }
    auto parsed = parseHex(data);
    if (!parsed) return {std::nullopt, std::string(inLanguage(kHexEntryMessage, lang))};
    if (parsed->size() > limit) return {std::nullopt, tooManyBytesMessage(c.label, limit, lang)};
    return {std::move(*parsed), {}};
}

void store(DeviceParams& p, const CountedBytes& c, const std::vector<std::uint8_t>& bytes) {
    p.setBytes(c.data, bytes);
    p.set(c.length, static_cast<std::uint8_t>(bytes.size()));
}

}  // namespace

void SerialFilterForm::open(const DeviceParams& p, bool hexView) {
    hex = hexView;
    data = shownBytes(stored(p, kFilter), hex).shown;
}

std::optional<std::string> SerialFilterForm::accept(DeviceParams& p, Language lang) const {
    const Typed t = typed(p, kFilter, data, hex, lang);
    if (!t.refusal.empty()) return t.refusal;
    if (t.bytes) store(p, kFilter, *t.bytes);
    return std::nullopt;
}

void TimedSendForm::open(const DeviceParams& p, bool hexView) {
    interval = std::to_string(static_cast<std::int32_t>(p.get(f::serialSendInterval)));
    hex = hexView;
    data = shownBytes(stored(p, kTimedSend), hex).shown;
}

std::optional<std::string> TimedSendForm::accept(DeviceParams& p, Language lang) const {
    const Typed t = typed(p, kTimedSend, data, hex, lang);
    if (!t.refusal.empty()) return t.refusal;
    p.set(f::serialSendInterval, formNumber(interval));
    if (t.bytes) store(p, kTimedSend, *t.bytes);
    return std::nullopt;
}

}  // namespace dtu
