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

    // The texts are the device's own GBK bytes, as the record's readers expect them.
    EXPECT_EQ(
        factoryRecord(device("\x01\x02\x03\x04\x05\x06", "\xCE\xC2\xB6\xC8"), kAfternoon).value,
        "model:\xCE\xC2\xB6\xC8 imei:861234567890123version:V2.1 14:30:59");
}

IniScan scanned(IniScan scan, std::string_view text) {
    scan.feed(text);
    scan.finish();
    return scan;
}

// The file after the record's edits, as each read would leave it.
std::string withRecord(std::string text, const FactoryRecord& r) {
    const IniSplice edit = recordFileEdit(scanned(recordFileScan(r), text), r);
    return text.replace(edit.offset, edit.length, edit.text);
}

// Whether the print list changed, and the text after it.
bool withPrintEntry(std::string& text, const FactoryRecord& r) {
    const auto edit = printListEdit(scanned(printListScan(r), text), r);
    if (edit) text.replace(edit->offset, edit->length, edit->text);
    return edit.has_value();
}

TEST(FactoryRecord, RecordFileKeepsOneLinePerDevice) {
    const DeviceParams a = device("\x01\x02\x03\x04\x05\x06", "A");
    std::string text = withRecord("", factoryRecord(a, kMorning));
    text = withRecord(text, factoryRecord(device("\x11\x12\x13\x14\x15\x16", "B"), kMorning));
    text = withRecord(text, factoryRecord(a, kAfternoon));
    EXPECT_EQ(text,
              "[dtu factory 2026-01-05]\n"
              "010203040506=model:A imei:861234567890123version:V2.1 14:30:59\n"
              "111213141516=model:B imei:861234567890123version:V2.1 09:07:03\n");
    // Another tool's key in capitals is the same device; its line keeps its spacing.
    EXPECT_EQ(withRecord("[dtu factory 2026-01-05]\r\n0A0B0C0D0E0F = x\r\n",
                         factoryRecord(device("\x0a\x0b\x0c\x0d\x0e\x0f", "C"), kMorning)),
              "[dtu factory 2026-01-05]\r\n"
              "0A0B0C0D0E0F = model:C imei:861234567890123version:V2.1 09:07:03\r\n");
}

TEST(PrintList, EachDeviceOncePerDayInOrderFirstSeen) {
    const FactoryRecord a = factoryRecord(device("\x01\x02\x03\x04\x05\x06", "A"), kMorning);
    const FactoryRecord b = factoryRecord(device("\x11\x12\x13\x14\x15\x16", "B"), kMorning);
    std::string text;
    EXPECT_TRUE(withPrintEntry(text, a));
    EXPECT_TRUE(withPrintEntry(text, b));
    EXPECT_FALSE(withPrintEntry(text, a));
    EXPECT_FALSE(
        withPrintEntry(text, factoryRecord(device("\x11\x12\x13\x14\x15\x16", "B"), kAfternoon)));
    EXPECT_EQ(text, "[dtu factory 2026-01-05]\n0=010203040506\n1=111213141516\n");
}

TEST(PrintList, FillsTheFirstGapAndMatchesInsideValues) {
    const FactoryRecord a = factoryRecord(device("\x01\x02\x03\x04\x05\x06", "A"), kMorning);
    std::string text = "[dtu factory 2026-01-05]\n0=aaaaaaaaaaaa\n1=\n2=bbbbbbbbbbbb\n";
    EXPECT_TRUE(withPrintEntry(text, a));
    EXPECT_EQ(text, "[dtu factory 2026-01-05]\n0=aaaaaaaaaaaa\n1=010203040506\n2=bbbbbbbbbbbb\n");

    // A value that merely contains the MAC counts as the device being listed.
    text = "[dtu factory 2026-01-05]\n0=x010203040506 printed\n";
    EXPECT_FALSE(withPrintEntry(text, a));

    // Another day's section does not count.
    text = "[dtu factory 2026-01-04]\n0=010203040506\n";
    EXPECT_TRUE(withPrintEntry(text, a));
    EXPECT_EQ(text,
              "[dtu factory 2026-01-04]\n0=010203040506\n\n[dtu factory 2026-01-05]\n"
              "0=010203040506\n");
}

}  // namespace
}  // namespace dtu
