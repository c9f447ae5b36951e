#pragma once

#include <string>

#include "files/ini.h"
#include "params/device_params.h"

namespace dtu {

// The PC's local date and time, as the caller reads its clock.
struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "%.4d-%.2d-%.2d" and "%.2d:%.2d:%.2d": the date and time forms of the production files.
std::string dateText(const LocalDateTime& t);
std::string timeText(const LocalDateTime& t);

// One production entry per device read, kept in two files per day for production tools:
// the record file maps each MAC to the device's identity, the print file lists each MAC once
// in the order first seen.
struct FactoryRecord {
    std::string recordFile;  // "factory-2026-12-09.ini"
    std::string printFile;   // "print-2026-12-09.ini"
    std::string section;     // "dtu factory 2026-12-09"
    std::string key;         // the MAC, 12 lower-case hex digits
    std::string value;       // "model:... imei:...version:... 14:03:59", the device's GBK bytes
};

FactoryRecord factoryRecord(const DeviceParams& params, const LocalDateTime& now);

// The day's record file maps the MAC to the identity line. The scan keeps only the MAC's key;
// the edit replaces its value or adds the line.
IniScan recordFileScan(const FactoryRecord& record);
IniSplice recordFileEdit(const IniScan& scan, const FactoryRecord& record);

// The day's print list: keys "0", "1", ... are walked in turn; the first missing or empty one
// takes the MAC, and a value that already holds it ends the walk with nothing to change.
IniScan printListScan(const FactoryRecord& record);
std::optional<IniSplice> printListEdit(const IniScan& scan, const FactoryRecord& record);

}  // namespace dtu
