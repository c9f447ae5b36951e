#include "status/factory_record.h"

#include "text/gbk.h"

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
    // No blank between the IMEI and "version": production tools parse the line as it is.
    r.value = "model:" + gbkToDisplay(params.text(f::deviceModel)) +
              " imei:" + gbkToDisplay(params.text(f::imei)) +
              "version:" + gbkToDisplay(params.text(f::firmwareVersion)) + ' ' + timeText(now);
    return r;
}

void applyFactoryRecord(IniDocument& recordDoc, const FactoryRecord& record) {
    recordDoc.set(record.section, record.key, record.value);
}

bool applyPrintListEntry(IniDocument& printDoc, const FactoryRecord& record) {
    // Entries are read through a 1024-byte buffer: only their first 1023 bytes are compared.
    constexpr std::size_t kReadLimit = 1023;
    for (int n = 0;; ++n) {
        const std::string key = std::to_string(n);
        const std::string value = printDoc.value(record.section, key).value_or(std::string());
        if (value.empty()) {
            printDoc.set(record.section, key, record.key);
            return true;
        }
        if (value.substr(0, kReadLimit).find(record.key) != std::string::npos) return false;
    }
}

}  // namespace dtu
