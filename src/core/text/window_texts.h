#pragma once

#include <array>
#include <string_view>

#include "params/form_values.h"

namespace dtu::windowText {

// The main window's words that the language table does not hold, in both languages.

// Menus and window.
inline constexpr FormLabel kTitle{"4G DTU&RTU 配置软件  V169", "4G DTU&RTU Config   V169"};
inline constexpr FormLabel kAbout{"关于 dtu(&A)...", "&About dtu..."};
inline constexpr FormLabel kAboutText{"4G DTU&RTU 配置软件", "4G DTU&RTU Config tool"};
inline constexpr FormLabel kDeepReset{"深度恢复出厂", "Deep factory reset"};
inline constexpr FormLabel kProductionFolder{"生产目录", "Production folder"};
inline constexpr FormLabel kFileFilter{"文件 (*.cfg)", "Files (*.cfg)"};
inline constexpr FormLabel kAllFilesFilter{"(*.cfg);;所有文件(*.*)", "(*.cfg);;All files (*.*)"};

// Port row and advanced functions.
inline constexpr FormLabel kLock{"设备锁", "Device lock"};
inline constexpr FormLabel kSet{"设置", "Set"};
inline constexpr FormLabel kRemoteConfig{"远程配置", "CloudSet"};
inline constexpr FormLabel kTls{"TLS加密", "TLS"};
inline constexpr std::array<FormLabel, 3> kTlsModes = {
    {{"不启用", "Disable"}, {"单向认证", "One-way auth"}, {"双向认证", "Two-way auth"}}};
inline constexpr FormLabel kCertificates{"证书", "Certificates"};
inline constexpr FormLabel kOneClick{"一键配置lock", "One-click config (locked)"};
inline constexpr FormLabel kPhoneNumbersHelp{
    "数据转换:最多支持10个手机号 每个手机号之间 以;分隔    。   如 10086;10010\r\n"
    "格式转换:phone|data    如 10086|cxll ",
    "SmsData: up to 10 phone numbers separated by ;    e.g. 10086;10010\r\n"
    "SmsProtocol: phone|data    e.g. 10086|cxll "};
inline constexpr FormLabel kSendData{"发送的数据", "The data to send"};

// Status area.
inline constexpr FormLabel kGpsUpload{"上传设置", "Upload settings"};
inline constexpr FormLabel kCellInfo{"小区信息", "Cell info"};
inline constexpr FormLabel kCellLocation{"基站定位", "Cell positioning"};
inline constexpr FormLabel kImeiCopied{"IMEI 复制成功\r\n", "IMEI copy\r\n"};
inline constexpr FormLabel kIccidCopied{"ICCID 复制成功\r\n", "ICCID copy\r\n"};
inline constexpr FormLabel kMacCopied{"MAC 复制成功\r\n", "MAC copy\r\n"};
// The SIM line: the card, then the network registration state 0..6.
inline constexpr FormLabel kSimInserted{"已插卡; ", "SIM inserted; "};
inline constexpr FormLabel kNoSim{"未插卡; ", "No SIM; "};
inline constexpr std::array<FormLabel, 7> kRegistrationStates = {{
    {"未注册", "Not registered"},
    {"已注册，本地网", "Registered, home network"},
    {"未注册，正在搜运营商", "Not registered, searching"},
    {"注册被拒绝", "Registration denied"},
    {"未知", "Unknown"},
    {"已注册漫游", "Registered, roaming"},
    {"注册本地网", "Registered, home network"},
}};
inline constexpr FormLabel kFirmwareTooOld{"版本低于V23084,无法获取",
                                           "Needs firmware V23084 or later"};

// Production line.
inline constexpr FormLabel kPrint{"打印", "Print"};
inline constexpr FormLabel kPrintNoLogo{"打印无LOGO", "Print without logo"};
inline constexpr FormLabel kAddToCloud{"添加到云", "Add to cloud"};
inline constexpr FormLabel kReadFirst{"请先获取参数", "Read the device first"};
inline constexpr FormLabel kAdded{"添加成功\r\n", "Added\r\n"};
inline constexpr FormLabel kAlreadyAdded{"已经添加\r\n", "Already added\r\n"};
inline constexpr FormLabel kAddFailed{"添加失败\r\n", "Adding failed\r\n"};

inline constexpr std::string_view in(FormLabel label, Language lang) {
    return lang == Language::English ? label.english : label.chinese;
}

}  // namespace dtu::windowText
