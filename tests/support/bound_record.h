#pragma once

// Records with valid, varied values in every field the main window shows and collects: texts
// and packets no longer than the save can send and a read take back.
#include <random>
#include <string>
#include <vector>

#include "params/device_params.h"
#include "text/gbk.h"

namespace dtu::test {

// Every field the main window shows and collects.
inline const std::vector<std::string> kBoundFields = {
    "dtuBaudIndex",    "dtuParityIndex",      "dtuStopBitsIndex",   "dtuDataBits",
    "workMode",        "packTimeMs",          "serverAEnable",      "serverAHost",
    "serverAPort",     "serverAProtocol",     "serverAConnMode",    "serverATimeout",
    "serverBEnable",   "serverBHost",         "serverBPort",        "serverBProtocol",
    "serverBConnMode", "serverBTimeout",      "httpEnable",         "mqttEnable",
    "heartbeatEnable", "heartbeatInterval",   "heartbeatLength",    "heartbeatData",
    "registerEnable",  "registerMode",        "registerLength",     "registerData",
    "smsMode",         "smsPhoneNumbers",     "serialSendEnable",   "serialFilterEnable",
    "relayEnable",     "dataCacheEnable",     "modbusTcpToRtu",     "edgeMode",
    "tlsMode",         "apnEnable",           "remoteConfigEnable", "userCodeEnable",
    "configLockFlag",  "noDataRebootMinutes", "cellLocationEnable"};

// Packet data is text unless binaryPackets, which needs the HEX boxes ticked to show.
inline DeviceParams randomBoundRecord(std::mt19937& rng, bool binaryPackets) {
    namespace f = fields;
    auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    };
    auto text = [&](std::size_t maxLen) {
        static const std::string kChars = "abcxyz019.-_:;|/ ";
        std::string s(pick(0, static_cast<std::uint32_t>(maxLen)), 'a');
        for (char& c : s) c = kChars[pick(0, static_cast<std::uint32_t>(kChars.size() - 1))];
        if (s.size() + 4 <= maxLen && pick(0, 1)) s += "中文";
        return *utf8ToGbk(s);  // the record holds GBK
    };
    DeviceParams p;
    // Packet data shown as text must be text; shown as hex it may be any bytes.
    auto packet = [&](U8Field length, BytesField data) {
        std::vector<std::uint8_t> b(pick(0, 127));
        for (auto& x : b)
            x = static_cast<std::uint8_t>(binaryPackets ? pick(0, 255) : pick('a', 'z'));
        p.set(length, static_cast<std::uint8_t>(b.size()));
        p.setBytes(data, b);
    };
    p.set(f::dtuBaudIndex, static_cast<std::uint8_t>(pick(1, 11)));
    p.set(f::dtuParityIndex, static_cast<std::uint8_t>(pick(1, 3)));
    p.set(f::dtuStopBitsIndex, static_cast<std::uint8_t>(pick(1, 3)));
    p.set(f::dtuDataBits, 8);
    p.set(f::workMode, static_cast<std::uint8_t>(pick(0, 1)));
    p.set(f::packTimeMs, static_cast<std::uint8_t>(pick(0, 255)));
    for (auto [en, host, port, proto, conn, tmo] :
         {std::tuple{f::serverAEnable, f::serverAHost, f::serverAPort, f::serverAProtocol,
                     f::serverAConnMode, f::serverATimeout},
          std::tuple{f::serverBEnable, f::serverBHost, f::serverBPort, f::serverBProtocol,
                     f::serverBConnMode, f::serverBTimeout}}) {
        p.set(en, static_cast<std::uint8_t>(pick(0, 1)));
        p.setText(host, text(63));
        p.set(port, static_cast<std::uint16_t>(pick(0, 65535)));
        p.set(proto, static_cast<std::uint8_t>(pick(0, 1)));
        p.set(conn, static_cast<std::uint8_t>(pick(0, 1)));
        p.set(tmo, static_cast<std::uint16_t>(pick(0, 65535)));
    }
    for (auto field :
         {f::httpEnable, f::mqttEnable, f::heartbeatEnable, f::registerEnable, f::serialSendEnable,
          f::serialFilterEnable, f::relayEnable, f::dataCacheEnable, f::modbusTcpToRtu,
          f::apnEnable, f::remoteConfigEnable, f::userCodeEnable})
        p.set(field, static_cast<std::uint8_t>(pick(0, 1)));
    // The link carries the low 16 bits of the two interval fields.
    p.set(f::heartbeatInterval, pick(0, 0xFFFF));
    packet(f::heartbeatLength, f::heartbeatData);
    packet(f::registerLength, f::registerData);
    p.set(f::registerMode, static_cast<std::uint8_t>(pick(0, 2)));
    p.set(f::smsMode, static_cast<std::uint8_t>(pick(0, 2)));
    p.setText(f::smsPhoneNumbers, text(159));
    p.set(f::edgeMode, static_cast<std::uint8_t>(pick(0, 2)));
    p.set(f::tlsMode, static_cast<std::uint8_t>(pick(0, 2)));
    p.set(f::configLockFlag, pick(0, 1) ? 0x78 : 0);
    p.set(f::noDataRebootMinutes, pick(0, 0xFFFF));
    p.set(f::cellLocationEnable, pick(0, 1) ? 0x55 : 1);
    return p;
}

}  // namespace dtu::test
