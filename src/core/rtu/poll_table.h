#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "rtu/modbus_item.h"
#include "text/language.h"

namespace dtu {

// The poll table as the edge computing form edits it: one row per entry, each cell a text.

enum PollColumn : int {
    kPollSerial = 0,  // row number from 1, not editable
    kPollAddress,
    kPollFunction,
    kPollStart,
    kPollCount,
    kPollType,  // the type's name; edited with the type drop-down
    kPollDecimals,
    kPollName,
    kPollThreshold1,
    kPollThreshold2,
    kPollEmergency,
    kPollK,
    kPollB,
    kPollCacheAddress,  // computed, not editable
    kPollColumnCount,
};

struct PollColumnInfo {
    int textId;  // header from the language table, 0 for its own pair below
    std::string_view chinese;
    std::string_view english;
    int width;  // in pixels at the normal font size
};

inline constexpr std::array<PollColumnInfo, kPollColumnCount> kPollColumns{{
    {kTextSerialNumber, {}, {}, 45},
    {kTextAddress, {}, {}, 45},
    {kTextFunctionCode, {}, {}, 60},
    {kTextStartRegister, {}, {}, 90},
    {kTextRegisterCount, {}, {}, 100},
    {kTextDataType, {}, {}, 150},
    {kTextDecimals, {}, {}, 90},
    {kTextJsonName, {}, {}, 120},
    {kTextThreshold1, {}, {}, 50},
    {kTextThreshold2, {}, {}, 50},
    {0, "紧急数据", "EmgData", 75},
    {0, "k", "k", 70},
    {0, "b", "b", 70},
    {kTextCacheAddress, {}, {}, 120},
}};

std::string_view pollColumnHeader(int column, Language lang);
bool isPollColumnEditable(int column);

// The most entries the device polls, and what adding one more says.
inline constexpr std::size_t kMaxPollEntries = kModbusItemCapacity;
inline constexpr std::string_view kPollTableFullMessage = "max 64";

// The label the name refusals give.
inline constexpr std::string_view kJsonNameLabelChinese = "json名";
inline constexpr std::string_view kJsonNameLabelEnglish = "JsonName";

struct PollRow {
    ModbusItem item;   // item.jsonName holds the stored bytes only while nameIsText is false
    std::string name;  // the name as the table shows it
    // False for a stored name that is no clean text in the encoding it was read with: its
    // bytes are kept as they are until the cell is edited.
    bool nameIsText = true;
    friend bool operator==(const PollRow&, const PollRow&) = default;
};

class PollTable {
public:
    // The record's table, names read in `enc`. A count above 64 gives an empty table.
    static PollTable fromRecord(const DeviceParams& params, NameEncoding enc);

    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    const PollRow& row(std::size_t i) const { return m_rows.at(i); }
    const std::vector<PollRow>& rows() const { return m_rows; }

    // A cell as the table shows it (a poll file holds the Chinese type names).
    std::string cellText(std::size_t row, int column, Language lang = Language::Chinese) const;
    std::vector<std::uint32_t> cacheAddresses() const;

    // Stores what the user typed into a cell, as the table reads cells: numbers never fail
    // (no number reads as 0, wider values keep their low bits), a type name that is none of
    // the eleven in either language reads as BYTE. A name GBK cannot hold, or too long for its
    // field in `enc`, is refused with a message and the cell keeps its value. Trailing line breaks
    // of a name are dropped. The serial number and cache address columns are not editable.
    std::optional<std::string> setCell(std::size_t row, int column, std::string_view text,
                                       NameEncoding enc, Language lang);

    // Appends an entry with the new-entry values, or refuses a full table ("max 64").
    std::optional<std::string> add();
    // Removes a row; the rows after it move up. False for a row that does not exist.
    bool remove(std::size_t row);
    // Replaces the whole table (at most 64 rows of text names, as a file import gives them).
    void assign(std::vector<PollRow> rows);

    // Writes the count and the entries into the record, names stored in `enc`. Refuses, with a
    // message naming the row, a name that does not fit its field in that encoding (the
    // encoding may have changed since the name was typed); then nothing is written.
    std::optional<std::string> toRecord(DeviceParams& params, NameEncoding enc,
                                        Language lang) const;

    friend bool operator==(const PollTable&, const PollTable&) = default;

private:
    std::vector<PollRow> m_rows;
};

}  // namespace dtu
