#include "text/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rtu/rtu_texts.h"

namespace dtu {
namespace {

TEST(Language, EveryEntryInBothLists) {
    for (int i = 1; i <= kTextCount; ++i) {
        EXPECT_FALSE(langText(Language::Chinese, i).empty()) << i;
        // Only the third edge computing entry has no English text.
        EXPECT_EQ(langText(Language::English, i).empty(), i == kTextMoreProtocols) << i;
    }
    for (int i : {0, -1, kTextCount + 1, 1000}) {
        EXPECT_EQ(langText(Language::Chinese, i), "") << i;
        EXPECT_EQ(langText(Language::English, i), "") << i;
    }
}

TEST(Language, EntriesTheWindowsRelyOn) {
    EXPECT_EQ(langText(Language::Chinese, 1), "设备");
    EXPECT_EQ(langText(Language::English, kTextCommandDelay), "Delay");
    EXPECT_EQ(langText(Language::Chinese, kTextConnected), "已连接");
    EXPECT_EQ(langText(Language::English, kTextNotConnected), "NotConnected");
    EXPECT_EQ(langText(Language::Chinese, kTextReadOk), "获取参数:成功");
    EXPECT_EQ(langText(Language::English, kTextSaveOk), "Save Successfully");
    EXPECT_EQ(langText(Language::Chinese, kTextClose), "关闭");
    EXPECT_EQ(langText(Language::Chinese, kTextGuide),
              "一般操作流程：\r\n1、模块连PC串口,上电；\r\n2、打开串口；\r\n3、获取设备参数；\r\n"
              "4、选择工作模式及配置相关参数；\r\n5、设置并保存所有参数。\r\n6、重启设备。\r\n");
    EXPECT_EQ(langText(Language::English, kTextGuide),
              "General operation process:\r\n"
              "1.Connect the module to PC serial port, power the module\r\n"
              "2.Click \"Open serial\"\r\n3.Click \"Read Device Parameters\"\r\n"
              "4.Choose work mode and configure related parameters\r\n"
              "5.Click \"Save Device Parameters\"\r\n6.Click \"Restart Device\"\r\n");
}

// English mode shows English: every English text is plain ASCII (no Chinese text standing in
// for a missing one) and none keeps a misspelling the tables once had.
TEST(Language, EnglishTextsHoldNoChineseAndNoKnownMisspelling) {
    std::vector<std::string_view> english;
    for (int i = 1; i <= kTextCount; ++i) english.push_back(langText(Language::English, i));
    auto add = [&](const auto& labels) {
        for (FormLabel l : labels) english.push_back(inLanguage(l, Language::English));
    };
    add(rtuText::kActions);
    add(rtuText::kInputTriggers);
    add(rtuText::kPowerOffModes);
    add(rtuText::kRanges);
    add(rtuText::kFormats);
    add(std::array{rtuText::kShortcuts, rtuText::kCalibrate, rtuText::kViewCoefficients,
                   rtuText::kHighSms, rtuText::kLowSms, rtuText::kSmsNote, rtuText::kCloneHelp,
                   rtuText::kPowerOffHelp, rtuText::kHelpMark, rtuText::kCalibrationOk});
    const std::string_view misspelt[] = {"DPaity", "EdageC", "Vender", "Shutcut",
                                         "Ignone", "fisrt",  "OPen",   "PollInternal"};
    for (std::string_view text : english) {
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        })) << text;
        for (std::string_view word : misspelt) EXPECT_EQ(text.find(word), text.npos) << text;
    }
}

TEST(Language, FromStoredNumber) {
    EXPECT_EQ(languageFromInt(0), Language::Chinese);
    EXPECT_EQ(languageFromInt(1), Language::English);
    EXPECT_EQ(languageFromInt(-1), Language::Chinese);
}

}  // namespace
}  // namespace dtu
