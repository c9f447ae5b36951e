#include "files/param_json.h"

#include <algorithm>
#include <unordered_set>

#include "params/field_value.h"
#include "text/json.h"

namespace dtu {

namespace {

bool allZero(std::span<const std::uint8_t> b) {
    return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
}

std::span<const std::uint8_t> entryBytes(const DeviceParams& p, const FieldInfo& f) {
    return p.image().subspan(f.offset, f.size);
}

// Polling records worth showing: those the count says are in use, and any later record that
// still holds data.
int usedPollRecords(const DeviceParams& p) {
    int used = std::min<int>(p.get(fields::modbusItemCount), kModbusItemCapacity);
    for (int r = kModbusItemCapacity - 1; r >= used; --r) {
        const auto rec = p.image().subspan(kModbusItemsOffset + std::size_t(r) * kModbusItemSize,
                                           kModbusItemSize);
        if (!allZero(rec)) {
            used = r + 1;
            break;
        }
    }
    return used;
}

template <class Fn>
void forEachShown(const DeviceParams& p, Fn fn) {
    const int used = usedPollRecords(p);
    for (const auto& f : recordLayout()) {
        if (f.reserved && allZero(entryBytes(p, f))) continue;
        if (f.modbusRecord >= used) continue;
        fn(f);
    }
}

// The device a locked configuration was read from, as the status panel names it.
constexpr std::string_view kIdentityFields[] = {"deviceModel", "firmwareVersion", "imei", "iccid",
                                                "macAddress"};

}  // namespace

std::string paramsToJson(const DeviceParams& p) {
    std::string out = "{\n";
    bool first = true;
    forEachShown(p, [&](const FieldInfo& f) {
        if (!first) out += ",\n";
        first = false;
        out += "  " + jsonQuote(f.name) + ": " + fieldValueJson(p, f);
    });
    out += "\n}\n";
    return out;
}

bool paramsFromJson(std::string_view json, DeviceParams& out, std::string& error) {
    JsonError jerr;
    const auto doc = parseJson(json, &jerr);
    if (!doc) {
        error = "invalid JSON at byte " + std::to_string(jerr.offset) + ": " + jerr.message;
        return false;
    }
    if (!doc->isObject()) {
        error = "expected a JSON object of field names and values";
        return false;
    }
    DeviceParams result;
    std::unordered_set<std::string_view> seen;
    for (const auto& [name, value] : doc->object()) {
        const FieldInfo* f = findField(name);
        if (!f) {
            error = "unknown field: " + name;
            return false;
        }
        if (!seen.insert(f->name).second) {
            error = "field given twice: " + name;
            return false;
        }
        if (auto why = setFieldValue(result, *f, value); !why.empty()) {
            error = name + ": " + why;
            return false;
        }
    }
    out = result;
    return true;
}

std::vector<std::string> paramsToLines(const DeviceParams& p) {
    std::vector<std::string> lines;
    forEachShown(
        p, [&](const FieldInfo& f) { lines.push_back(f.name + " = " + fieldValueJson(p, f)); });
    return lines;
}

std::vector<std::string> lockedParamsToLines(const DeviceParams& p) {
    std::vector<std::string> lines{"locked = true"};
    for (const std::string_view name : kIdentityFields) {
        const FieldInfo& f = *findField(name);
        lines.push_back(f.name + " = " + fieldValueJson(p, f));
    }
    return lines;
}

std::string lockedParamsToJson(const DeviceParams& p) {
    std::string out = "{\n  \"locked\": true";
    for (const std::string_view name : kIdentityFields) {
        const FieldInfo& f = *findField(name);
        out += ",\n  " + jsonQuote(f.name) + ": " + fieldValueJson(p, f);
    }
    out += "\n}\n";
    return out;
}

std::vector<FieldDifference> diffParams(const DeviceParams& a, const DeviceParams& b) {
    std::vector<FieldDifference> diffs;
    for (const auto& f : recordLayout()) {
        const auto x = entryBytes(a, f);
        const auto y = entryBytes(b, f);
        if (!std::equal(x.begin(), x.end(), y.begin()))
            diffs.push_back({&f, fieldValueJson(a, f), fieldValueJson(b, f)});
    }
    return diffs;
}

}  // namespace dtu
