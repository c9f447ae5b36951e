#include "text/language.h"

#include <array>

namespace dtu {

namespace {

struct Entry {
    std::string_view chinese;
    std::string_view english;
};

// Index 0 is unused so that entries keep the numbers the windows refer to.
constexpr std::array<Entry, kTextCount + 1> kTexts{{
    // clang-format off
    {"", ""},
    {"设备", "Device"},  // 1
    {"工具", "Tools"},  // 2
    {"固件升级", "Firmware Upgrade"},  // 3
    {"导入配置", "Import Config"},  // 4
    {"导出配置", "Export Config"},  // 5
    {"串口", "Serial"},  // 6
    {"波特率", "BaudR"},  // 7
    {"校验位", "Parity"},  // 8
    {"数据位", "DataB"},  // 9
    {"停止位", "StopB"},  // 10
    {"打开", "Open"},  // 11
    {"关闭", "Close"},  // 12
    {"工作模式", "WorkMode"},  // 13
    {"服务器", "Server"},  // 14
    {"地址和端口", "IPPORT"},  // 15
    {"连接类型", "Protocol"},  // 16
    {"设置", "Set"},  // 17
    {"心跳包", "HeartBeat"},  // 18
    {"注册包", "RegPacket"},  // 19
    {"数据", "Data"},  // 20
    {"串口参数", "SerialParameters"},  // 21
    {"打包时间", "PackTime"},  // 22
    {"短信透传", "SMS"},  // 23
    {"手机号码", "Phone"},  // 24
    {"高级功能", "More"},  // 25
    {"给串口发数据", "SendDataToSerial"},  // 26
    {"串口过滤", "SerialFilter"},  // 27
    {"继电器", "Relay"},  // 28
    {"断网缓存", "NetBreakCache"},  // 29
    {"网络无数据时重启", "RestartWhenNetBreak"},  // 30
    {"分钟", "Minute"},  // 31
    {"用户代码", "UserCode"},  // 32
    {"边缘计算", "Edge computing"},  // 33
    {"型号", "Model"},  // 34
    {"版本", "Ver"},  // 35
    {"运行商", "Operator"},  // 36
    {"信号", "Power"},  // 37
    {"基站", "Status"},  // 38
    {"获取参数", "Read"},  // 39
    {"保存参数", "Save"},  // 40
    {"重启设备", "Restart"},  // 41
    {"恢复出厂", "Default"},  // 42
    {"接收", "Rx"},  // 43
    {"发送", "Tx"},  // 44
    {"清除", "Clear"},  // 45
    {"如果保存失败勾选再试", "SaveFailedTryAgain"},  // 46
    {"发送", "Send"},  // 47
    {"已连接", "Connected"},  // 48
    {"未连接", "NotConnected"},  // 49
    // 50
    {"一般操作流程：\r\n"
     "1、模块连PC串口,上电；\r\n"
     "2、打开串口；\r\n"
     "3、获取设备参数；\r\n"
     "4、选择工作模式及配置相关参数；\r\n"
     "5、设置并保存所有参数。\r\n"
     "6、重启设备。\r\n",
     "General operation process:\r\n"
     "1.Connect the module to PC serial port, power the module\r\n"
     "2.Click \"Open serial\"\r\n"
     "3.Click \"Read Device Parameters\"\r\n"
     "4.Choose work mode and configure related parameters\r\n"
     "5.Click \"Save Device Parameters\"\r\n"
     "6.Click \"Restart Device\"\r\n"},
    {"保存参数失败", "Save Failed"},  // 51
    {"保存参数:成功", "Save Successfully"},  // 52
    {"获取参数失败", "Read Failed"},  // 53
    {"获取参数:成功", "Read Successfully"},  // 54
    {"重启设备:失败", "Restart Failed"},  // 55
    {"重启设备:成功", "Restart Successfully"},  // 56
    {"恢复出厂:失败", "Default Failed"},  // 57
    {"恢复出厂:成功", "Default Successfully"},  // 58
    {"时间", "Time"},  // 59
    {"模式", "Mode"},  // 60
    {"与服务器建立连接时，向服务器发送一次", "Send register data once when socket connects"},  // 61
    {"向服务器发送的每个数据包前都加上", "Send register data as the head of every tcp/udp packet"},  // 62
    {"同时支持以上两种", "Support above two ways"},  // 63
    {"不启用", "Disable"},  // 64
    {"MODBUS主动轮询", "Modbus Poll"},  // 65
    {"更多协议，欢迎定制", ""},  // 66
    {"失败", "Failed"},  // 67
    {"成功", "Successfully"},  // 68
    {"网络透传", "Net"},  // 69
    {"短信透传", "SMS"},  // 70
    {"透传", "SmsData"},  // 71
    {"格式转换", "SmsProtocol"},  // 72
    {"PDU 格式", "SmsPdu"},  // 73
    {"确定", "Ok"},  // 74
    {"取消", "Cancel"},  // 75
    {"端口", "Port"},  // 76
    {"用户名", "UserName"},  // 77
    {"密码", "UserPw"},  // 78
    {"遗嘱", "Will"},  // 79
    {"订阅Topic", "SubTopic"},  // 80
    {"发布Topic", "PubTopic"},  // 81
    {"阿里云（不用请忽略）", "Ali Cloud "},  // 82
    {"Brenlo云（不用请忽略）", "Brenlo Cloud"},  // 83
    {"获得MQTT状态", "Get Mqtt Status"},  // 84
    {"启用", "Enable"},  // 85
    {"发送间隔", "Time"},  // 86
    {"过滤数据", "FilterData"},  // 87
    {"断网", "NetBreak"},  // 88
    {"测试", "Test"},  // 89
    {"总缓存大小100K byte", "Cache Buffer Size :100K byte"},  // 90
    {"缓存条数", "Cache Item"},  // 91
    {"上线后每条的发送间隔", "Send Time Interval"},  // 92
    {"在每个数据包前加上2字节长度", "With Data Size"},  // 93
    {"在每个数据包前加上4字节相对时间，单位秒", "With Time"},  // 94
    {"序号", "S/N"},  // 95
    {"地址", "Address"},  // 96
    {"功能码", "Fun"},  // 97
    {"开始寄存器", "StartAddr"},  // 98
    {"寄存器数量", "RegNum"},  // 99
    {"数据类型", "DataType"},  // 100
    {"保留小数位", "KeepFloat"},  // 101
    {"json名", "JsonName"},  // 102
    {"阀值1", "TriggerValue1"},  // 103
    {"阀值2", "TriggerValue2"},  // 104
    {"缓存地址", "Cache Addr"},  // 105
    {"modbus rtu 地址64 功能码03", "ModbusRTU"},  // 106
    {"json 带IMEI", "Json With IMEI"},  // 107
    {"阿里云 json Alink", "Alink"},  // 108
    {"阀值内 继电器 不跟随", "Relay0"},  // 109
    {"阀值内 继电器 正跟随", "Relay1"},  // 110
    {"阀值内 继电器 负跟随", "Relay2"},  // 111
    {"Modbus超时 寄存器保持原值", "Modbus Timeout , Not Change"},  // 112
    {"Modbus超时 将寄存器清零", "Modbus Timeout , Clear 0x00"},  // 113
    {"Modbus超时 将寄存器清FF", "Modbus Timeout , Clear 0xff"},  // 114
    {"添加", "Add"},  // 115
    {"删除", "Delete"},  // 116
    {"定时上传", "TimeUpload"},  // 117
    {"超时", "Timeout"},  // 118
    {"变化上传", "ChangeUpload"},  // 119
    {"上传类型", "UploadType"},  // 120
    {"轮询间隔", "PollInterval"},  // 121
    {"指令延时", "Delay"},  // 122
    // clang-format on
}};

}  // namespace

std::string_view langText(Language lang, int index) {
    if (index < 1 || index > kTextCount) return {};
    const Entry& e = kTexts[static_cast<std::size_t>(index)];
    return lang == Language::English ? e.english : e.chinese;
}

}  // namespace dtu
