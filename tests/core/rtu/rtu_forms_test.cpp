#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rtu/adc_values.h"
#include "rtu/input_upload.h"
#include "rtu/output_rules.h"
#include "rtu/rtu_settings.h"

namespace dtu {
namespace {

namespace f = fields;

template <typename Form>
Form opened(const DeviceParams& p) {
    Form form;
    form.open(p);
    return form;
}

// --- RTU settings ---

TEST(RtuSettings, NumbersKeepTheirLowBitsAndBoxesMapToTheirBits) {
    DeviceParams p;
    p.set(f::rtuPowerOffSave, 3);
    RtuSettingsForm form = opened<RtuSettingsForm>(p);
    EXPECT_EQ(form.powerOffSave, 3);
    form.address = "70000";
    form.debounceMs = "300";
    form.linkage = true;
    form.powerOnRelays = {true, false, true, false, false, false, false, true};
    form.powerOffSave = 4;
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::rtuAddress), 4464);
    EXPECT_EQ(p.get(f::rtuInputDebounceMs), 44);
    EXPECT_EQ(p.get(f::rtuLinkageEnable), 1);
    EXPECT_EQ(p.get(f::rtuReportEnable), 0);
    EXPECT_EQ(p.get(f::rtuPowerOnRelays), 0x85);
    EXPECT_EQ(p.get(f::rtuPowerOffSave), 4);

    form.address = "abc";
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::rtuAddress), 0);
    form.address = "0";
    form.debounceMs = "44";
    EXPECT_EQ(opened<RtuSettingsForm>(p), form);
}

TEST(RtuSettings, AnUnknownPowerOffModeShowsNoSelectionAndStaysAsItIs) {
    DeviceParams p;
    p.set(f::rtuPowerOffSave, 9);
    const RtuSettingsForm form = opened<RtuSettingsForm>(p);
    EXPECT_EQ(form.powerOffSave, -1);
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::rtuPowerOffSave), 9);
}

// --- Output rules ---

TEST(OutputRules, OneForOneCloseSetsTheDiagonalAndLeavesTheRestUnchanged) {
    DeviceParams p;
    OutputRulesForm form = opened<OutputRulesForm>(p);
    form.oneForOne(RelayAction::Close);
    form.accept(p, Language::Chinese);
    auto entry = [&](std::uint32_t i) {
        const auto b = p.bytes(f::xyRules[i]);
        return std::pair<int, int>{b[0], b[1]};
    };
    EXPECT_EQ(entry(0), (std::pair{0xFD, 0xFF}));
    EXPECT_EQ(entry(2), (std::pair{0xDF, 0xFF}));
    EXPECT_EQ(entry(4), (std::pair{0xFF, 0xFD}));
    EXPECT_EQ(entry(7), (std::pair{0xFF, 0x7F}));
    EXPECT_EQ(entry(8), (std::pair{0xFF, 0xFF}));
    EXPECT_EQ(entry(9), (std::pair{0xFF, 0xFF}));
}

TEST(OutputRules, TheBitLayoutReadsBackRelayByRelay) {
    DeviceParams p;
    // X2: Y1 open, Y2 close, Y3 toggle, Y4 unchanged; Y5 toggle, Y6..Y8 open.
    const std::array<std::uint8_t, 2> x2{0b11'10'01'00, 0b00'00'00'10};
    p.setBytes(f::xyRules[1], x2);
    const OutputRulesForm form = opened<OutputRulesForm>(p);
    using A = RelayAction;
    EXPECT_EQ(form.actions[1], (std::array<A, 8>{A::Open, A::Close, A::Toggle, A::Keep, A::Toggle,
                                                 A::Open, A::Open, A::Open}));
    DeviceParams back;
    form.accept(back, Language::Chinese);
    EXPECT_EQ(back.bytes(f::xyRules[1])[0], x2[0]);
    EXPECT_EQ(back.bytes(f::xyRules[1])[1], x2[1]);
    EXPECT_EQ(actionItemText(2, A::Close, Language::Chinese), "Y3闭合");
    EXPECT_EQ(actionItemText(2, A::Close, Language::English), "Y3Close");
    EXPECT_EQ(actionItemText(0, A::Open, Language::English), "Y1Open");
}

TEST(OutputRules, CloneCopiesY1OfItsRowOnly) {
    DeviceParams p;
    OutputRulesForm form = opened<OutputRulesForm>(p);  // all open
    form.actions[2][0] = RelayAction::Toggle;
    form.actions[3][0] = RelayAction::Close;
    form.cloneRow(2);
    for (int relay = 0; relay < 8; ++relay) {
        EXPECT_EQ(form.actions[2][relay], RelayAction::Toggle);
        if (relay > 0) {
            EXPECT_EQ(form.actions[3][relay], RelayAction::Open);
        }
    }
}

TEST(OutputRules, OkClearsTheReservedBytesBesideEachEntry) {
    DeviceParams p;
    std::ranges::fill(p.image(), std::uint8_t{0x5A});
    opened<OutputRulesForm>(p).accept(p, Language::Chinese);
    const auto image = p.image();
    for (std::uint32_t i = 0; i < 10; ++i)
        for (std::uint32_t k = 2; k < 8; ++k)
            EXPECT_EQ(image[f::xyRules[i].offset + k], 0) << i << " " << k;
}

TEST(OutputRules, AnalogueValuesAreHundredthsOnAPhysicalRangeAndRawOtherwise) {
    DeviceParams p;
    p.set(f::adc1RuleValue1, 1234);
    p.set(f::adc1RuleMode, 2);
    OutputRulesForm form = opened<OutputRulesForm>(p);
    EXPECT_EQ(form.adc1.value1, "12.34");
    EXPECT_EQ(form.adc2.value1, "0");

    form.adc1.range = 1;
    form.adc1.value1 = "4.5";
    form.adc2.value1 = "4.5";  // ADC2 stays on the raw range
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::adc1RuleValue1), 450);
    EXPECT_EQ(p.get(f::adc2RuleValue1), 4);
    EXPECT_EQ(opened<OutputRulesForm>(p).adc1.value1, "4.50");

    // Back to the raw range without touching the text: 12.34 read as an integer.
    p.set(f::adc1RuleValue1, 1234);
    form = opened<OutputRulesForm>(p);
    form.adc1.range = 0;
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::adc1RuleValue1), 12);
    EXPECT_EQ(p.get(f::adc1RuleMode), 0);
}

// Values across the whole 16-bit range, the ends included.
std::vector<std::uint16_t> sampleValues() {
    std::vector<std::uint16_t> values;
    for (std::uint32_t v = 0; v <= 0xFFFF; v += 97) values.push_back(static_cast<std::uint16_t>(v));
    for (std::uint16_t v : {1, 29, 99, 100, 65534, 65535}) values.push_back(v);
    return values;
}

TEST(OutputRules, StoredValuesSurviveOkUnchangedWhateverEachChannelsRange) {
    DeviceParams p;
    for (int range = 0; range < kAdcRangeCount; ++range) {
        p.set(f::adc1RuleMode, static_cast<std::uint8_t>(range));
        p.set(f::adc2RuleMode, static_cast<std::uint8_t>(3 - range));
        for (std::uint16_t v : sampleValues()) {
            p.set(f::adc1RuleValue2, v);
            p.set(f::adc2RuleValue1, v);
            opened<OutputRulesForm>(p).accept(p, Language::Chinese);
            ASSERT_EQ(p.get(f::adc1RuleValue2), v) << "range " << range;
            ASSERT_EQ(p.get(f::adc2RuleValue1), v) << "range " << 3 - range;
        }
    }
}

// --- Typed analogue values ---

TEST(AdcValues, EveryValueShownIsReadBackAsItWas) {
    for (std::uint32_t v = 0; v <= 0xFFFF; ++v) {
        const auto value = static_cast<std::uint16_t>(v);
        for (bool physical : {false, true}) {
            ASSERT_EQ(valueFromText(ruleValueText(value, physical), physical), value);
            ASSERT_EQ(valueFromText(uploadValueText(value, physical), physical), value);
        }
    }
    EXPECT_EQ(ruleValueText(1, true), "0.01");
    EXPECT_EQ(ruleValueText(65535, true), "655.35");
    EXPECT_EQ(uploadValueText(450, true), "4.500000");
    EXPECT_EQ(uploadValueText(450, false), "450");
}

TEST(AdcValues, TypedDecimalsTruncateTowardZeroAndKeepTheirLowBits) {
    EXPECT_EQ(valueFromText("4.5", true), 450);
    EXPECT_EQ(valueFromText(" 0.29", true), 29);
    EXPECT_EQ(valueFromText("4.567", true), 456);
    EXPECT_EQ(valueFromText("7", true), 700);
    EXPECT_EQ(valueFromText(".5mA", true), 50);
    EXPECT_EQ(valueFromText("abc", true), 0);
    EXPECT_EQ(valueFromText("-0.01", true), 65535);
    EXPECT_EQ(valueFromText("655.36", true), 0);
    EXPECT_EQ(valueFromText("4.5", false), 4);
    EXPECT_EQ(valueFromText("70000", false), 4464);
}

// --- Input upload ---

TEST(InputUpload, SmsTextsOfUpTo32BytesAreTakenALongerOneRefusesTheWholeForm) {
    DeviceParams p;
    InputUploadForm form = opened<InputUploadForm>(p);
    form.format = 5;
    form.smsTexts[0] = std::string(32, 'a');
    form.smsTexts[19] = "十六个汉字十六个汉字十六个汉字十";  // 16 characters, 32 bytes
    EXPECT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.textView(f::uploadTexts[0]), std::string(32, 'a'));
    EXPECT_EQ(opened<InputUploadForm>(p).smsTexts[19], form.smsTexts[19]);

    const DeviceParams before = p;
    form.format = 6;
    form.smsTexts[3] = std::string(33, 'b');
    EXPECT_EQ(form.accept(p, Language::Chinese).value_or(""), "短信最大32字节");
    EXPECT_EQ(p, before);  // nothing of the refused form reached the record

    form.smsTexts[3].clear();
    form.smsTexts[18] = "十六个汉字十六个汉字十六个汉字十六";  // 17 characters
    EXPECT_EQ(form.accept(p, Language::Chinese).value_or(""), "短信最大32字节");
    form.smsTexts[18] = "☃";  // no GBK character
    EXPECT_NE(form.accept(p, Language::Chinese).value_or("").find("ADC2 高电平短信"),
              std::string::npos);
    EXPECT_EQ(p, before);
}

TEST(InputUpload, CloneContentBitsAndFormatLayout) {
    DeviceParams p;
    InputUploadForm form = opened<InputUploadForm>(p);
    form.inputTriggers[0] = 1;
    form.cloneInputs();
    form.content = {false, true, false, true};
    form.accept(p, Language::Chinese);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p.bytes(f::uploadInputModes)[i], 1);
    EXPECT_EQ(p.get(f::uploadFormatBits), 10);
    EXPECT_EQ(inputTriggerText(0, 1, Language::Chinese), "X1变高");
    EXPECT_EQ(inputTriggerText(7, 3, Language::English), "X8Ignore");

    EXPECT_FALSE(showsSmsTexts(-1));
    EXPECT_FALSE(showsSmsTexts(2));  // modbus rtu
    EXPECT_FALSE(showsSmsTexts(4));
    EXPECT_TRUE(showsSmsTexts(5));  // SMS
    EXPECT_TRUE(showsSmsTexts(9));
}

TEST(InputUpload, EachChannelsValuesFollowItsOwnRange) {
    DeviceParams p;
    p.set(f::uploadAdc1Type, 2);
    p.set(f::uploadAdc1Value1, 450);
    p.set(f::uploadAdc2Type, 0);
    p.set(f::uploadAdc2Value1, 450);
    InputUploadForm form = opened<InputUploadForm>(p);
    EXPECT_EQ(form.adc1.value1, "4.500000");
    EXPECT_EQ(form.adc2.value1, "450");

    form.adc1.value1 = "4.5";
    form.adc2.range = 1;  // ADC2 to 0-20 mA: its text now counts in mA
    form.adc2.value1 = "4.5";
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::uploadAdc1Value1), 450);
    EXPECT_EQ(p.get(f::uploadAdc2Value1), 450);
    EXPECT_EQ(p.get(f::uploadAdc2Type), 1);
    EXPECT_EQ(opened<InputUploadForm>(p).adc2.value1, "4.500000");

    form = opened<InputUploadForm>(p);
    form.adc1.range = 0;
    form.adc1.value1 = "4.5";
    form.accept(p, Language::Chinese);
    EXPECT_EQ(p.get(f::uploadAdc1Value1), 4);
}

TEST(InputUpload, StoredValuesSurviveOkUnchangedWhateverEachChannelsRange) {
    DeviceParams p;
    for (int range = 0; range < kAdcRangeCount; ++range) {
        // The other channel on another range: its range must not decide.
        p.set(f::uploadAdc1Type, static_cast<std::uint8_t>(range));
        p.set(f::uploadAdc2Type, static_cast<std::uint8_t>(3 - range));
        for (std::uint16_t v : sampleValues()) {
            p.set(f::uploadAdc1Value2, v);
            p.set(f::uploadAdc2Value1, v);
            ASSERT_EQ(opened<InputUploadForm>(p).accept(p, Language::Chinese), std::nullopt);
            ASSERT_EQ(p.get(f::uploadAdc1Value2), v) << "range " << range;
            ASSERT_EQ(p.get(f::uploadAdc2Value1), v) << "range " << 3 - range;
        }
    }
}

TEST(InputUpload, CombosWithoutASelectionLeaveTheirFields) {
    DeviceParams p;
    p.set(f::uploadFormat, 12);
    p.set(f::uploadAdc2Condition, 5);
    const std::array<std::uint8_t, 8> modes{0, 1, 2, 3, 7, 0, 0, 0};
    p.setBytes(f::uploadInputModes, modes);
    const InputUploadForm form = opened<InputUploadForm>(p);
    EXPECT_EQ(form.format, -1);
    EXPECT_EQ(form.inputTriggers[4], -1);
    EXPECT_EQ(form.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::uploadFormat), 12);
    EXPECT_EQ(p.get(f::uploadAdc2Condition), 5);
    EXPECT_EQ(p.bytes(f::uploadInputModes)[4], 7);
}

}  // namespace
}  // namespace dtu
