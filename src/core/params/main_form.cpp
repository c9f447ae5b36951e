#include "params/main_form.h"

#include <algorithm>

#include "params/form_values.h"
#include "params/item_codec.h"
#include "text/gbk.h"
#include "text/hex.h"

namespace dtu {

namespace f = fields;

namespace {

constexpr std::uint8_t kCellLocationOff = 0x55;
constexpr std::uint8_t kConfigLockOn = 0x78;
constexpr FormLabel kPhoneNumbersMessage{"手机号不超过159", "Phone numbers: at most 159 bytes"};

int comboIndex(int value, int count) {
    return value >= 0 && value < count ? value : -1;
}

void showServer(const DeviceParams& p, ServerForm& s, U8Field enable, TextField host, U16Field port,
                U8Field protocol, U8Field connMode, U16Field timeout) {
    s.enable = p.get(enable) == 1;
    s.host = fieldText(p, host);
    s.port = std::to_string(p.get(port));
    s.protocol = comboIndex(p.get(protocol), static_cast<int>(kProtocolEntries.size()));
    s.connMode = comboIndex(p.get(connMode), static_cast<int>(kConnModeEntries.size()));
    s.timeout = std::to_string(p.get(timeout));
}

// The packet data as its edit shows it, the HEX box deciding how.
ShownText shownPacket(const DeviceParams& p, U8Field length, BytesField data, bool hex) {
    return shownBytes(p.bytes(data).first(std::min<std::size_t>(p.get(length), data.size)), hex);
}

void showPacket(const DeviceParams& p, PacketForm& packet, U8Field length, BytesField data) {
    packet.data = shownPacket(p, length, data, packet.hex).shown;
}

// Collection step by step; the first refusal ends it.
class Collector {
public:
    Collector(DeviceParams& params, Language lang) : m_p(params), m_lang(lang) {}

    void flag(U8Field field, bool ticked) { m_p.set(field, ticked ? 1 : 0); }
    void combo(U8Field field, int index, int offset = 0) {
        if (index >= 0) m_p.set(field, static_cast<std::uint8_t>(index + offset));
    }
    void number(U8Field field, const std::string& text) {
        m_p.set(field, static_cast<std::uint8_t>(formNumber(text)));
    }
    void number(U16Field field, const std::string& text) {
        m_p.set(field, static_cast<std::uint16_t>(formNumber(text)));
    }
    void number(U32Field field, const std::string& text) { m_p.set(field, formNumber(text)); }

    // Refuses an edited text that is not GBK or longer than the save can send and a read take
    // back; an untouched one keeps its bytes.
    bool text(TextField field, const std::string& typed, FormLabel label) {
        FormText t = formText(shownText(m_p, field), typed, sendableBytes(field), label, m_lang);
        if (!t.refusal.empty()) return refuse(std::move(t.refusal));
        return m_p.setText(field, t.gbk);
    }

    // An untouched packet keeps its bytes and length.
    bool packet(U8Field length, BytesField data, const PacketForm& packet, FormLabel label) {
        if (!shownPacket(m_p, length, data, packet.hex).editedTo(packet.data)) return true;
        const std::size_t limit = sendableBytes(data);
        std::vector<std::uint8_t> bytes;
        if (packet.hex) {
            auto parsed = parseHex(packet.data);
            if (!parsed) {
                // The previous data is kept and the collection goes on.
                m_result.messages.emplace_back(inLanguage(kHexEntryMessage, m_lang));
                return true;
            }
            if (parsed->size() > limit) return refuse(tooLongMessage(label, limit, m_lang));
            bytes = std::move(*parsed);
        } else {
            FormText t = formText(packet.data, limit, label, m_lang);
            if (!t.refusal.empty()) return refuse(std::move(t.refusal));
            bytes = std::move(t.gbk);
        }
        m_p.set(length, static_cast<std::uint8_t>(bytes.size()));
        m_p.setBytes(data, bytes);
        return true;
    }

    bool refuse(std::string message) {
        m_result.ok = false;
        if (!message.empty()) m_result.messages.push_back(std::move(message));
        return false;
    }

    CollectResult result() const { return m_result; }

    bool edited(TextField field, const std::string& typed) const {
        return shownText(m_p, field).editedTo(typed);
    }

private:
    DeviceParams& m_p;
    Language m_lang;
    CollectResult m_result;
};

bool collectServer(Collector& c, const ServerForm& s, U8Field enable, TextField host, U16Field port,
                   U8Field protocol, U8Field connMode, U16Field timeout, FormLabel label) {
    c.flag(enable, s.enable);
    if (!c.text(host, s.host, label)) return false;
    c.number(port, s.port);
    c.combo(protocol, s.protocol);
    c.combo(connMode, s.connMode);
    c.number(timeout, s.timeout);
    return true;
}

}  // namespace

void showMainForm(const DeviceParams& p, MainForm& form) {
    form.workMode = comboIndex(p.get(f::workMode), kWorkModeCount);
    showServer(p, form.serverA, f::serverAEnable, f::serverAHost, f::serverAPort,
               f::serverAProtocol, f::serverAConnMode, f::serverATimeout);
    showServer(p, form.serverB, f::serverBEnable, f::serverBHost, f::serverBPort,
               f::serverBProtocol, f::serverBConnMode, f::serverBTimeout);
    form.httpEnable = p.get(f::httpEnable) == 1;
    form.mqttEnable = p.get(f::mqttEnable) == 1;
    form.heartbeatEnable = p.get(f::heartbeatEnable) == 1;
    form.heartbeatInterval = std::to_string(p.get(f::heartbeatInterval));
    showPacket(p, form.heartbeat, f::heartbeatLength, f::heartbeatData);
    form.registerEnable = p.get(f::registerEnable) == 1;
    form.registerMode = comboIndex(p.get(f::registerMode), kRegisterModeCount);
    showPacket(p, form.registration, f::registerLength, f::registerData);
    form.dtuBaud =
        comboIndex(p.get(f::dtuBaudIndex) - 1, static_cast<int>(kDeviceBaudEntries.size()));
    form.dtuParity =
        comboIndex(p.get(f::dtuParityIndex) - 1, static_cast<int>(kParityEntries.size()));
    form.dtuStopBits =
        comboIndex(p.get(f::dtuStopBitsIndex) - 1, static_cast<int>(kStopBitsEntries.size()));
    form.packTime = std::to_string(p.get(f::packTimeMs));
    form.smsMode = comboIndex(p.get(f::smsMode), kSmsModeCount);
    form.phoneNumbers = fieldText(p, f::smsPhoneNumbers);
    form.serialSendEnable = p.get(f::serialSendEnable) == 1;
    form.serialFilterEnable = p.get(f::serialFilterEnable) == 1;
    form.relayEnable = p.get(f::relayEnable) == 1;
    form.dataCacheEnable = p.get(f::dataCacheEnable) == 1;
    form.modbusTcpToRtu = p.get(f::modbusTcpToRtu) == 1;
    form.edgeMode = comboIndex(p.get(f::edgeMode), kEdgeModeCount);
    form.tlsMode = comboIndex(p.get(f::tlsMode), kTlsModeCount);
    form.apnEnable = p.get(f::apnEnable) == 1;
    form.remoteConfigEnable = p.get(f::remoteConfigEnable) == 1;
    form.userCodeEnable = p.get(f::userCodeEnable) == 1;
    form.configLock = p.get(f::configLockFlag) == kConfigLockOn;
    form.noDataRebootMinutes = std::to_string(p.get(f::noDataRebootMinutes));
    form.cellLocation = p.get(f::cellLocationEnable) != kCellLocationOff;
}

CollectResult collectMainForm(const MainForm& form, DeviceParams& p, Language lang) {
    Collector c(p, lang);
    c.combo(f::dtuBaudIndex, form.dtuBaud, 1);
    c.combo(f::dtuParityIndex, form.dtuParity, 1);
    c.combo(f::dtuStopBitsIndex, form.dtuStopBits, 1);
    p.set(f::dtuDataBits, 8);
    c.combo(f::workMode, form.workMode);
    c.number(f::packTimeMs, form.packTime);
    if (!collectServer(c, form.serverA, f::serverAEnable, f::serverAHost, f::serverAPort,
                       f::serverAProtocol, f::serverAConnMode, f::serverATimeout,
                       {"服务器A地址", "Server A address"}) ||
        !collectServer(c, form.serverB, f::serverBEnable, f::serverBHost, f::serverBPort,
                       f::serverBProtocol, f::serverBConnMode, f::serverBTimeout,
                       {"服务器B地址", "Server B address"}))
        return c.result();
    c.combo(f::smsMode, form.smsMode);
    c.flag(f::heartbeatEnable, form.heartbeatEnable);
    c.number(f::heartbeatInterval, form.heartbeatInterval);
    if (!c.packet(f::heartbeatLength, f::heartbeatData, form.heartbeat,
                  {"心跳包数据", "Heartbeat data"}))
        return c.result();
    c.flag(f::registerEnable, form.registerEnable);
    c.combo(f::registerMode, form.registerMode);
    if (!c.packet(f::registerLength, f::registerData, form.registration,
                  {"注册包数据", "Registration data"}))
        return c.result();
    {
        // The length is checked before anything is stored, in the device's own words.
        const auto phones = utf8ToGbk(form.phoneNumbers);
        if (c.edited(f::smsPhoneNumbers, form.phoneNumbers) && phones &&
            phones->size() > sendableBytes(f::smsPhoneNumbers)) {
            c.refuse(std::string(inLanguage(kPhoneNumbersMessage, lang)));
            return c.result();
        }
        if (!c.text(f::smsPhoneNumbers, form.phoneNumbers, {"手机号码", "Phone numbers"}))
            return c.result();
    }
    c.flag(f::serialSendEnable, form.serialSendEnable);
    c.flag(f::serialFilterEnable, form.serialFilterEnable);
    c.flag(f::mqttEnable, form.mqttEnable);
    c.flag(f::userCodeEnable, form.userCodeEnable);
    c.combo(f::edgeMode, form.edgeMode);
    c.flag(f::relayEnable, form.relayEnable);
    c.number(f::noDataRebootMinutes, form.noDataRebootMinutes);
    c.flag(f::httpEnable, form.httpEnable);
    c.flag(f::dataCacheEnable, form.dataCacheEnable);
    c.flag(f::modbusTcpToRtu, form.modbusTcpToRtu);
    c.flag(f::apnEnable, form.apnEnable);
    c.flag(f::remoteConfigEnable, form.remoteConfigEnable);
    p.set(f::cellLocationEnable, form.cellLocation ? 1 : kCellLocationOff);
    c.combo(f::tlsMode, form.tlsMode);
    p.set(f::configLockFlag, form.configLock ? kConfigLockOn : 0);
    return c.result();
}

MainEnabling mainEnabling(const MainForm& form, std::uint8_t deviceKind) {
    MainEnabling e;
    if (form.workMode == 1) {
        // SMS transparent: the network side is off; only the SMS mode and numbers count.
        e.smsMode = true;
        e.linkBoxes = e.httpLink = e.mqttLink = false;
    } else {
        // The fields follow their boxes in any other mode; network transparent also switches
        // the boxes on and the SMS mode off, a mode without an entry leaves them.
        e.serverAFields = form.serverA.enable;
        e.serverBFields = form.serverB.enable;
        e.heartbeatFields = form.heartbeatEnable;
        e.registerFields = form.registerEnable;
        if (form.workMode == 0) {
            e.linkBoxes = true;
            e.smsMode = false;
            e.httpLink = form.httpEnable;
            e.mqttLink = form.mqttEnable;
        }
    }
    e.relay = deviceKind == 1;
    e.rtuButton = deviceKind != 1;
    e.edgeLink = form.edgeMode != 0;
    return e;
}

}  // namespace dtu
