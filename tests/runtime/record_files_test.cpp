// The settings file and the production record files on a real file system.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "factory_record_file.h"
#include "pc_settings_file.h"

namespace dtu {
namespace {

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(PcSettingsFile, MissingFileGivesDefaultsAndASaveReadsBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/serialTogprs.ini");
    EXPECT_EQ(loadPcSettingsFile(path), PcSettings{});

    PcSettings s;
    s.portIndex = 3;
    s.baudIndex = 0;  // "AUTO"
    s.language = 1;
    s.factoryResetAfterUpgrade = 1;
    ASSERT_TRUE(savePcSettingsFile(s, path));  // the folder is made on the way
    EXPECT_EQ(loadPcSettingsFile(path), s);
    EXPECT_TRUE(
        readText(path).startsWith("[*****************pc serial****************]\nserial=3\n"));
}

DeviceParams device(const char* mac6) {
    DeviceParams p;
    p.setBytes(fields::macAddress, std::span(reinterpret_cast<const std::uint8_t*>(mac6), 6));
    p.setText(fields::deviceModel, "DTU-X");
    return p;
}

TEST(FactoryRecordFile, OneEntryPerDeviceAndDayOnlyWhereTheFolderExists) {
    QTemporaryDir dir;
    const QDateTime morning(QDate(2026, 12, 9), QTime(9, 15, 0));
    const QDateTime noon(QDate(2026, 12, 9), QTime(12, 0, 0));
    appendFactoryRecord(dir.filePath("absent"), device("\x01\x02\x03\x04\x05\x06"), morning);
    EXPECT_FALSE(QDir(dir.filePath("absent")).exists());

    appendFactoryRecord(dir.path(), device("\x01\x02\x03\x04\x05\x06"), morning);
    appendFactoryRecord(dir.path(), device("\x0a\x0b\x0c\x0d\x0e\x0f"), morning);
    appendFactoryRecord(dir.path(), device("\x01\x02\x03\x04\x05\x06"), noon);
    appendFactoryRecord(dir.path(), DeviceParams{}, noon);  // no identity yet: not recorded

    EXPECT_EQ(readText(dir.filePath("print-2026-12-09.ini")),
              "[dtu factory 2026-12-09]\n0=010203040506\n1=0a0b0c0d0e0f\n");
    const QString records = readText(dir.filePath("factory-2026-12-09.ini"));
    EXPECT_TRUE(records.contains("010203040506=model:DTU-X imei:version: 12:00:00"))
        << records.toStdString();
    EXPECT_TRUE(records.contains("0a0b0c0d0e0f=model:DTU-X imei:version: 09:15:00"));
    EXPECT_FALSE(records.contains("000000000000"));
}

}  // namespace
}  // namespace dtu
