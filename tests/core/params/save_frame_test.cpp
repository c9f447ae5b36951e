#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "link/command_flow.h"
#include "params/field_table.h"
#include "params/item_codec.h"
#include "support/bytes.h"
#include "support/random_params.h"

namespace dtu {
namespace {

using test::Bytes;
using test::hex;
using test::toBytes;
namespace f = fields;

struct Item {
    std::uint8_t tag;
    Bytes value;
};

// Splits a save frame into its items, checking the framing on the way.
std::vector<Item> itemsOf(std::span<const std::uint8_t> frame) {
    std::vector<Item> items;
    EXPECT_GE(frame.size(), 7u);
    if (frame.size() < 7) return items;
    const std::size_t block = std::size_t(frame[3]) << 8 | frame[4];
    EXPECT_EQ(block + 7, frame.size());
    std::size_t pos = 5;
    while (pos + 3 <= 5 + block) {
        const std::size_t len = std::size_t(frame[pos + 1]) << 8 | frame[pos + 2];
        items.push_back(
            {frame[pos], Bytes(frame.begin() + pos + 3, frame.begin() + pos + 3 + len)});
        pos += 3 + len;
    }
    EXPECT_EQ(pos, 5 + block);
    return items;
}

// Item lengths of a save from an empty record, as the tag tables give them.
const std::vector<std::pair<int, int>> kEmptySave = {
    {1, 5},   {2, 1},   {3, 1},   {4, 0},    {5, 2},   {6, 4},   {7, 1},    {8, 0},   {9, 2},
    {10, 4},  {11, 1},  {12, 2},  {13, 0},   {14, 1},  {15, 1},  {16, 0},   {17, 3},  {18, 1},
    {19, 0},  {21, 1},  {22, 1},  {23, 0},   {24, 1},  {25, 2},  {26, 1},   {27, 4},  {28, 1},
    {29, 0},  {30, 2},  {31, 2},  {32, 0},   {33, 1},  {34, 1},  {35, 0},   {36, 0},  {37, 0},
    {38, 1},  {39, 7},  {40, 1},  {41, 4},   {48, 1},  {49, 0},  {50, 2},   {51, 0},  {52, 0},
    {53, 0},  {54, 2},  {55, 1},  {56, 1},   {57, 0},  {58, 0},  {59, 0},   {60, 1},  {61, 0},
    {62, 0},  {63, 0},  {64, 1},  {65, 0},   {66, 1},  {67, 0},  {68, 0},   {69, 0},  {85, 2},
    {86, 2},  {87, 1},  {88, 1},  {89, 17},  {90, 5},  {91, 13}, {92, 1},   {93, 9},  {94, 3},
    {95, 7},  {96, 7},  {97, 2},  {98, 1},   {99, 0},  {100, 0}, {101, 0},  {102, 0}, {103, 0},
    {104, 0}, {105, 0}, {106, 0}, {107, 0},  {108, 0}, {109, 0}, {110, 0},  {111, 0}, {112, 0},
    {113, 0}, {114, 0}, {117, 1}, {118, 11}, {119, 1}, {120, 1}, {121, 1},  {122, 1}, {123, 1},
    {124, 1}, {125, 0}, {126, 0}, {127, 0},  {128, 0}, {129, 0}, {144, 10}, {186, 1},
};

TEST(SaveFrame, AnEmptyRecordGivesThe497ByteFrame) {
    const SaveFrame frame = buildSaveFrame(DeviceParams{});
    ASSERT_EQ(frame.error, SaveFrameError::None);
    ASSERT_EQ(frame.size, 497u);
    EXPECT_EQ(toBytes(frame.view().first(5)), hex("88 3A 04 01 EA"));
    EXPECT_EQ(toBytes(frame.view().last(2)), hex("45 2E"));

    const auto items = itemsOf(frame.view());
    ASSERT_EQ(items.size(), kEmptySave.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(kEmptySave[i].first));
        EXPECT_EQ(items[i].tag, kEmptySave[i].first);
        EXPECT_EQ(items[i].value.size(), std::size_t(kEmptySave[i].second));
        Bytes expected(items[i].value.size(), 0);
        // The fixed bytes: 8 data bits, and the rule counts of items 89 to 91.
        if (items[i].tag == 1) expected[2] = 8;
        if (items[i].tag == 89) expected[0] = 8;
        if (items[i].tag == 90 || items[i].tag == 91) expected[0] = 2;
        EXPECT_EQ(items[i].value, expected);
    }
}

TEST(SaveFrame, PiecesAreThirtyTwoBytesWithTheRemainderLast) {
    const SaveFrame frame = buildSaveFrame(DeviceParams{});
    const auto pieces = splitPieces(frame.view());
    ASSERT_EQ(pieces.size(), 16u);
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(pieces[i].size(), 32u);
    EXPECT_EQ(pieces[15].size(), 17u);
    EXPECT_EQ(pieces[15].data() + 17, frame.view().data() + frame.size);
    // A size that divides evenly gets no empty last piece.
    const Bytes even(64, 1);
    EXPECT_EQ(splitPieces(even).size(), 2u);
    EXPECT_TRUE(splitPieces({}).empty());
}

TEST(SaveFrame, PollingRecordsAddTwentySevenBytesAndTheirName) {
    DeviceParams p;
    p.set(f::modbusItemCount, 1);
    const SaveFrame one = buildSaveFrame(p);
    ASSERT_EQ(one.size, 524u);
    EXPECT_EQ(toBytes(one.view().subspan(3, 2)), hex("02 05"));

    p.setText(f::modbusItem(0).jsonName, std::string_view("k0"));
    p.set(f::modbusItem(0).slaveAddress, 1);
    p.set(f::modbusItem(0).functionCode, 3);
    p.set(f::modbusItem(0).registerCount, 1);
    p.set(f::modbusItem(0).threshold1, -1);
    p.set(f::modbusItem(0).scaleK, 5699);
    const SaveFrame named = buildSaveFrame(p);
    ASSERT_EQ(named.size, 526u);
    const auto items = itemsOf(named.view());
    const auto it =
        std::find_if(items.begin(), items.end(), [](const Item& i) { return i.tag == 119; });
    ASSERT_NE(it, items.end());
    EXPECT_EQ(it->value,
              hex("01 1C 01 03 0000 0001 00 00 02 6B30 FFFFFFFF 00000000 00 00001643 00000000"));
}

TEST(SaveFrame, SixteenBitItemsCarryTheLowHalfOfWiderFields) {
    DeviceParams p;
    p.set(f::heartbeatInterval, 70000);
    p.set(f::mqttPort, 0x12345678);
    p.set(f::serialSendInterval, 65536 + 10);
    const auto items = itemsOf(buildSaveFrame(p).view());
    auto value = [&](int tag) {
        for (const auto& i : items)
            if (i.tag == tag) return i.value;
        return Bytes{};
    };
    EXPECT_EQ(value(12), hex("11 70"));
    EXPECT_EQ(value(50), hex("56 78"));
    EXPECT_EQ(value(17), hex("00 00 0A"));
}

TEST(SaveFrame, CountedArraysSendTheirLengthButNeverMoreThanTheyHold) {
    DeviceParams p;
    p.set(f::heartbeatLength, 3);
    p.setBytes(f::heartbeatData, hex("31 32 33 34"));
    p.set(f::serialFilterLength, 200);  // a damaged file: more than the 16-byte array
    p.set(f::serialFilterEnable, 1);
    const auto items = itemsOf(buildSaveFrame(p).view());
    for (const auto& i : items) {
        if (i.tag == 13) {
            EXPECT_EQ(i.value, hex("31 32 33"));
        }
        if (i.tag == 21) {
            EXPECT_EQ(i.value.size(), 17u);
        }
    }
}

TEST(SaveFrame, LockSuffixFollowsTheTailWithTheSameLengthField) {
    const LockPassword pw{'1', '2', '3', '4', '5', '6', '7', '8'};
    const SaveFrame locked = buildSaveFrame(DeviceParams{}, pw);
    ASSERT_EQ(locked.size, 506u);
    EXPECT_EQ(toBytes(locked.view().first(5)), hex("88 3A 04 01 EA"));
    EXPECT_EQ(toBytes(locked.view().subspan(495, 2)), hex("45 2E"));
    EXPECT_EQ(toBytes(locked.view().last(9)), hex("31 32 33 34 35 36 37 38 AA"));
}

TEST(SaveFrame, RecordsThatCannotBeSentWholeAreRefused) {
    DeviceParams p;
    p.set(f::modbusItemCount, 64);
    for (std::uint32_t r = 0; r < 64; ++r)
        p.setText(f::modbusItem(r).jsonName, std::string(kJsonNameMax, 'n'));
    const SaveFrame big = buildSaveFrame(p);
    EXPECT_EQ(big.error, SaveFrameError::TooLarge);
    EXPECT_EQ(big.size, 0u);
    EXPECT_EQ(big.needed, 497u + 64 * (27 + 57));

    // Just at the limit with the suffix, and one byte over.
    DeviceParams edge;
    edge.set(f::modbusItemCount, 42);  // 497 + 42 * 84 = 4025
    for (std::uint32_t r = 0; r < 42; ++r)
        edge.setText(f::modbusItem(r).jsonName, std::string(57, 'e'));
    edge.setText(f::httpHeader, std::string(62, 'h'));  // 4087 + 9 = 4096
    const LockPassword pw{};
    EXPECT_EQ(buildSaveFrame(edge, pw).size, 4096u);
    edge.setText(f::httpHeader, std::string(63, 'h'));
    EXPECT_EQ(buildSaveFrame(edge, pw).error, SaveFrameError::TooLarge);
    EXPECT_EQ(buildSaveFrame(edge).size, 4088u);

    DeviceParams count;
    count.set(f::modbusItemCount, 65);
    EXPECT_EQ(buildSaveFrame(count).error, SaveFrameError::PollCountTooLarge);

    DeviceParams name;
    name.set(f::modbusItemCount, 3);
    name.setText(f::modbusItem(2).jsonName, std::string(58, 'x'));
    const SaveFrame bad = buildSaveFrame(name);
    EXPECT_EQ(bad.error, SaveFrameError::PollNameTooLong);
    EXPECT_EQ(bad.badPollRecord, 2);
}

// Fills a saved text, or a packet's array and its length byte, with n bytes.
void fill(DeviceParams& p, const FieldInfo& fi, std::size_t n) {
    const std::vector<std::uint8_t> bytes(n, 'v');
    if (fi.kind == FieldKind::Text) {
        ASSERT_TRUE(p.setText(TextField{fi.offset, fi.size}, bytes));
    } else {
        const FieldInfo* length = fieldAt(fi.offset - 1);  // the length byte before the array
        ASSERT_TRUE(length && length->kind == FieldKind::U8);
        p.set(U8Field{length->offset, 1}, static_cast<std::uint8_t>(n));
        ASSERT_TRUE(p.setBytes(BytesField{fi.offset, fi.size}, bytes));
    }
}

// The most bytes a read takes back: a text leaves room for its terminator, a packet stays below
// its 128-byte array; a full field would be sent and then ignored by the read.
const std::pair<const char*, std::size_t> kReadBackLimits[] = {
    {"serverAHost", 63},     {"serverBHost", 63},     {"mqttHost", 63},
    {"httpHost", 126},       {"httpHeader", 199},     {"smsPhoneNumbers", 159},
    {"mqttUserName", 127},   {"mqttClientId", 127},   {"modbusPrefix", 127},
    {"mqttWillTopic", 64},   {"apnPassword", 64},     {"remoteConfigServer", 64},
    {"uploadTexts[15]", 32}, {"uploadTexts2[3]", 32}, {"heartbeatData", 127},
    {"registerData", 127},
};

TEST(SaveFrame, AValueAReadWouldNotTakeBackIsRefusedAndNothingIsBuilt) {
    for (const auto& [name, limit] : kReadBackLimits) {
        SCOPED_TRACE(name);
        const FieldInfo& fi = *findField(name);
        EXPECT_EQ(fi.kind == FieldKind::Text ? sendableBytes(TextField{fi.offset, fi.size})
                                             : sendableBytes(BytesField{fi.offset, fi.size}),
                  limit);

        // At the limit the value goes out and comes back whole.
        DeviceParams p;
        fill(p, fi, limit);
        const SaveFrame frame = buildSaveFrame(p);
        ASSERT_EQ(frame.error, SaveFrameError::None);
        DeviceParams back;
        LiveState live;
        decodeParamBlock(frame.view().subspan(3), back, live);
        EXPECT_EQ(toBytes(back.image().subspan(fi.offset, fi.size)),
                  toBytes(p.image().subspan(fi.offset, fi.size)));

        // One byte more and the read would ignore the item, so the save refuses the record.
        fill(p, fi, limit + 1);
        const SaveFrame over = buildSaveFrame(p);
        EXPECT_EQ(over.error, SaveFrameError::NotReadBack);
        EXPECT_EQ(over.size, 0u);
        EXPECT_EQ(over.unsendable.field, &fi);
        EXPECT_EQ(over.unsendable.limit, limit);
        EXPECT_EQ(over.unsendable.length, limit + 1);
        const auto item = encodeSaveItem(fi.tag, p);
        Bytes block = {static_cast<std::uint8_t>(item.size() >> 8),
                       static_cast<std::uint8_t>(item.size())};
        block.insert(block.end(), item.begin(), item.end());
        const DecodeResult r = decodeParamBlock(block, back, live);
        ASSERT_EQ(r.ignored.size(), 1u);
        EXPECT_EQ(r.ignored[0].tag, fi.tag);
    }
}

TEST(SaveFrame, EverySavedTextHasALimitItsReadTakesBack) {
    // Whatever text the save carries: filling its field is refused, naming it; one byte less
    // is sent. Files keep such a value all the same.
    for (const FieldInfo& fi : recordLayout()) {
        if (fi.kind != FieldKind::Text || !isSaveItem(fi.tag) || fi.modbusRecord >= 0 ||
            fi.name == "configLockPassword")  // eight raw bytes, read back whole
            continue;
        SCOPED_TRACE(fi.name);
        DeviceParams p;
        fill(p, fi, fi.size);
        const SaveFrame frame = buildSaveFrame(p);
        ASSERT_EQ(frame.error, SaveFrameError::NotReadBack);
        EXPECT_EQ(frame.unsendable.field, &fi);
        EXPECT_EQ(frame.unsendable.limit, fi.size - 1u);
        fill(p, fi, fi.size - 1);
        EXPECT_EQ(buildSaveFrame(p).error, SaveFrameError::None);
    }
    // Texts no saved item carries have no limit beyond their field; poll names have theirs.
    EXPECT_EQ(sendableBytes(f::deviceModel), 64u);
    EXPECT_EQ(sendableBytes(f::caPath), 256u);
    EXPECT_EQ(sendableBytes(f::modbusItem(63).jsonName), kJsonNameMax);
    EXPECT_EQ(sendableBytes(f::serialSendData), 32u);
}

TEST(SaveFrame, TheRefusalNamesTheFieldAndItsLimitInTheWindowsLanguage) {
    DeviceParams p;
    p.setText(f::mqttHost, std::string(64, 'm'));
    p.setText(f::httpHost, std::string(127, 'h'));  // later in the save order than item 4
    p.setText(f::serverAHost, std::string(64, 'a'));
    const SaveFrame frame = buildSaveFrame(p);
    EXPECT_EQ(saveRefusalText(frame, Language::Chinese),
              "serverAHost 超过 63 字节，更长的值无法从设备读回，未发送。");
    EXPECT_EQ(saveRefusalText(frame, Language::English),
              "serverAHost is longer than 63 bytes; the device could not give a longer value "
              "back, so nothing was sent.");
    p.setText(f::serverAHost, std::string(63, 'a'));
    EXPECT_NE(saveRefusalText(buildSaveFrame(p), Language::Chinese).find("httpHost 超过 126"),
              std::string::npos);
}

// Fields the save carries and a read answer gives back unchanged: not the fixed data bits,
// nor the TLS mode (the save sends one byte of item 186, a read answer seven).
bool travelsBothWays(const FieldInfo& fi) {
    return test::savedField(fi) && fi.name != "dtuDataBits" && fi.name != "tlsMode";
}

TEST(SaveFrame, ReadingBackASavedRecordRestoresEverySavedField) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const DeviceParams original = test::randomSavedRecord(rng, travelsBothWays, 1);
        const SaveFrame frame = buildSaveFrame(original);
        ASSERT_EQ(frame.error, SaveFrameError::None);

        DeviceParams back;
        LiveState live;
        const auto result = decodeParamBlock(frame.view().subspan(3), back, live);
        EXPECT_FALSE(result.truncated);
        EXPECT_TRUE(result.sawItem1);
        for (const auto& fi : recordLayout()) {
            if (!travelsBothWays(fi)) continue;
            if (fi.modbusRecord >= static_cast<int>(original.get(f::modbusItemCount))) continue;
            ASSERT_EQ(toBytes(back.image().subspan(fi.offset, fi.size)),
                      toBytes(original.image().subspan(fi.offset, fi.size)))
                << fi.name;
        }
        // Item 186 is the one saved item a read does not take back.
        ASSERT_EQ(result.ignored.size(), 1u);
        EXPECT_EQ(result.ignored[0].tag, 186);
    }
}

}  // namespace
}  // namespace dtu
