#include "params/relay_form.h"

#include "params/form_values.h"

namespace dtu {

namespace f = fields;

std::array<std::string_view, 2> relayActionEntries(Language lang) {
    if (lang == Language::English) return {"Close", "Open"};
    return {"闭合", "断开"};
}

void RelayForm::open(const DeviceParams& p) {
    onNetLoss = p.get(f::relayOnNetLoss) == 1;
    minutes = std::to_string(static_cast<std::int32_t>(p.get(f::relayNetLossMinutes)));
    const int a = p.get(f::relayNetLossAction);
    action = a < static_cast<int>(relayActionEntries(Language::Chinese).size()) ? a : -1;
}

void RelayForm::accept(DeviceParams& p) const {
    p.set(f::relayOnNetLoss, onNetLoss ? 1 : 0);
    p.set(f::relayNetLossMinutes, formNumber(minutes));
    if (action >= 0) p.set(f::relayNetLossAction, static_cast<std::uint8_t>(action));
}

}  // namespace dtu
