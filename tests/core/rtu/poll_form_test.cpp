#include "rtu/poll_form.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/random_params.h"

namespace dtu {
namespace {

namespace f = fields;
using test::hex;

std::vector<std::string> rowTexts(const PollTable& t, std::size_t row) {
    std::vector<std::string> out;
    for (int c = 0; c < kPollColumnCount; ++c) out.push_back(t.cellText(row, c));
    return out;
}

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// The edge block of a random record, with the boxes as a box stores them.
DeviceParams randomEdgeRecord(std::mt19937& rng) {
    DeviceParams p = test::randomSavedRecord(
        rng, [](const FieldInfo&) { return true; }, 0);
    p.set(f::modbusTimestamp, p.get(f::modbusTimestamp) & 1);
    p.set(f::modbusJsonArray, p.get(f::modbusJsonArray) & 1);
    p.set(f::uploadTarget, static_cast<std::uint8_t>(0x55 + rng() % 5));
    return p;
}

TEST(PollTable, AddGivesTheNewEntryValuesWhateverTheSlotHeld) {
    DeviceParams p;
    // A slot used before: its k, b and emergency mark must not come back.
    const auto slot = f::modbusItem(0);
    p.set(slot.scaleK, 55555);
    p.set(slot.offsetB, 0x80000007);
    p.set(slot.emergencyData, 1);
    PollForm form;
    form.open(p, false);
    EXPECT_TRUE(form.table.empty());

    ASSERT_EQ(form.table.add(), std::nullopt);
    EXPECT_EQ(rowTexts(form.table, 0),
              (std::vector<std::string>{"1", "1", "3", "0", "1", "BYTE", "0", "k0", "0", "0", "0",
                                        "0.0000", "0.0000", "0"}));
    ASSERT_EQ(form.table.add(), std::nullopt);
    EXPECT_EQ(form.table.cellText(1, kPollName), "k1");
    EXPECT_EQ(form.table.cellText(1, kPollCacheAddress), "2");

    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::modbusItemCount), 2);
    EXPECT_EQ(p.get(slot.scaleK), 0u);
    EXPECT_EQ(p.get(slot.offsetB), 0u);
    EXPECT_EQ(p.get(slot.emergencyData), 0);
    EXPECT_EQ(p.textView(f::modbusItem(1).jsonName), "k1");
}

TEST(PollTable, HoldsAtMost64Entries) {
    PollTable t;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(t.add(), std::nullopt) << i;
    EXPECT_EQ(t.add(), "max 64");
    EXPECT_EQ(t.size(), 64u);
    EXPECT_EQ(t.cellText(63, kPollName), "k63");
}

TEST(PollTable, DeletingRenumbersAndMovesTheCacheAddresses) {
    PollTable t;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(t.add(), std::nullopt);
    t.setCell(0, kPollCount, "10", NameEncoding::Gbk, Language::Chinese);
    t.setCell(1, kPollCount, "4", NameEncoding::Gbk, Language::Chinese);
    EXPECT_EQ(t.cellText(2, kPollCacheAddress), "28");
    ASSERT_TRUE(t.remove(1));
    EXPECT_FALSE(t.remove(2));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t.cellText(0, kPollSerial), "1");
    EXPECT_EQ(t.cellText(1, kPollSerial), "2");
    EXPECT_EQ(t.cellText(1, kPollName), "k2");
    EXPECT_EQ(t.cellText(1, kPollCacheAddress), "20");
}

TEST(PollTable, CellsReadAsTheTableReadsThem) {
    PollTable t;
    ASSERT_EQ(t.add(), std::nullopt);
    auto set = [&](int column, std::string_view text) {
        return t.setCell(0, column, text, NameEncoding::Gbk, Language::Chinese);
    };
    set(kPollAddress, "300");
    EXPECT_EQ(t.cellText(0, kPollAddress), "44");
    set(kPollAddress, "abc");
    EXPECT_EQ(t.cellText(0, kPollAddress), "0");
    set(kPollStart, "65537");
    EXPECT_EQ(t.cellText(0, kPollStart), "1");
    set(kPollThreshold1, "-20");
    EXPECT_EQ(t.cellText(0, kPollThreshold1), "-20");
    set(kPollType, "浮点型(ABCD)");
    EXPECT_EQ(t.row(0).item.dataType, 2);
    set(kPollType, "Float(CDAB)");  // an English window's cell
    EXPECT_EQ(t.row(0).item.dataType, 3);
    EXPECT_EQ(t.cellText(0, kPollType, Language::English), "Float(CDAB)");
    set(kPollType, "Float");
    EXPECT_EQ(t.row(0).item.dataType, 0);
    set(kPollK, "0.57");
    EXPECT_EQ(t.cellText(0, kPollK), "0.5700");
    set(kPollB, "-1.5");
    EXPECT_EQ(t.row(0).item.offsetB, 0x80003A98u);
    set(kPollName, "温度\r\n");
    EXPECT_EQ(t.cellText(0, kPollName), "温度");
    set(kPollSerial, "9");
    set(kPollCacheAddress, "9");
    EXPECT_EQ(t.cellText(0, kPollSerial), "1");
    EXPECT_EQ(t.cellText(0, kPollCacheAddress), "0");
}

TEST(PollTable, ANameThatDoesNotFitIsRefusedAndTheCellKeepsItsValue) {
    PollTable t;
    ASSERT_EQ(t.add(), std::nullopt);
    const auto refusal =
        t.setCell(0, kPollName, repeat("温", 20), NameEncoding::DeviceUtf8, Language::English);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("57"), std::string::npos) << *refusal;
    EXPECT_EQ(t.cellText(0, kPollName), "k0");
    EXPECT_EQ(t.setCell(0, kPollName, repeat("温", 20), NameEncoding::Gbk, Language::English),
              std::nullopt);
    EXPECT_EQ(t.cellText(0, kPollName), repeat("温", 20));
}

TEST(PollForm, OpenThenOkGivesBackTheRecord) {
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        const DeviceParams original = randomEdgeRecord(rng);
        PollForm form;
        form.open(original, round % 2 == 1);
        DeviceParams back = original;
        ASSERT_EQ(form.accept(back, Language::Chinese), std::nullopt) << round;
        ASSERT_EQ(back, original) << round;
    }
}

TEST(PollForm, OkWritesTheWholeBlockAndNothingElse) {
    DeviceParams p;
    p.set(f::modbusTimeout, 3);
    p.image()[kEdgeBlockOffset + kEdgeBlockSize - 1] = 0x42;  // an unused byte of the block
    PollForm form;
    form.open(p, false);
    form.timeout = "9";
    form.mapStart = "70000";
    form.relayFollow = 2;
    form.timeoutAction = -1;  // no selection keeps the field
    p.set(f::modbusTimeoutAction, 7);
    p.image()[kEdgeBlockOffset + kEdgeBlockSize - 1] = 0;  // changed behind the form's back
    p.set(f::serverAPort, 502);

    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::modbusTimeout), 9);
    EXPECT_EQ(p.get(f::modbusMapStart), 70000u);
    EXPECT_EQ(p.get(f::modbusRelayFollow), 2);
    EXPECT_EQ(p.get(f::modbusTimeoutAction), 0);  // the copy's value, as opened
    EXPECT_EQ(p.image()[kEdgeBlockOffset + kEdgeBlockSize - 1], 0x42);
    EXPECT_EQ(p.get(f::serverAPort), 502);
}

TEST(PollForm, TheUploadTargetIsNormalisedOnlyByOk) {
    DeviceParams p;
    PollForm form;
    form.open(p, false);
    EXPECT_EQ(p.get(f::uploadTarget), 0);  // opening leaves the record alone
    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::uploadTarget), 0x55);
    p.set(f::uploadTarget, 0x59);
    form.open(p, false);
    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::uploadTarget), 0x59);
}

TEST(PollForm, TheTimestampIsOfferedWithJsonWithImeiOnlyAndKept) {
    PollForm form;
    form.open(DeviceParams{}, false);
    form.uploadFormat = 1;
    EXPECT_TRUE(form.timestampEnabled());
    form.timestamp = true;
    form.uploadFormat = 5;
    EXPECT_FALSE(form.timestampEnabled());
    DeviceParams p;
    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::modbusTimestamp), 1);
    EXPECT_EQ(p.get(f::modbusUploadFormat), 5);
}

TEST(PollForm, AStoredCountAbove64StartsEmptyAndOkStoresNone) {
    DeviceParams p;
    p.set(f::modbusItemCount, 65);
    PollForm form;
    form.open(p, false);
    EXPECT_TRUE(form.table.empty());
    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::modbusItemCount), 0);
}

TEST(PollForm, TheEncodingBoxAppliesToEveryNameAndThePrefixOnOk) {
    DeviceParams p;
    p.set(f::modbusItemCount, 1);
    p.setText(f::modbusItem(0).jsonName, hex("CE C2 B6 C8"));  // 温度 in GBK
    p.setText(f::modbusPrefix, hex("CE C2"));
    PollForm form;
    form.open(p, false);
    EXPECT_EQ(form.table.cellText(0, kPollName), "温度");
    EXPECT_EQ(form.prefix, "温");
    form.utf8Names = true;
    ASSERT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(test::toBytes(p.text(f::modbusItem(0).jsonName)), hex("E6 B8 A9 E5 BA A6"));
    EXPECT_EQ(test::toBytes(p.text(f::modbusPrefix)), hex("E6 B8 A9"));
}

TEST(PollForm, ANameTooLongForTheNewEncodingRefusesOkAndWritesNothing) {
    DeviceParams p;
    p.set(f::modbusItemCount, 2);
    p.setText(f::modbusItem(0).jsonName, "ok");
    PollForm form;
    form.open(p, false);
    ASSERT_EQ(
        form.table.setCell(1, kPollName, repeat("温", 28), NameEncoding::Gbk, Language::Chinese),
        std::nullopt);
    form.utf8Names = true;  // 28 characters take 84 bytes now
    const DeviceParams before = p;
    const auto refusal = form.accept(p, Language::Chinese);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(*refusal, "序号2：json名不能超过57字节（一个汉字占3字节）");
    EXPECT_EQ(p, before);
}

TEST(PollForm, CountsTheSaveFrameAndRefusesOnOkATableTheSaveWouldRefuse) {
    DeviceParams p;
    PollForm form;
    form.open(p, false);
    const Lock lock = LockPassword{'1', '2', '3', '4', '5', '6', '7', '8'};
    EXPECT_EQ(form.saveFrameBytes(std::nullopt), 497u);  // the empty record's frame
    EXPECT_EQ(form.saveFrameBytes(lock), 497u + 9);

    // 64 entries of 27 bytes and their names fill the frame's 4096 bytes exactly.
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_EQ(form.table.add(), std::nullopt);
        ASSERT_EQ(form.table.setCell(i, kPollName, std::string(i < 15 ? 30 : 29, 'n'),
                                     NameEncoding::Gbk, Language::English),
                  std::nullopt);
    }
    EXPECT_EQ(form.saveFrameBytes(std::nullopt), 4096u);
    EXPECT_EQ(saveFrameUseText(4096, Language::Chinese), "保存帧：4096 / 4096 字节");
    DeviceParams accepted = p;
    EXPECT_EQ(form.accept(accepted, Language::English), std::nullopt);
    EXPECT_EQ(buildSaveFrame(accepted).size, 4096u);

    // One byte more, or the lock suffix the save adds, and OK says what the save would say.
    const DeviceParams before = p;
    const auto withLock = form.accept(p, Language::English, lock);
    ASSERT_TRUE(withLock.has_value());
    EXPECT_NE(withLock->find("4105 bytes, more than its 4096"), std::string::npos) << *withLock;
    ASSERT_EQ(form.table.setCell(0, kPollName, std::string(31, 'n'), NameEncoding::Gbk,
                                 Language::English),
              std::nullopt);
    EXPECT_EQ(form.saveFrameBytes(std::nullopt), 4097u);
    EXPECT_TRUE(form.accept(p, Language::Chinese).has_value());
    EXPECT_EQ(p, before);
}

TEST(PollForm, ThePrefixIsRefusedRatherThanCut) {
    DeviceParams p;
    PollForm form;
    form.open(p, false);
    form.prefix = std::string(200, 'a');
    const auto refusal = form.accept(p, Language::English);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(*refusal, "prefix: at most 127 bytes (a Chinese character takes 2)");
    EXPECT_EQ(p, DeviceParams{});

    form.prefix = std::string(127, 'a');
    ASSERT_EQ(form.accept(p, Language::English), std::nullopt);
    EXPECT_EQ(p.textView(f::modbusPrefix), std::string(127, 'a'));

    form.utf8Names = true;
    form.prefix = repeat("温", 42) + "a";  // 127 bytes in the device's UTF-8
    ASSERT_EQ(form.accept(p, Language::English), std::nullopt);
    form.prefix = repeat("温", 43);  // 129
    EXPECT_TRUE(form.accept(p, Language::English).has_value());
}

TEST(PollForm, StoredBytesThatAreNoTextSurviveUntilEdited) {
    DeviceParams p;
    p.set(f::modbusItemCount, 2);
    p.setText(f::modbusItem(0).jsonName, hex("41 FF"));
    p.setText(f::modbusItem(1).jsonName, hex("42 FF 41"));
    p.setText(f::modbusPrefix, hex("FF FF 7B"));
    PollForm form;
    form.open(p, false);
    EXPECT_EQ(form.table.cellText(0, kPollName), "A\\xFF");
    ASSERT_TRUE(form.table.remove(0));  // the kept bytes move with their row
    DeviceParams back = p;
    ASSERT_EQ(form.accept(back, Language::Chinese), std::nullopt);
    EXPECT_EQ(back.get(f::modbusItemCount), 1);
    EXPECT_EQ(test::toBytes(back.text(f::modbusItem(0).jsonName)), hex("42 FF 41"));
    EXPECT_EQ(test::toBytes(back.text(f::modbusPrefix)), hex("FF FF 7B"));

    form.prefix = "id";
    ASSERT_EQ(form.table.setCell(0, kPollName, "B", NameEncoding::Gbk, Language::Chinese),
              std::nullopt);
    ASSERT_EQ(form.accept(back, Language::Chinese), std::nullopt);
    EXPECT_EQ(back.textView(f::modbusItem(0).jsonName), "B");
    EXPECT_EQ(back.textView(f::modbusPrefix), "id");
}

}  // namespace
}  // namespace dtu
