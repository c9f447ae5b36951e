#include "params/main_form.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "params/field_table.h"
#include "params/form_values.h"
#include "support/bound_record.h"
#include "support/bytes.h"

namespace dtu {
namespace {

namespace f = fields;
using test::hex;

std::vector<std::uint8_t> bytesOf(std::span<const std::uint8_t> s) {
    return {s.begin(), s.end()};
}

TEST(MainForm, ShowThenCollectGivesBackEveryBoundFieldAndTouchesNothingElse) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const bool hexPackets = round % 2 == 1;
        const DeviceParams original = test::randomBoundRecord(rng, hexPackets);
        MainForm form;
        form.heartbeat.hex = form.registration.hex = hexPackets;
        showMainForm(original, form);

        DeviceParams collected;
        const CollectResult r = collectMainForm(form, collected, Language::Chinese);
        ASSERT_TRUE(r.ok && r.messages.empty())
            << round << ": " << (r.messages.empty() ? "" : r.messages.front());
        for (const auto& fi : recordLayout()) {
            const bool bound = std::find(test::kBoundFields.begin(), test::kBoundFields.end(),
                                         fi.name) != test::kBoundFields.end();
            const auto want = std::span(original.image()).subspan(fi.offset, fi.size);
            const auto got = std::span(collected.image()).subspan(fi.offset, fi.size);
            if (bound)
                EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()))
                    << fi.name << " round " << round;
            else
                EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](auto b) { return b == 0; }))
                    << fi.name << " was written";
        }
    }
}

TEST(MainForm, ShowsTheDocumentedForms) {
    DeviceParams p;
    p.set(f::dtuBaudIndex, 4);
    p.set(f::heartbeatLength, 3);
    p.setBytes(f::heartbeatData, hex("01 0a ff"));
    p.set(f::registerLength, 5);
    p.setBytes(f::registerData, std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'});
    p.set(f::cellLocationEnable, 0);
    p.set(f::configLockFlag, 0x78);
    p.set(f::workMode, 7);  // no entry stands for it

    MainForm form;
    form.heartbeat.hex = true;
    showMainForm(p, form);
    EXPECT_EQ(form.dtuBaud, 3);  // "9600"
    EXPECT_EQ(form.heartbeat.data, "01 0a ff ");
    EXPECT_EQ(form.registration.data, "hello");
    EXPECT_TRUE(form.cellLocation) << "any value but 0x55 shows ticked";
    EXPECT_TRUE(form.configLock);
    EXPECT_EQ(form.workMode, -1);
    EXPECT_EQ(form.serverA.port, "0");

    p.set(f::cellLocationEnable, 0x55);
    p.set(f::configLockFlag, 1);  // only 0x78 means locked
    showMainForm(p, form);
    EXPECT_FALSE(form.cellLocation);
    EXPECT_FALSE(form.configLock);

    // Ticking HEX changes nothing until the next redisplay, which then shows hex.
    form.registration.hex = true;
    EXPECT_EQ(form.registration.data, "hello");
    showMainForm(p, form);
    EXPECT_EQ(form.registration.data, "68 65 6c 6c 6f ");
}

// A form as a read of a blank device leaves it, with everything collectable.
MainForm blankForm() {
    MainForm form;
    showMainForm(DeviceParams{}, form);
    return form;
}

TEST(MainForm, CollectsNumbersChecksAndPacketsAsTyped) {
    MainForm form = blankForm();
    form.packTime = "300";
    form.serverA.port = "65536";
    form.serverB.port = "-1";
    form.heartbeatInterval = " 42s";
    form.noDataRebootMinutes = "abc";
    form.heartbeat = {"01 02 03", true};
    form.registration = {"abc", false};
    form.cellLocation = false;
    form.configLock = true;
    DeviceParams p;
    p.set(f::noDataRebootMinutes, 9);
    ASSERT_TRUE(collectMainForm(form, p, Language::Chinese).ok);
    EXPECT_EQ(p.get(f::packTimeMs), 44);  // 300 cut to 8 bits
    EXPECT_EQ(p.get(f::serverAPort), 0);
    EXPECT_EQ(p.get(f::serverBPort), 65535);
    EXPECT_EQ(p.get(f::heartbeatInterval), 42u);
    EXPECT_EQ(p.get(f::noDataRebootMinutes), 0u);
    EXPECT_EQ(p.get(f::heartbeatLength), 3);
    EXPECT_EQ(bytesOf(p.bytes(f::heartbeatData).first(4)), hex("01 02 03 00"));
    EXPECT_EQ(p.get(f::registerLength), 3);
    EXPECT_EQ(bytesOf(p.bytes(f::registerData).first(4)), hex("61 62 63 00"));
    EXPECT_EQ(p.get(f::cellLocationEnable), 0x55);
    EXPECT_EQ(p.get(f::configLockFlag), 0x78);
    EXPECT_EQ(p.get(f::dtuDataBits), 8);
}

TEST(MainForm, BadHexKeepsThePreviousDataAndTheSaveGoesOn) {
    DeviceParams p;
    p.set(f::heartbeatLength, 2);
    p.setBytes(f::heartbeatData, hex("aa bb"));
    MainForm form = blankForm();
    form.heartbeat = {"0x01", true};
    form.registration = {"zz", true};
    form.configLock = true;  // collected last
    const CollectResult r = collectMainForm(form, p, Language::English);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.messages,
              (std::vector<std::string>{"Please type hex number", "Please type hex number"}));
    EXPECT_EQ(p.get(f::heartbeatLength), 2);
    EXPECT_EQ(bytesOf(p.bytes(f::heartbeatData).first(2)), hex("aa bb"));
    EXPECT_EQ(p.get(f::configLockFlag), 0x78);
}

TEST(MainForm, RefusalsStopTheCollectionWhereTheyHappen) {
    const std::string host63(63, 'h');
    {
        // A 63-byte address is taken; one that fills the 64-byte field would be sent but not
        // read back, so it is refused with a message naming the limit. The fields before it
        // are collected and the ones after it are not.
        MainForm form = blankForm();
        form.dtuBaud = 8;
        form.serverA.host = host63;
        form.serverB.host = host63 + "h";
        form.serverB.port = "80";
        form.smsMode = 2;
        DeviceParams p;
        const CollectResult r = collectMainForm(form, p, Language::Chinese);
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(r.messages[0], "服务器B地址不能超过63字节（一个汉字占2字节）");
        EXPECT_EQ(p.get(f::dtuBaudIndex), 9);
        EXPECT_EQ(p.textView(f::serverAHost), host63);
        EXPECT_EQ(p.textView(f::serverBHost), "");
        EXPECT_EQ(p.get(f::serverBPort), 0);
        EXPECT_EQ(p.get(f::smsMode), 0);
    }
    {
        // Chinese characters count as their two GBK bytes.
        MainForm form = blankForm();
        form.serverA.host = std::string(61, 'h') + "中";
        DeviceParams p;
        EXPECT_TRUE(collectMainForm(form, p, Language::Chinese).ok);
        form.serverA.host = std::string(62, 'h') + "中";
        EXPECT_FALSE(collectMainForm(form, p, Language::Chinese).ok);
    }
    {
        MainForm form = blankForm();
        form.phoneNumbers = std::string(160, '1');
        form.mqttEnable = true;  // collected after the numbers
        DeviceParams p;
        p.setText(f::smsPhoneNumbers, std::string_view("10086"));
        const CollectResult r = collectMainForm(form, p, Language::English);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.messages, std::vector<std::string>{"Phone numbers: at most 159 bytes"});
        EXPECT_EQ(p.textView(f::smsPhoneNumbers), "10086");
        EXPECT_EQ(p.get(f::mqttEnable), 0);
        form.phoneNumbers.pop_back();
        EXPECT_TRUE(collectMainForm(form, p, Language::English).ok);
        EXPECT_EQ(p.textView(f::smsPhoneNumbers), std::string(159, '1'));
    }
    {
        // A character the device cannot store, and packet data beyond the 127 bytes a read
        // takes back (the array holds 128).
        MainForm form = blankForm();
        form.serverA.host = "host\xF0\x9F\x98\x80";  // an emoji
        DeviceParams p;
        CollectResult r = collectMainForm(form, p, Language::English);
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_NE(r.messages[0].find("Server A address"), std::string::npos);

        form = blankForm();
        form.heartbeat = {std::string(128 * 2, 'f'), true};
        r = collectMainForm(form, p, Language::English);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.messages.at(0),
                  "Heartbeat data: at most 127 bytes (a Chinese character takes 2)");
        form.heartbeat = {std::string(127 * 2, 'f'), true};
        EXPECT_TRUE(collectMainForm(form, p, Language::English).ok);
        form.registration = {std::string(128, 'x'), false};
        EXPECT_FALSE(collectMainForm(form, p, Language::Chinese).ok);
        form.registration = {std::string(127, 'x'), false};
        EXPECT_TRUE(collectMainForm(form, p, Language::Chinese).ok);
        EXPECT_EQ(p.get(f::heartbeatLength), 127);
        EXPECT_EQ(p.get(f::registerLength), 127);
    }
}

TEST(MainForm, AComboWithoutSelectionLeavesItsField) {
    DeviceParams p;
    p.set(f::workMode, 7);
    p.set(f::dtuBaudIndex, 0);
    p.set(f::edgeMode, 2);
    MainForm form;
    showMainForm(p, form);
    ASSERT_EQ(form.workMode, -1);
    ASSERT_EQ(form.dtuBaud, -1);
    form.edgeMode = -1;
    ASSERT_TRUE(collectMainForm(form, p, Language::Chinese).ok);
    EXPECT_EQ(p.get(f::workMode), 7);
    EXPECT_EQ(p.get(f::dtuBaudIndex), 0);
    EXPECT_EQ(p.get(f::edgeMode), 2);
}

TEST(MainEnablingRules, FollowWorkModeBoxesDeviceKindAndEdgeMode) {
    MainForm form = blankForm();
    form.serverA.enable = true;
    form.heartbeatEnable = true;
    form.httpEnable = true;
    form.edgeMode = 0;

    MainEnabling e = mainEnabling(form, 0);
    EXPECT_EQ(e, (MainEnabling{.serverAFields = true,
                               .heartbeatFields = true,
                               .linkBoxes = true,
                               .httpLink = true,
                               .mqttLink = false,
                               .smsMode = false,
                               .rtuButton = true}));

    // SMS transparent switches the whole network side off, whatever the boxes say.
    form.workMode = 1;
    e = mainEnabling(form, 1);
    EXPECT_EQ(e, (MainEnabling{.linkBoxes = false,
                               .httpLink = false,
                               .mqttLink = false,
                               .smsMode = true,
                               .relay = true,
                               .edgeLink = false}));

    // Back to network transparent: the boxes decide again.
    form.workMode = 0;
    form.edgeMode = 1;
    e = mainEnabling(form, 1);
    EXPECT_TRUE(e.serverAFields && e.heartbeatFields && e.edgeLink && e.relay);
    EXPECT_EQ(e.httpLink, true);
    EXPECT_FALSE(e.rtuButton);
}

TEST(MainEnablingRules, AWorkModeWithoutAnEntryLeavesTheModeControlsAsTheyAre) {
    // A record whose work mode is neither network (0) nor SMS (1) transparent shows no work
    // mode; the fields still follow their boxes, the boxes and the SMS mode keep their state.
    DeviceParams p;
    p.set(f::workMode, 2);
    p.set(f::serverAEnable, 1);
    p.set(f::registerEnable, 1);
    p.set(f::httpEnable, 1);
    MainForm form;
    showMainForm(p, form);
    ASSERT_EQ(form.workMode, -1);
    // Link boxes, HTTP and MQTT links and the SMS mode: no value, so they stay as they are.
    EXPECT_EQ(mainEnabling(form, 0),
              (MainEnabling{.serverAFields = true, .registerFields = true, .rtuButton = true}));
}

TEST(FormNumber, ReadsTheLeadingDecimalInteger) {
    EXPECT_EQ(formNumber(""), 0u);
    EXPECT_EQ(formNumber("abc"), 0u);
    EXPECT_EQ(formNumber("  12ab"), 12u);
    EXPECT_EQ(formNumber("+7"), 7u);
    EXPECT_EQ(formNumber("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(formNumber("4294967296"), 0u);  // kept modulo 2^32
    EXPECT_EQ(formNumber("1 2"), 1u);
}

}  // namespace
}  // namespace dtu
