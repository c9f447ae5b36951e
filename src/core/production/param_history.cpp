#include "production/param_history.h"

#include <algorithm>
#include <array>

#include "files/param_file.h"
#include "production/provisioning.h"

namespace dtu {

namespace {

constexpr std::array<std::string_view, 4> kKindNames = {"read", "save", "restore", "batch"};

std::optional<std::string> textOrNull(const std::string& s) {
    if (s.empty()) return std::nullopt;
    return s;
}

}  // namespace

std::string_view historyKindName(HistoryKind kind) {
    return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<HistoryKind> historyKindFromName(std::string_view name) {
    const auto it = std::find(kKindNames.begin(), kKindNames.end(), name);
    if (it == kKindNames.end()) return std::nullopt;
    return static_cast<HistoryKind>(it - kKindNames.begin());
}

void setHistoryIdentity(HistoryEntry& entry, const DeviceParams& params) {
    const DeviceIdentity id = deviceIdentity(params);
    entry.imei = id.imei;
    entry.mac = id.mac;
    entry.model = id.model;
    entry.firmwareVersion = id.firmwareVersion;
}

std::optional<std::vector<std::uint8_t>> historyRecord(const DeviceParams& params) {
    if (isLockedConfig(params)) return std::nullopt;
    const auto image = paramsImage(params);
    return std::vector<std::uint8_t>(image.begin(), image.end());
}

std::optional<DeviceParams> paramsFromHistoryRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kParamFileSize) return std::nullopt;
    DeviceParams params;
    loadParamsImage(bytes, params);
    return params;
}

std::vector<RecordCell> historyCells(const HistoryEntry& e) {
    return {
        {"time", e.time},
        {"station", e.station},
        {"port", textOrNull(e.port)},
        {"imei", textOrNull(e.imei)},
        {"mac", textOrNull(e.mac)},
        {"model", textOrNull(e.model)},
        {"firmware_version", textOrNull(e.firmwareVersion)},
        {"kind", std::string(historyKindName(e.kind))},
        {"result", e.result},
        {"params_sha256", textOrNull(e.paramsSha256)},
    };
}

std::optional<HistoryEntry> historyEntryFromCells(const std::vector<RecordCell>& cells,
                                                  std::string& error) {
    HistoryEntry e;
    std::string kind;
    const std::pair<std::string_view, std::string*> columns[] = {
        {"time", &e.time},
        {"station", &e.station},
        {"port", &e.port},
        {"imei", &e.imei},
        {"mac", &e.mac},
        {"model", &e.model},
        {"firmware_version", &e.firmwareVersion},
        {"kind", &kind},
        {"result", &e.result},
        {"params_sha256", &e.paramsSha256},
    };
    for (const auto& [name, field] : columns) {
        const auto cell = std::find_if(cells.begin(), cells.end(),
                                       [&](const RecordCell& c) { return c.name == name; });
        if (cell == cells.end()) {
            error = "no " + std::string(name);
            return std::nullopt;
        }
        if (cell->value) *field = *cell->value;
    }
    const auto k = historyKindFromName(kind);
    if (!k || e.time.empty()) {
        error = "no time or kind";
        return std::nullopt;
    }
    e.kind = *k;
    return e;
}

std::vector<FieldDifference> historyChanges(const std::optional<DeviceParams>& before,
                                            const std::optional<DeviceParams>& after) {
    if (!before || !after) return {};
    return diffParams(*before, *after);
}

}  // namespace dtu
