#include "status/status_report.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <optional>

#include "text/gbk.h"
#include "text/window_texts.h"

namespace dtu {

namespace f = fields;

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
sformat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, again);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

// The displays print 32-bit fields with "%d": values from 2^31 on show as negative numbers.
int asPrinted(std::uint32_t v) {
    return static_cast<std::int32_t>(v);
}

// The registration states 0..6; nullopt for any other value.
std::optional<std::string_view> registrationName(std::uint8_t state,
                                                 Language lang = Language::Chinese) {
    if (state < windowText::kRegistrationStates.size())
        return windowText::in(windowText::kRegistrationStates[state], lang);
    return std::nullopt;
}

// Decimal prefix as the C library's atoi reads it: leading white space, an optional sign,
// digits; anything else ends the number.
int leadingInt(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int n = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) n = n * 10 + (s[i] - '0');
    return negative ? -n : n;
}

std::string deviceText(const DeviceParams& p, TextField field) {
    return gbkToDisplay(p.text(field));
}

std::string linkText(bool linked, bool enabled, Language lang) {
    if (linked) return std::string(langText(lang, kTextConnected));
    if (enabled) return std::string(langText(lang, kTextNotConnected));
    return {};
}

std::string gpsLine(const DeviceParams& p, Language lang) {
    const std::uint8_t satellites = p.get(f::gpsSatellites);
    if (satellites == 255) return lang == Language::English ? "No gps" : "无GPS模块";
    const int lat = p.get(f::gpsLatitudeDeg);
    const int latFrac = asPrinted(p.get(f::gpsLatitudeFrac));
    const int lon = p.get(f::gpsLongitudeDeg);
    const int lonFrac = asPrinted(p.get(f::gpsLongitudeFrac));
    if (lang == Language::English)
        return sformat("satellite:%d,latitude:%d.%06d,longitude:%d.%06d", satellites, lat, latFrac,
                       lon, lonFrac);
    if (p.get(f::gpsBeidou) == 1)
        return sformat("北斗数:%d,纬度:%d.%06d,经度:%d.%06d", satellites, lat, latFrac, lon,
                       lonFrac);
    return sformat("卫星数:%d,纬度:%d.%06d,经度:%d.%06d", satellites, lat, latFrac, lon, lonFrac);
}

std::string cellLine(const DeviceParams& p, Language lang) {
    const int lat = p.get(f::cellLatitudeDeg);
    const int latFrac = asPrinted(p.get(f::cellLatitudeFrac));
    const int lon = p.get(f::cellLongitudeDeg);
    const int lonFrac = asPrinted(p.get(f::cellLongitudeFrac));
    if (lang == Language::English)
        return sformat("latitude:%d.%06d,longitude:%d.%06d", lat, latFrac, lon, lonFrac);
    return sformat("纬度:%d.%06d,经度:%d.%06d", lat, latFrac, lon, lonFrac);
}

std::string_view netStatusText(std::uint8_t state) {
    static constexpr std::array<std::string_view, 4> kTexts{
        "NETWORK_DISCONNECT ", "OPENAT_NETWORK_READY ", "OPENAT_NETWORK_LINKING ",
        "OPENAT_NETWORK_LINKED "};
    return state < kTexts.size() ? kTexts[state] : std::string_view();
}

std::string_view simStatusText(std::uint8_t state) {
    if (state == 0) return "未插卡 ";
    if (state == 1) return "已插卡 ";
    return {};
}

}  // namespace

std::string operatorName(std::string_view iccid, Language lang) {
    const std::string_view pair = iccid.size() > 4 ? iccid.substr(4, 2) : std::string_view();
    const bool english = lang == Language::English;
    switch (leadingInt(pair)) {
        case 0:
        case 2:
        case 4:
        case 5:
        case 7:
        case 8:
            return english ? "Chana Mobile" : "中国移动";
        case 1:
        case 6:
        case 9:
            return english ? "China Unicom" : "中国联通";
        case 3:
        case 11:
            return english ? "China Telecom" : "中国电信";
        default:
            return {};
    }
}

std::string registrationText(std::uint8_t state) {
    if (auto name = registrationName(state)) return std::string(*name);
    return std::to_string(state);
}

std::string simLine(std::uint8_t simInserted, std::uint8_t netRegState, Language lang) {
    using namespace windowText;
    const auto name = registrationName(netRegState, lang);
    if (!name) return std::string(in(kFirmwareTooOld, lang));
    return std::string(in(simInserted == 1 ? kSimInserted : kNoSim, lang)) + std::string(*name);
}

std::string macText(const DeviceParams& params) {
    const auto m = params.bytes(f::macAddress);
    return sformat("%02x%02x%02x%02x%02x%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
}

StatusReport buildStatusReport(const DeviceParams& p, const LiveState& live, Language lang) {
    StatusReport r;
    r.model = deviceText(p, f::deviceModel);
    r.version = deviceText(p, f::firmwareVersion);
    r.iccid = deviceText(p, f::iccid);
    r.imei = deviceText(p, f::imei);
    r.signal = std::to_string(p.get(f::signalQuality));
    r.operatorName = operatorName(p.textView(f::iccid), lang);
    r.mac = macText(p);
    r.network = linkText(p.get(f::networkLinked) == 1, true, lang);
    // Any non-zero enable byte counts as in use, as the check boxes show it.
    r.serverA = linkText(p.get(f::serverALinked) == 1, p.get(f::serverAEnable) != 0, lang);
    r.serverB = linkText(p.get(f::serverBLinked) == 1, p.get(f::serverBEnable) != 0, lang);
    r.http = linkText(p.get(f::httpLinked) == 1, p.get(f::httpEnable) != 0, lang);
    r.mqtt = linkText(p.get(f::mqttLinked) == 1, p.get(f::mqttEnable) != 0, lang);
    r.sim = simLine(live.simInserted, live.netRegState, lang);
    r.gps = gpsLine(p, lang);
    r.cell = cellLine(p, lang);
    r.remoteConfigUuid = sformat("%d", asPrinted(p.get(f::remoteConfigUuid)));
    r.userCode = sformat("(V%03d)", p.get(f::userCodeVersion));
    r.certChecksums = sformat("(%04x;%04x;%04x)", p.get(f::certChecksums[0]),
                              p.get(f::certChecksums[1]), p.get(f::certChecksums[2]));
    return r;
}

std::string memoryLine(const DeviceParams& p) {
    const std::uint32_t total = p.get(f::memTotal) / 1024;
    const std::uint32_t used = p.get(f::memUsed) / 1024;
    return sformat("Memery:Total %dkb    used %dkb free %dkb    addr 0x%x  size 0x%x",
                   asPrinted(total), asPrinted(used), asPrinted(total - used), p.get(f::flashAddr),
                   p.get(f::flashSize));
}

std::string diagnosticsMessage(const Diagnostics& d) {
    const auto& c = d.cache;
    return sformat(
        "memery total  :%dkb\r\nmemery used   :%dkb\r\nflash addr    :%x\r\nflash size    :%x\r\n"
        "system tick   :%ds\r\nnet break time:%ds\r\ncur flash ptr:%d \r\nCACHE \r\n"
        "\tA size %d   item:%d  start: %d end: %d \r\n"
        "\tB size %d   item:%d  start: %d end: %d \r\n"
        "\tM size %d   item:%d  start: %d end: %d \r\n"
        "\tH size %d   item:%d  start: %d end: %d \r\n"
        "fly mode time:%d\r\nreg info:%s\r\nnet status:%s\r\nsim status:%s\r\nencid:%s\r\n"
        "core ver:%s\r\n",
        asPrinted(d.memTotal), asPrinted(d.memUsed), d.flashAddr, d.flashSize,
        asPrinted(d.systemTick), asPrinted(d.netBreakTime), asPrinted(d.flashPointer),
        asPrinted(c[0].size), asPrinted(c[0].items), asPrinted(c[0].start), asPrinted(c[0].end),
        asPrinted(c[1].size), asPrinted(c[1].items), asPrinted(c[1].start), asPrinted(c[1].end),
        asPrinted(c[2].size), asPrinted(c[2].items), asPrinted(c[2].start), asPrinted(c[2].end),
        asPrinted(c[3].size), asPrinted(c[3].items), asPrinted(c[3].start), asPrinted(c[3].end),
        asPrinted(d.flightModeTime), registrationText(d.regState).c_str(),
        std::string(netStatusText(d.netState)).c_str(),
        std::string(simStatusText(d.simState)).c_str(), gbkToDisplay(d.encid).c_str(),
        gbkToDisplay(d.coreVersion).c_str());
}

std::string deviceTextMessage(std::string_view gbk) {
    // The message box holds at most 127 bytes of text and ends it at the first zero.
    constexpr std::size_t kMaxText = 127;
    gbk = gbk.substr(0, std::min(gbk.find('\0'), kMaxText));
    return gbkToDisplay(gbk);
}

std::string cellInfoMessage(const DeviceParams& p) {
    namespace f = fields;
    // The values print signed, as the device's format has them.
    char buf[160];
    std::snprintf(buf, sizeof buf, "mcc:%d \r\nmnc:%d \r\nlac:%d \r\ncellid:%d  \r\n  err_code:%d",
                  static_cast<int>(p.get(f::cellMcc)), static_cast<int>(p.get(f::cellMnc)),
                  static_cast<int>(p.get(f::cellLac)), static_cast<int>(p.get(f::cellId)),
                  static_cast<int>(p.get(f::cellErrCode)));
    return buf;
}

}  // namespace dtu
