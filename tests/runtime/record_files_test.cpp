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
    std::string error;
    ASSERT_TRUE(savePcSettingsFile(s, error, path)) << error;  // the folder is made on the way
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
    EXPECT_FALSE(
        appendFactoryRecord(dir.filePath("absent"), device("\x01\x02\x03\x04\x05\x06"), morning)
            .isEmpty());
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

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(FactoryRecordFile, ALargeRecordGainsOneEntryAndKeepsEveryOtherByte) {
    QTemporaryDir dir;
    const QString path = dir.filePath("factory-2026-12-09.ini");
    // 20 MB from other tools and earlier days: CR LF, comments, marks, spaced keys.
    QByteArray old = "; line 3 station\r\n[dtu factory 2026-12-08]\r\n";
    for (int i = 0; old.size() < 20'000'000; ++i)
        old += QByteArray::number(i).rightJustified(12, '0') +
               " = model:DTU-X imei:861234567890123version:V2.1 09:15:00\r\n";
    old +=
        "[dtu factory 2026-12-09]\r\nffeeddccbbaa=model:DTU-Y imei:1version:V1 08:00:00\r\n"
        "checked by QA\r\n";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(old), old.size());
    }
    DeviceParams p = device("\x01\x02\x03\x04\x05\x06");
    p.setText(fields::deviceModel, "\xCE\xC2\xB6\xC8");  // GBK, as the device sends it
    const QDateTime morning(QDate(2026, 12, 9), QTime(9, 15, 0));
    EXPECT_TRUE(appendFactoryRecord(dir.path(), p, morning).isEmpty());
    const QByteArray entry = "010203040506=model:\xCE\xC2\xB6\xC8 imei:version: 09:15:00\r\n";
    EXPECT_TRUE(readBytes(path) == old + entry);

    // Read again: only the entry's value changes.
    p.setText(fields::deviceModel, "DTU-Z");
    EXPECT_TRUE(appendFactoryRecord(dir.path(), p, morning.addSecs(60)).isEmpty());
    EXPECT_TRUE(readBytes(path) == old + "010203040506=model:DTU-Z imei:version: 09:16:00\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(FactoryRecordFile, ARecordThatCannotBeReadIsLeftAloneAndNamed) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("factory-2026-12-09.ini"));
    const QStringList failures = appendFactoryRecord(dir.path(), device("\x01\x02\x03\x04\x05\x06"),
                                                     QDateTime(QDate(2026, 12, 9), QTime()));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].contains("factory-2026-12-09.ini: not a regular file"));
    EXPECT_TRUE(QDir(dir.filePath("factory-2026-12-09.ini")).isEmpty());
    // The print list is a file of its own and still gets the device.
    EXPECT_EQ(readText(dir.filePath("print-2026-12-09.ini")),
              "[dtu factory 2026-12-09]\n0=010203040506\n");
}

}  // namespace
}  // namespace dtu
