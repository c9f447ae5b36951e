#pragma once

#include "text/language.h"

namespace dtu::dialogText {

// The words of the feature dialogs that are not numbered entries, in both languages.

// The button that tries the servers of the record from the PC.
inline constexpr FormLabel kTestConnection{"测试连接", "Test connection"};

// File choosers.
inline constexpr FormLabel kAllFiles{"所有文件", "All files"};

// The MQTT dialog on counter firmware: the product key and device name carry the cloud-print
// values, and the counter's own settings follow.
inline constexpr FormLabel kCloudPrintReset{"云印清零", "Cloud print reset"};
inline constexpr FormLabel kCloudPrintTag{"云印TAG", "Cloud print TAG"};
inline constexpr FormLabel kDebounce{"消抖：", "Debounce:"};
inline constexpr FormLabel kAdjustment{"加减( 负为减 ,正为加 ,0不加不减)",
                                       "Adjust (negative subtracts, positive adds, 0 neither)"};
inline constexpr FormLabel kMeter{"计米:", "Meter:"};
inline constexpr FormLabel kCountsPerCircumference{"计数/周长", "Counts/circumference"};
inline constexpr FormLabel kCircumference{"周长(mm)", "Circumference (mm)"};

// The firmware upgrade dialog.
inline constexpr FormLabel kFirmwareTitle{"固件升级", "Firmware upgrade"};
inline constexpr FormLabel kChooseFirmware{"选择固件文件", "Choose the firmware file"};
inline constexpr FormLabel kFirmwareGroup{"固件", "Firmware"};
inline constexpr FormLabel kResetAfterUpgrade{"升级完恢复出厂设置",
                                              "Restore factory settings after the upgrade"};
inline constexpr FormLabel kResetNotDone{"未恢复出厂设置", "Factory settings not restored"};
inline constexpr FormLabel kResetDone{"已恢复出厂设置", "Factory settings restored"};
inline constexpr FormLabel kStartUpgrade{"开始升级", "Start upgrade"};
inline constexpr FormLabel kExit{"退出", "Exit"};

// The certificate dialog.
inline constexpr FormLabel kTlsTitle{"TLS(目前仅支持MQTT)", "TLS (MQTT only for now)"};
inline constexpr FormLabel kImportCa{"导入CA 文件 （必需）", "Import CA file (required)"};
inline constexpr FormLabel kImportClientCert{"导入CLIENT 文件 ", "Import client file"};
inline constexpr FormLabel kImportClientKey{"导入CLIENT KEY 文件 ", "Import client key file"};
inline constexpr FormLabel kChecksums{"校验和", "Checksums"};
inline constexpr FormLabel kSaveCertificates{"保存证书", "Save certificates"};
inline constexpr FormLabel kReadChecksums{"读取证书校验和", "Read checksums"};

// The device lock dialog.
inline constexpr FormLabel kLockTitle{"设备锁", "Device lock"};
inline constexpr FormLabel kLockHelp{
    "设备锁:给设备加上密码，在获取参数,保存参数,固件升级 "
    "时必须输入密码才能操作，保护设备参数不被窃取\n如果忘记密码，恢复出厂即可",
    "Device lock: a password on the device. Reading or saving parameters and upgrading the "
    "firmware then need the password, so that nobody else can read the parameters.\nIf the "
    "password is forgotten, restore the factory settings."};
inline constexpr FormLabel kLockPassword{"密码", "Password"};
inline constexpr FormLabel kLockPasswordHint{"8位数字或字母", "8 digits or letters"};
inline constexpr FormLabel kLockPasswordLength{"密码必须是8位",
                                               "The password must be 8 characters"};

// The APN, HTTP and remote configuration dialogs.
inline constexpr FormLabel kApnAuth{"加密", "Prot"};
inline constexpr FormLabel kHexToAscii{"hex 转 ascii hex(0x01<->\"01\")",
                                       "hex to ascii hex(0x01<->\"01\")"};
inline constexpr FormLabel kRemoteConfigTitle{"远程配置", "CloudSet"};
inline constexpr FormLabel kRemoteConfigServer{"配置服务器", "Ip"};
inline constexpr FormLabel kRemoteConfigPassword{"通讯密码", "Password"};

// The GPS upload dialog.
inline constexpr FormLabel kGpsUpload{"上传方式", "Upload"};
inline constexpr FormLabel kGpsInterval{"上传间隔", "Interval"};
inline constexpr FormLabel kGpsIntervalUnit{"s（1-65535）", "s (1-65535)"};

// The user settings dialog: the device has no command for its user flash yet.
inline constexpr FormLabel kUserSettingsTitle{"用户设置", "User settings"};
inline constexpr FormLabel kUserFlashUnavailable{
    "设备没有读写用户FLASH的命令，此功能暂未提供",
    "The device has no command to read or write its user flash; not available"};
inline constexpr FormLabel kReadUserFlash{"读取用户FLASH(仅支持读0-256字节)",
                                          "Read user FLASH (bytes 0-256 only)"};
inline constexpr FormLabel kWriteUserFlash{"写用户FLASH(仅支持写0-256字节)",
                                           "Write user FLASH (bytes 0-256 only)"};

}  // namespace dtu::dialogText
