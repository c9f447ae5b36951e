#pragma once

#include <array>
#include <string_view>

#include "params/form_values.h"
#include "text/language.h"

namespace dtu {

// The words of the RTU forms in both languages. A text that is the same in both is given once.

namespace rtuText {

// The RTU form.
inline constexpr std::string_view kRtuTitle = "RTU";
inline constexpr FormLabel kTest{"Test", ""};
inline constexpr FormLabel kAutoRefresh{"自动刷新", "Scan Status"};
inline constexpr FormLabel kAnalogGroup{"AI", ""};
inline constexpr std::array<std::string_view, 4> kAnalogModes = {"adc ", "0-20 ma", "0-5 v",
                                                                 "0-10v"};
inline constexpr FormLabel kCalibrate{"校准", "Calibrate"};
inline constexpr FormLabel kViewCoefficients{"查看系数", "Coefficients"};
inline constexpr FormLabel kCount{"计数", "Count"};
inline constexpr FormLabel kClearCounters{"清零", "Clear"};
inline constexpr FormLabel kSettings{"设置", "Set"};
inline constexpr FormLabel kAddress{"地址", "Address"};
inline constexpr FormLabel kDebounce{"输入消抖", "XFilter"};
inline constexpr FormLabel kLinkage{"联动", "Unit"};
inline constexpr FormLabel kLinkageRules{"联动策略", "Set"};
inline constexpr FormLabel kReport{"上报", "Upload"};
inline constexpr FormLabel kReportRules{"上报策略", "Set"};
inline constexpr FormLabel kPowerOffSave{"状态掉电存储", "Save when power off"};
inline constexpr FormLabel kPowerOnRelays{"请选择上电闭合的继电器", "Y status when power on"};
inline constexpr std::array<FormLabel, 5> kPowerOffModes = {
    {{"不启用(掉电保存)", "Off"},
     {"保存Y(无掉电检测)", "Save Y (no power loss detection)"},
     {"保存Y(有掉电检测)", "Save Y (power loss detection)"},
     {"保存计数(有掉电检测)", "Save counts (power loss detection)"},
     {"保存计数和Y(有掉电检测)", "Save counts and Y (power loss detection)"}}};
// The link beside the power-off modes that shows their help.
inline constexpr FormLabel kHelpMark{"？", "?"};
inline constexpr FormLabel kPowerOffHelp{
    "无掉电检测，保存Y状态  保存掉电3秒前 所有的输出状态，下次上电时自动恢复",
    "Save Y without power loss detection: the outputs as they were 3 seconds before the power "
    "went off come back at the next power-on"};
inline constexpr FormLabel kCalibrationOk{"校准成功", "Calibration succeeded"};
inline constexpr FormLabel kCalibrationFailed{"校准失败", "Calibration failed"};

// Both rule and upload forms.
inline constexpr FormLabel kClone{"克隆", "Clone"};
inline constexpr FormLabel kValue1{"值1", "value1"};
inline constexpr FormLabel kValue2{"值2", "value2"};
inline constexpr std::array<FormLabel, 4> kRanges = {{{"档位:ADC", "ADC"},
                                                      {"档位:0-20MA", "0-20MA"},
                                                      {"档位:0-5V", "0-5V"},
                                                      {"档位:0-10V", "0-10V"}}};

// The output rules form.
inline constexpr FormLabel kRulesTitle{"Dialog", "Output rules"};
inline constexpr std::array<FormLabel, 4> kActions = {
    {{"断开", "Open"}, {"闭合", "Close"}, {"翻转", "Turn"}, {"不变", "Keep"}}};
inline constexpr FormLabel kShortcuts{"快捷设置", "Shortcut"};
inline constexpr std::array<FormLabel, 3> kShortcutButtons = {
    {{"输入输出一对一断开联动", "X Y One for One Open"},
     {"输入输出一对一闭合联动", "X Y One for One Close"},
     {"输入输出一对一翻转联动", "X Y One for One Turn"}}};
inline constexpr FormLabel kTrigger{"触发条件", "trigger"};
// The third condition's English text differs between the two channels by one blank.
inline constexpr std::array<FormLabel, 3> kAdc1Conditions = {
    {{"大于或等于值1", ">=value1"},
     {"在值1和值2的区间内,含区间值", ">=value1 and <=value2"},
     {"小于等于值1为0,大于等于值2时为1", "<=value1  ,>=value2"}}};
inline constexpr std::array<FormLabel, 3> kAdc2Conditions = {
    {{"大于或等于值1", ">=value1"},
     {"在值1和值2的区间内,含区间值", ">=value1 and <=value2"},
     {"小于等于值1为0,大于等于值2时为1", "<=value1 ,>=value2"}}};
// Shown by the "?" beside the clone buttons.
inline constexpr FormLabel kCloneHelp{"使其他的与Y1相同", "Makes the others the same as Y1"};

// The input upload form.
inline constexpr FormLabel kUploadTitle{"upload", "Input upload"};
inline constexpr FormLabel kInputs{"输入", "X"};
inline constexpr std::array<FormLabel, 4> kInputTriggers = {
    {{"变低", "FallE"}, {"变高", "RiseE"}, {"变化", "Level"}, {"无视", "Ignore"}}};
inline constexpr std::array<FormLabel, 2> kUploadConditions = {
    {{"大于或等于值1", ">=value1"}, {"在值1和值2的区间内,含区间值", ">=value1 and <=value2"}}};
inline constexpr FormLabel kUploadCondition{"上传条件", "Trigger"};
inline constexpr FormLabel kTimedUpload{"定时上传", "Timer Send"};
inline constexpr FormLabel kFormat{"上传格式", "Format"};
inline constexpr std::array<FormLabel, 10> kFormats = {
    {{"自定义 48 3a 01 41...45 2e  只上报输入", " 48 3a 01 41...45 2e"},
     {"自定义 48 3a 01 21...45 2e", " 48 3a 01 21...45 2e"},
     {"modbus rtu", ""},
     {"ascii 以分号隔开", "ascii"},
     {"json 带IMEI", "json with IMEI"},
     {"短信上报", "SMS"},
     {"短信上报+电话通知", "SMS and Call"},
     {"短信上报+电话通知 + 自定义 48 3a 01 41...45 2e  只上报输入",
      "SMS and Call and   48 3a 01 41...45 2e "},
     {"电话通知", "Call"},
     {"json 带IMEI 带时间戳", "json with IMEI and timestamp"}}};
inline constexpr FormLabel kContent{"上传内容", "Upload"};
inline constexpr std::array<FormLabel, 4> kContentBits = {
    {{"输入", "X"}, {"输出", "Y"}, {"ADC", ""}, {"输入计数", "Count"}}};
inline constexpr FormLabel kHighSms{"高电平短信", "high level SMS"};
inline constexpr FormLabel kLowSms{"低电平短信", "low level SMS"};
inline constexpr FormLabel kSmsNote{"注：ADC 符合上传条件为高电平，不符合为低电平",
                                    "Note: an ADC that meets the upload condition is high, "
                                    "otherwise low"};
inline constexpr FormLabel kSmsTooLong{"短信最大32字节", "An SMS holds at most 32 bytes"};

}  // namespace rtuText

}  // namespace dtu
