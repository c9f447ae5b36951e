#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "text/language.h"

namespace dtu {

// The choices of the poll table's upload: how the polled values go to the servers, when, and
// to which of them. The tool only stores them; the device builds the uploads.

// An entry of a drop-down: an entry of the language table, or a text pair of its own.
struct ChoiceText {
    int textId = 0;
    std::string_view chinese;
    std::string_view english;
    std::string_view text(Language lang) const {
        if (textId != 0) return langText(lang, textId);
        return lang == Language::English ? english : chinese;
    }
};

// modbusUploadFormat: entry index = stored value. The "%s" of entry 5 is part of its text.
inline constexpr std::array<ChoiceText, 7> kUploadFormats{{
    {kTextUploadModbusRtu, {}, {}},
    {kTextUploadJsonImei, {}, {}},
    {kTextUploadCloudJson, {}, {}},
    {0, "Vlink", "Vlink"},
    {0, "塔吊json+前缀", "user1"},
    {0, "json+前缀 自定义格式(%s)", "json+prefix"},
    {0, "HJ212", "HJ212"},
}};

// The format that can carry a time stamp ("json 带IMEI").
inline constexpr int kTimestampFormat = 1;

// modbusChangeUpload: 0 off, 1 when an entry marked as emergency data changes, 2 on any change.
inline constexpr std::array<ChoiceText, 3> kChangeUploads{{
    {kTextDisable, {}, {}},
    {0, "启用(紧急数据变化上传)", "Emg Data"},
    {0, "启用(数据变化上传)", "All"},
}};

// modbusRelayFollow: what the relay does while the values are inside their thresholds.
inline constexpr std::array<ChoiceText, 3> kRelayFollows{{
    {kTextRelayNoFollow, {}, {}},
    {kTextRelayFollow, {}, {}},
    {kTextRelayInverse, {}, {}},
}};

// modbusTimeoutAction: what becomes of an entry's cached registers when its slave is silent.
inline constexpr std::array<ChoiceText, 3> kTimeoutActions{{
    {kTextTimeoutKeep, {}, {}},
    {kTextTimeoutClear00, {}, {}},
    {kTextTimeoutClearFF, {}, {}},
}};

// uploadTarget: entry index = stored value - kFirstUploadTarget.
inline constexpr std::uint8_t kFirstUploadTarget = 0x55;
inline constexpr std::array<ChoiceText, 5> kUploadTargets{{
    {0, "同时上传Server A B Httpc Mqtt", "Upload Server A B Httpc Mqtt"},
    {0, "仅上传 Server A", "Upload Server A"},
    {0, "仅上传 Server B", "Upload Server B"},
    {0, "仅上传 Httpc", "Upload Httpc"},
    {0, "仅上传 Mqtt", "Upload Mqtt"},
}};

// A stored target that names none of the five means all of them.
constexpr std::uint8_t normalUploadTarget(std::uint8_t stored) {
    return stored >= kFirstUploadTarget && stored < kFirstUploadTarget + kUploadTargets.size()
               ? stored
               : kFirstUploadTarget;
}

// What the custom format's prefix may hold, shown by the help link beside it.
inline constexpr FormLabel kUploadPrefixHelp{
    "json+前缀 自定义格式 支持的转义 %i %t %d %c\r\n"
    "%i:imei\r\n"
    "%t:时间戳\r\n"
    "%d:轮询的数据\r\n"
    "%c:iccid\r\n"
    "比如 设置前缀为 {\"imei\":%i,\"iccid\":%c,\"time\":%t,%d}\r\n"
    "将会上传: {\"imei\":868739058742846,\"iccid\":89860402102091016258,"
    "\"time\":\"2022-02-15 08:47:00\",\"k0\":0}\r\n"
    "%dev1\t按json 名的格式进行组合，json名匹配符支持%v:值\r\n"
    "\t如前缀 设置为 {%dev1},命令的json名设置为\"myk0\":%v \r\n"
    "\t此时上报 {\"myk0\":[0,0]}\r\n",
    "The json+prefix format takes the escapes %i %t %d %c\r\n"
    "%i: IMEI\r\n"
    "%t: time stamp\r\n"
    "%d: the polled data\r\n"
    "%c: ICCID\r\n"
    "For example, the prefix {\"imei\":%i,\"iccid\":%c,\"time\":%t,%d}\r\n"
    "uploads: {\"imei\":868739058742846,\"iccid\":89860402102091016258,"
    "\"time\":\"2022-02-15 08:47:00\",\"k0\":0}\r\n"
    "%dev1\tjoins the values in the form of their JSON names; a JSON name may hold %v, the "
    "value\r\n"
    "\tfor example, with the prefix {%dev1} and the JSON name \"myk0\":%v \r\n"
    "\tthe upload is {\"myk0\":[0,0]}\r\n"};

}  // namespace dtu
