#include "params/apn_form.h"

#include "params/form_values.h"
#include "params/item_codec.h"

namespace dtu {

namespace f = fields;

std::array<std::string_view, 4> apnAuthEntries(Language lang) {
    if (lang == Language::English) return {"Disable", "PAP", "CHAP", "APN"};
    return {"不加密", "PAP", "CHAP", "公网APN"};
}

void ApnForm::open(const DeviceParams& p) {
    const int auth = p.get(f::apnAuthType);
    authType = auth < static_cast<int>(apnAuthEntries(Language::Chinese).size()) ? auth : -1;
    name = fieldText(p, f::apnName);
    userName = fieldText(p, f::apnUserName);
    password = fieldText(p, f::apnPassword);
}

std::optional<std::string> ApnForm::accept(DeviceParams& p, Language lang) const {
    struct Step {
        TextField field;
        const std::string& typed;
        FormLabel label;
    };
    const Step steps[] = {{f::apnName, name, {"APN", "APN"}},
                          {f::apnUserName, userName, {"USERNAME", "USERNAME"}},
                          {f::apnPassword, password, {"PASSWORD", "PASSWORD"}}};
    FormText texts[3];
    for (std::size_t i = 0; i < 3; ++i) {
        texts[i] = formText(shownText(p, steps[i].field), steps[i].typed,
                            sendableBytes(steps[i].field), steps[i].label, lang);
        if (!texts[i].refusal.empty()) return texts[i].refusal;
    }
    for (std::size_t i = 0; i < 3; ++i) p.setText(steps[i].field, texts[i].gbk);
    if (authType >= 0) p.set(f::apnAuthType, static_cast<std::uint8_t>(authType));
    return std::nullopt;
}

}  // namespace dtu
