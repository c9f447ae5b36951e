#include "status/factory_record.h"

#include <algorithm>
#include <cstdio>

#include "status/status_report.h"

namespace dtu {

namespace f = fields;

std::string dateText(const LocalDateTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2d", t.year, t.month, t.day);
    return buf;
}

std::string timeText(const LocalDateTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2d:%.2d:%.2d", t.hour, t.minute, t.second);
    return buf;
}

FactoryRecord factoryRecord(const DeviceParams& params, const LocalDateTime& now) {
    const std::string date = dateText(now);
    FactoryRecord r;
    r.recordFile = "factory-" + date + ".ini";
    r.printFile = "print-" + date + ".ini";
    r.section = "dtu factory " + date;
    r.key = macText(params);
    // No blank between the IMEI and "version": production tools parse the line as it is, and
    // read its texts as the device's own GBK bytes.
    r.value = "model:" + std::string(params.textView(f::deviceModel)) +
              " imei:" + std::string(params.textView(f::imei)) +
              "version:" + std::string(params.textView(f::firmwareVersion)) + ' ' + timeText(now);
    return r;
}

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isEqualIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

}  // namespace

IniScan recordFileScan(const FactoryRecord& record) {
    return IniScan(record.section,
                   [key = record.key](std::string_view k) { return isEqualIgnoreCase(k, key); });
}

IniSplice recordFileEdit(const IniScan& scan, const FactoryRecord& record) {
    return scan.set(record.key, record.value);
}

IniScan printListScan(const FactoryRecord& record) {
    return IniScan(record.section, [](std::string_view k) {
        return std::all_of(k.begin(), k.end(), [](char c) { return c >= '0' && c <= '9'; });
    });
}

std::optional<IniSplice> printListEdit(const IniScan& scan, const FactoryRecord& record) {
    // Entries are read through a 1024-byte buffer: only their first 1023 bytes are compared.
    constexpr std::size_t kReadLimit = 1023;
    for (int n = 0;; ++n) {
        const std::string key = std::to_string(n);
        const std::string value = scan.value(key).value_or(std::string());
        if (value.empty()) return scan.set(key, record.key);
        if (value.substr(0, kReadLimit).find(record.key) != std::string::npos) return std::nullopt;
    }
}

}  // namespace dtu
