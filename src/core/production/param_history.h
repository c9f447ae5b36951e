#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/param_json.h"
#include "params/device_params.h"
#include "production/record_text.h"

namespace dtu {

// What happened to a device's parameters when an entry was kept.
enum class HistoryKind { Read, Save, Restore, Batch };
std::string_view historyKindName(HistoryKind kind);
std::optional<HistoryKind> historyKindFromName(std::string_view name);

// The result texts of the entries the tool writes itself; a batch entry carries the batch's
// result name instead.
inline constexpr std::string_view kHistoryOk = "ok";
inline constexpr std::string_view kHistoryDiffers = "differs";  // a restore that did not read back

// One entry of a device's parameter history. Texts the device never reported are empty.
struct HistoryEntry {
    std::int64_t id = 0;  // given by the record
    std::string time;     // ISO 8601, UTC, with milliseconds
    std::string station;
    std::string port;
    std::string imei;
    std::string mac;
    std::string model;
    std::string firmwareVersion;
    HistoryKind kind = HistoryKind::Read;
    std::string result;
    std::string paramsSha256;  // of the record kept; empty when none was
};

// The entry with the identity of the device whose record this is.
void setHistoryIdentity(HistoryEntry& entry, const DeviceParams& params);

// The bytes the history keeps of a record: what a parameter file export writes. A locked
// configuration is meant to be written and never shown, so none of it is kept.
std::optional<std::vector<std::uint8_t>> historyRecord(const DeviceParams& params);
// A kept record back as a parameter set; nothing when it is not one (wrong size).
std::optional<DeviceParams> paramsFromHistoryRecord(std::span<const std::uint8_t> bytes);

// The entry's columns by name, in table order (no id), as `history --json/--csv` and the
// record's statements take them; and an entry from them.
std::vector<RecordCell> historyCells(const HistoryEntry& entry);
std::optional<HistoryEntry> historyEntryFromCells(const std::vector<RecordCell>& cells,
                                                  std::string& error);

// The fields that changed from one kept record to the next, with both values. Against no
// record at all (the device's first entry, or one kept without parameters) nothing changed.
std::vector<FieldDifference> historyChanges(const std::optional<DeviceParams>& before,
                                            const std::optional<DeviceParams>& after);

}  // namespace dtu
