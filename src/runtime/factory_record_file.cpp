#include "factory_record_file.h"

#include <algorithm>

#include "file_io.h"
#include "status/factory_record.h"

namespace dtu {

QStringList appendFactoryRecord(const QString& dir, const DeviceParams& params,
                                const QDateTime& now) {
    const auto mac = params.bytes(fields::macAddress);
    // Before the device has said who it is there is nothing to record.
    if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; })) return {};

    const QDate d = now.date();
    const QTime t = now.time();
    const FactoryRecord record =
        factoryRecord(params, {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
    const std::string base = dir.toStdString() + "/";
    QStringList failures;
    std::string error;

    IniScan records = recordFileScan(record);
    const std::string recordPath = base + record.recordFile;
    if (!scanFile(recordPath, records, error) ||
        !spliceFile(recordPath, records.size(), recordFileEdit(records, record), error))
        failures << QString::fromStdString(error);

    IniScan printList = printListScan(record);
    const std::string printPath = base + record.printFile;
    if (!scanFile(printPath, printList, error)) {
        failures << QString::fromStdString(error);
    } else if (const auto edit = printListEdit(printList, record);
               edit && !spliceFile(printPath, printList.size(), *edit, error)) {
        failures << QString::fromStdString(error);
    }
    return failures;
}

}  // namespace dtu
