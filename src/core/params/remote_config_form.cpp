#include "params/remote_config_form.h"

#include "params/form_values.h"
#include "params/item_codec.h"
#include "text/gbk.h"

namespace dtu {

namespace f = fields;

namespace {

constexpr std::size_t kPasswordBytes = 8;

}  // namespace

std::string remoteConfigStatusLine(const DeviceParams& p, Language lang) {
    return "uuid:" + std::to_string(static_cast<std::int32_t>(p.get(f::remoteConfigUuid))) +
           (lang == Language::English ? " cfg cnt:" : " 远程配置次数:") +
           std::to_string(p.get(f::remoteConfigCount)) +
           " timeout:" + std::to_string(p.get(f::remoteConfigTimeout)) +
           " curip:" + fieldText(p, f::remoteConfigCurrentIp);
}

void RemoteConfigForm::open(const DeviceParams& p, Language lang) {
    server = fieldText(p, f::remoteConfigServer);
    password = fieldText(p, f::remoteConfigPassword);
    status = remoteConfigStatusLine(p, lang);
}

std::optional<std::string> RemoteConfigForm::accept(DeviceParams& p, Language lang) const {
    const ShownText was = shownText(p, f::remoteConfigPassword);
    const auto pw = was.editedTo(password) ? utf8ToGbk(password) : was.stored;
    if (!pw || pw->size() != kPasswordBytes) return std::string(kRemoteConfigPasswordWrong);
    const FormText host =
        formText(shownText(p, f::remoteConfigServer), server, sendableBytes(f::remoteConfigServer),
                 {"配置服务器", "Ip"}, lang);
    if (!host.refusal.empty()) return host.refusal;
    p.setText(f::remoteConfigPassword, *pw);  // 8 bytes; the terminator after them stays
    p.setText(f::remoteConfigServer, host.gbk);
    return std::nullopt;
}

}  // namespace dtu
