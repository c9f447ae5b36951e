#include "status/factory_record.h"

#include <gtest/gtest.h>

#include <string>

namespace dtu {
namespace {

namespace f = fields;

// mac6: six bytes, any of which may be zero.
DeviceParams device(const char* mac6, std::string_view model) {
    DeviceParams p;
    p.setBytes(f::macAddress, std::span(reinterpret_cast<const std::uint8_t*>(mac6), 6));
    p.setText(f::imei, std::string_view("861234567890123"));
    p.setText(f::deviceModel, model);
    p.setText(f::firmwareVersion, std::string_view("V2.1"));
    return p;
}

const LocalDateTime kMorning{2026, 1, 5, 9, 7, 3};
const LocalDateTime kAfternoon{2026, 1, 5, 14, 30, 59};

TEST(FactoryRecord, NamesAndLine) {
    const FactoryRecord r = factoryRecord(device("\x00\x1B\x2C\x3D\x4E\xFF", "DTU-X4"), kMorning);
    EXPECT_EQ(r.recordFile, "factory-2026-01-05.ini");
    EXPECT_EQ(r.printFile, "print-2026-01-05.ini");
    EXPECT_EQ(r.section, "dtu factory 2026-01-05");
    EXPECT_EQ(r.key, "001b2c3d4eff");
    EXPECT_EQ(r.value, "model:DTU-X4 imei:861234567890123version:V2.1 09:07:03");

    // The model is GBK in the record and UTF-8 in the file.
    EXPECT_EQ(
        factoryRecord(device("\x01\x02\x03\x04\x05\x06", "\xCE\xC2\xB6\xC8"), kAfternoon).value,
        "model:温度 imei:861234567890123version:V2.1 14:30:59");
}

TEST(FactoryRecord, RecordFileKeepsOneLinePerDevice) {
    IniDocument doc;
    const DeviceParams a = device("\x01\x02\x03\x04\x05\x06", "A");
    applyFactoryRecord(doc, factoryRecord(a, kMorning));
    applyFactoryRecord(doc, factoryRecord(device("\x11\x12\x13\x14\x15\x16", "B"), kMorning));
    applyFactoryRecord(doc, factoryRecord(a, kAfternoon));
    EXPECT_EQ(doc.toText(),
              "[dtu factory 2026-01-05]\n"
              "010203040506=model:A imei:861234567890123version:V2.1 14:30:59\n"
              "111213141516=model:B imei:861234567890123version:V2.1 09:07:03\n");
}

TEST(PrintList, EachDeviceOncePerDayInOrderFirstSeen) {
    const FactoryRecord a = factoryRecord(device("\x01\x02\x03\x04\x05\x06", "A"), kMorning);
    const FactoryRecord b = factoryRecord(device("\x11\x12\x13\x14\x15\x16", "B"), kMorning);
    IniDocument doc;
    EXPECT_TRUE(applyPrintListEntry(doc, a));
    EXPECT_TRUE(applyPrintListEntry(doc, b));
    // Read again later the same day, through the file as it was written.
    doc = IniDocument::parse(doc.toText());
    EXPECT_FALSE(applyPrintListEntry(doc, a));
    EXPECT_FALSE(applyPrintListEntry(
        doc, factoryRecord(device("\x11\x12\x13\x14\x15\x16", "B"), kAfternoon)));
    EXPECT_EQ(doc.toText(), "[dtu factory 2026-01-05]\n0=010203040506\n1=111213141516\n");
}

TEST(PrintList, FillsTheFirstGapAndMatchesInsideValues) {
    const FactoryRecord a = factoryRecord(device("\x01\x02\x03\x04\x05\x06", "A"), kMorning);
    IniDocument doc =
        IniDocument::parse("[dtu factory 2026-01-05]\n0=aaaaaaaaaaaa\n1=\n2=bbbbbbbbbbbb\n");
    EXPECT_TRUE(applyPrintListEntry(doc, a));
    EXPECT_EQ(doc.value(a.section, "1"), "010203040506");
    EXPECT_EQ(doc.value(a.section, "2"), "bbbbbbbbbbbb");

    // A value that merely contains the MAC counts as the device being listed.
    doc = IniDocument::parse("[dtu factory 2026-01-05]\n0=x010203040506 printed\n");
    EXPECT_FALSE(applyPrintListEntry(doc, a));
    EXPECT_FALSE(doc.value(a.section, "1").has_value());

    // Another day's section does not count.
    doc = IniDocument::parse("[dtu factory 2026-01-04]\n0=010203040506\n");
    EXPECT_TRUE(applyPrintListEntry(doc, a));
    EXPECT_EQ(doc.value(a.section, "0"), "010203040506");
}

}  // namespace
}  // namespace dtu
