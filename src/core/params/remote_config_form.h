#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The remote configuration dialog's controls as values: the configuration server and the
// communication password, edited in the record in place, and the state line the device
// reported. Both texts are checked before either is stored. The password stays on the PC: the
// save never sends it.
struct RemoteConfigForm {
    std::string server;
    std::string password;
    std::string status;  // shown only

    void open(const DeviceParams& params, Language lang);
    std::optional<std::string> accept(DeviceParams& params, Language lang) const;

    friend bool operator==(const RemoteConfigForm&, const RemoteConfigForm&) = default;
};

// The password is not exactly 8 bytes; the same words in both languages.
inline constexpr std::string_view kRemoteConfigPasswordWrong = "PASSWORD WRONG";

// "uuid:%d 远程配置次数:%d timeout:%d curip:%s", in English "uuid:%d cfg cnt:%d ...".
std::string remoteConfigStatusLine(const DeviceParams& params, Language lang);

}  // namespace dtu
