#include "rtu/poll_table.h"

#include "params/form_values.h"
#include "params/item_codec.h"

namespace dtu {

namespace {

std::size_t nameLimit() {
    return sendableBytes(fields::modbusItem(0).jsonName);
}

std::string_view withoutTrailingBreaks(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string_view pollColumnHeader(int column, Language lang) {
    if (column < 0 || column >= kPollColumnCount) return {};
    const PollColumnInfo& c = kPollColumns[static_cast<std::size_t>(column)];
    if (c.textId != 0) return langText(lang, c.textId);
    return lang == Language::English ? c.english : c.chinese;
}

bool isPollColumnEditable(int column) {
    return column > kPollSerial && column < kPollCacheAddress;
}

PollTable PollTable::fromRecord(const DeviceParams& params, NameEncoding enc) {
    PollTable table;
    const std::uint32_t count = params.get(fields::modbusItemCount);
    if (count > kMaxPollEntries) return table;
    for (std::uint32_t i = 0; i < count; ++i) {
        PollRow row;
        row.item = readModbusItem(params, i);
        if (auto text = storedNameText(row.item.jsonName, enc)) {
            row.name = std::move(*text);
            row.item.jsonName.clear();
        } else {
            row.name = storedNameDisplay(row.item.jsonName, enc);
            row.nameIsText = false;
        }
        table.m_rows.push_back(std::move(row));
    }
    return table;
}

std::vector<std::uint32_t> PollTable::cacheAddresses() const {
    std::vector<ModbusItem> items;
    items.reserve(m_rows.size());
    for (const PollRow& r : m_rows) items.push_back(r.item);
    return dtu::cacheAddresses(items);
}

std::string PollTable::cellText(std::size_t row, int column, Language lang) const {
    const ModbusItem& it = m_rows.at(row).item;
    switch (column) {
        case kPollSerial:
            return std::to_string(row + 1);
        case kPollAddress:
            return std::to_string(it.slaveAddress);
        case kPollFunction:
            return std::to_string(it.functionCode);
        case kPollStart:
            return std::to_string(it.startRegister);
        case kPollCount:
            return std::to_string(it.registerCount);
        case kPollType:
            return dataTypeText(it.dataType, lang);
        case kPollDecimals:
            return std::to_string(it.decimals);
        case kPollName:
            return m_rows[row].name;
        case kPollThreshold1:
            return std::to_string(it.threshold1);
        case kPollThreshold2:
            return std::to_string(it.threshold2);
        case kPollEmergency:
            return std::to_string(it.emergencyData);
        case kPollK:
            return scaleKText(it.scaleK);
        case kPollB:
            return offsetBText(it.offsetB);
        case kPollCacheAddress:
            return std::to_string(cacheAddresses().at(row));
        default:
            return {};
    }
}

std::optional<std::string> PollTable::setCell(std::size_t row, int column, std::string_view text,
                                              NameEncoding enc, Language lang) {
    if (row >= m_rows.size()) return std::nullopt;
    PollRow& r = m_rows[row];
    ModbusItem& it = r.item;
    const std::uint32_t n = formNumber(text);
    switch (column) {
        case kPollAddress:
            it.slaveAddress = static_cast<std::uint8_t>(n);
            break;
        case kPollFunction:
            it.functionCode = static_cast<std::uint8_t>(n);
            break;
        case kPollStart:
            it.startRegister = static_cast<std::uint16_t>(n);
            break;
        case kPollCount:
            it.registerCount = static_cast<std::uint16_t>(n);
            break;
        case kPollType:
            it.dataType = dataTypeFromText(text);
            break;
        case kPollDecimals:
            it.decimals = static_cast<std::uint8_t>(n);
            break;
        case kPollName: {
            text = withoutTrailingBreaks(text);
            const EncodedName e = encodeName(text, enc, nameLimit());
            if (e.error != NameError::None)
                return nameRefusal(e.error, kJsonNameLabelChinese, kJsonNameLabelEnglish,
                                   nameLimit(), enc, lang);
            r.name = std::string(text);
            r.nameIsText = true;
            it.jsonName.clear();
            break;
        }
        case kPollThreshold1:
            it.threshold1 = static_cast<std::int32_t>(n);
            break;
        case kPollThreshold2:
            it.threshold2 = static_cast<std::int32_t>(n);
            break;
        case kPollEmergency:
            it.emergencyData = static_cast<std::uint8_t>(n);
            break;
        case kPollK:
            it.scaleK = scaleKFromText(text);
            break;
        case kPollB:
            it.offsetB = offsetBFromText(text);
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> PollTable::add() {
    if (m_rows.size() >= kMaxPollEntries) return std::string(kPollTableFullMessage);
    PollRow row;
    row.item = newModbusItem(m_rows.size());
    row.name = std::move(row.item.jsonName);
    row.item.jsonName.clear();
    m_rows.push_back(std::move(row));
    return std::nullopt;
}

bool PollTable::remove(std::size_t row) {
    if (row >= m_rows.size()) return false;
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(row));
    return true;
}

void PollTable::assign(std::vector<PollRow> rows) {
    if (rows.size() > kMaxPollEntries) rows.resize(kMaxPollEntries);
    m_rows = std::move(rows);
}

std::optional<std::string> PollTable::toRecord(DeviceParams& params, NameEncoding enc,
                                               Language lang) const {
    std::vector<ModbusItem> items;
    items.reserve(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        ModbusItem item = m_rows[i].item;
        EncodedName e;
        if (m_rows[i].nameIsText)
            e = encodeName(m_rows[i].name, enc, nameLimit());
        else if (item.jsonName.size() > nameLimit())
            e.error = NameError::TooLong;  // a full field the device would not read back
        if (e.error != NameError::None) {
            const std::string serial(pollColumnHeader(kPollSerial, lang));
            const std::string where = lang == Language::English
                                          ? serial + " " + std::to_string(i + 1) + ": "
                                          : serial + std::to_string(i + 1) + "：";
            return where + nameRefusal(e.error, kJsonNameLabelChinese, kJsonNameLabelEnglish,
                                       nameLimit(), enc, lang);
        }
        if (m_rows[i].nameIsText) item.jsonName = std::move(e.bytes);
        items.push_back(std::move(item));
    }
    params.set(fields::modbusItemCount, static_cast<std::uint8_t>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        writeModbusItem(params, static_cast<std::uint32_t>(i), items[i]);
    return std::nullopt;
}

}  // namespace dtu
