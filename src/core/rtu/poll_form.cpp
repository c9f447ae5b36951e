#include "rtu/poll_form.h"

#include <algorithm>

#include "params/form_values.h"
#include "params/item_codec.h"
#include "rtu/upload_format.h"

namespace dtu {

namespace f = fields;

namespace {

int comboIndex(std::uint8_t value, std::size_t count) {
    return value < count ? value : -1;
}

// A drop-down without a selection leaves its field as it is.
void storeCombo(DeviceParams& p, U8Field field, int index) {
    if (index >= 0) p.set(field, static_cast<std::uint8_t>(index));
}

}  // namespace

void PollForm::open(const DeviceParams& params, bool utf8NamesSetting) {
    m_copy = params;
    m_copy.set(f::uploadTarget, normalUploadTarget(m_copy.get(f::uploadTarget)));
    utf8Names = utf8NamesSetting;
    table = PollTable::fromRecord(m_copy, nameEncoding());
    timeout = std::to_string(m_copy.get(f::modbusTimeout));
    pollInterval = std::to_string(m_copy.get(f::modbusPollInterval));
    commandDelay = std::to_string(m_copy.get(f::modbusCommandDelayMs));
    mapStart = std::to_string(m_copy.get(f::modbusMapStart));
    relayFollow = comboIndex(m_copy.get(f::modbusRelayFollow), kRelayFollows.size());
    timeoutAction = comboIndex(m_copy.get(f::modbusTimeoutAction), kTimeoutActions.size());
    uploadInterval = std::to_string(m_copy.get(f::modbusUploadInterval));
    uploadFormat = comboIndex(m_copy.get(f::modbusUploadFormat), kUploadFormats.size());
    changeUpload = comboIndex(m_copy.get(f::modbusChangeUpload), kChangeUploads.size());
    timestamp = m_copy.get(f::modbusTimestamp) == 1;
    jsonArray = m_copy.get(f::modbusJsonArray) == 1;
    const std::string stored(m_copy.textView(f::modbusPrefix));
    const auto text = storedNameText(stored, nameEncoding());
    m_prefixIsText = text.has_value();
    prefix = m_prefixShown = text ? *text : storedNameDisplay(stored, nameEncoding());
}

std::optional<std::string> PollForm::edit(DeviceParams& p, Language lang) const {
    p = m_copy;
    if (auto refusal = table.toRecord(p, nameEncoding(), lang)) return refusal;

    p.set(f::modbusUploadInterval, static_cast<std::uint16_t>(formNumber(uploadInterval)));
    p.set(f::modbusMapStart, formNumber(mapStart));
    p.set(f::modbusTimeout, static_cast<std::uint16_t>(formNumber(timeout)));
    p.set(f::modbusPollInterval, static_cast<std::uint16_t>(formNumber(pollInterval)));
    p.set(f::modbusCommandDelayMs, static_cast<std::uint16_t>(formNumber(commandDelay)));
    storeCombo(p, f::modbusUploadFormat, uploadFormat);
    storeCombo(p, f::modbusChangeUpload, changeUpload);
    p.set(f::modbusTimestamp, timestamp ? 1 : 0);
    p.set(f::modbusJsonArray, jsonArray ? 1 : 0);
    storeCombo(p, f::modbusRelayFollow, relayFollow);
    storeCombo(p, f::modbusTimeoutAction, timeoutAction);

    // A prefix that could not be shown as text stays as stored while its edit is untouched.
    if (m_prefixIsText || prefix != m_prefixShown) {
        const std::size_t limit = sendableBytes(f::modbusPrefix);
        const EncodedName e = encodeName(prefix, nameEncoding(), limit);
        if (e.error != NameError::None)
            return nameRefusal(e.error, kPrefixLabel.chinese, kPrefixLabel.english, limit,
                               nameEncoding(), lang);
        p.setText(f::modbusPrefix, e.bytes);
    }
    return std::nullopt;
}

std::optional<std::string> PollForm::accept(DeviceParams& params, Language lang,
                                            const Lock& lock) const {
    DeviceParams p;
    if (auto refusal = edit(p, lang)) return refusal;
    // The save sends the whole record in one frame: a table it would refuse is refused here.
    if (const SaveFrame frame = buildSaveFrame(p, lock); frame.needed > kMaxSaveFrame) {
        const std::string n = std::to_string(frame.needed);
        const std::string max = std::to_string(kMaxSaveFrame);
        return lang == Language::English
                   ? "With this table the save frame would take " + n + " bytes, more than its " +
                         max + ": remove entries or shorten their names."
                   : "按此轮询表，保存帧将有 " + n + " 字节，超过 " + max +
                         " 字节：请删除条目或缩短json名。";
    }

    const auto from = p.image().subspan(kEdgeBlockOffset, kEdgeBlockSize);
    std::copy(from.begin(), from.end(), params.image().begin() + kEdgeBlockOffset);
    return std::nullopt;
}

std::optional<std::size_t> PollForm::saveFrameBytes(const Lock& lock) const {
    DeviceParams p;
    if (edit(p, Language::English)) return std::nullopt;
    const std::size_t needed = buildSaveFrame(p, lock).needed;
    return needed ? std::optional(needed) : std::nullopt;
}

std::string saveFrameUseText(std::size_t bytes, Language lang) {
    const std::string n = std::to_string(bytes);
    const std::string max = std::to_string(kMaxSaveFrame);
    return lang == Language::English ? "Save frame: " + n + " of " + max + " bytes"
                                     : "保存帧：" + n + " / " + max + " 字节";
}

bool PollForm::timestampEnabled() const {
    return uploadFormat == kTimestampFormat;
}

}  // namespace dtu
