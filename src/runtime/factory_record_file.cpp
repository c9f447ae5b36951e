#include "factory_record_file.h"

#include <algorithm>

#include "file_io.h"
#include "files/ini.h"
#include "status/factory_record.h"

namespace dtu {

namespace {

constexpr std::size_t kMaxRecordFile = 16 * 1024 * 1024;

IniDocument readIni(const std::string& path) {
    std::string error;
    const auto bytes = readFile(path, error, kMaxRecordFile);
    if (!bytes) return {};
    return IniDocument::parse(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

void writeIni(const std::string& path, const IniDocument& doc) {
    const std::string text = doc.toText();
    std::string error;
    writeFileAtomic(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), error);
}

}  // namespace

void appendFactoryRecord(const QString& dir, const DeviceParams& params, const QDateTime& now) {
    const auto mac = params.bytes(fields::macAddress);
    // Before the device has said who it is there is nothing to record.
    if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; })) return;

    const QDate d = now.date();
    const QTime t = now.time();
    const FactoryRecord record =
        factoryRecord(params, {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
    const std::string base = dir.toStdString() + "/";

    IniDocument records = readIni(base + record.recordFile);
    applyFactoryRecord(records, record);
    writeIni(base + record.recordFile, records);

    IniDocument printList = readIni(base + record.printFile);
    if (applyPrintListEntry(printList, record)) writeIni(base + record.printFile, printList);
}

}  // namespace dtu
