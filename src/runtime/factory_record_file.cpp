#include "factory_record_file.h"

#include <algorithm>

#include "file_io.h"
#include "status/factory_record.h"

namespace dtu {

void appendFactoryRecord(const QString& dir, const DeviceParams& params, const QDateTime& now) {
    const auto mac = params.bytes(fields::macAddress);
    // Before the device has said who it is there is nothing to record.
    if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; })) return;

    const QDate d = now.date();
    const QTime t = now.time();
    const FactoryRecord record =
        factoryRecord(params, {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
    const std::string base = dir.toStdString() + "/";

    IniDocument records = readIniFile(base + record.recordFile);
    applyFactoryRecord(records, record);
    writeIniFile(base + record.recordFile, records);

    IniDocument printList = readIniFile(base + record.printFile);
    if (applyPrintListEntry(printList, record)) writeIniFile(base + record.printFile, printList);
}

}  // namespace dtu
