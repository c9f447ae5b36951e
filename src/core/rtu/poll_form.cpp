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

std::optional<std::string> PollForm::accept(DeviceParams& params, Language lang) const {
    DeviceParams p = m_copy;
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

    const auto from = p.image().subspan(kEdgeBlockOffset, kEdgeBlockSize);
    std::copy(from.begin(), from.end(), params.image().begin() + kEdgeBlockOffset);
    return std::nullopt;
}

bool PollForm::timestampEnabled() const {
    return uploadFormat == kTimestampFormat;
}

}  // namespace dtu
