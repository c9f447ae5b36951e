#include "check/server_check.h"

#include <algorithm>
#include <cctype>

#include "params/form_values.h"

namespace dtu {

namespace f = fields;

namespace {

constexpr int kTlsModeTwoWay = 2;

// X509_V_ codes of a chain that does not lead to the trusted CA.
constexpr long kUnknownCaCodes[] = {2, 18, 19, 20, 21, 27};
// X509_V_ERR_HOSTNAME_MISMATCH, X509_V_ERR_IP_ADDRESS_MISMATCH.
constexpr long kHostMismatchCodes[] = {62, 64};
// X509_V_ERR_UNSPECIFIED: what a check of the client library's own leaves behind.
constexpr long kUnspecified = 1;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

CheckItem socketServer(const DeviceParams& p, CheckLink link) {
    const bool a = link == CheckLink::ServerA;
    CheckItem item;
    item.link = link;
    item.host = fieldText(p, a ? f::serverAHost : f::serverBHost);
    item.port = p.get(a ? f::serverAPort : f::serverBPort);
    item.udp = p.get(a ? f::serverAProtocol : f::serverBProtocol) == 1;
    return item;
}

// The device puts the header text in front of its data: a request line ("POST /path ...")
// and "Name: value" lines. An address may carry its scheme.
CheckItem httpServer(const DeviceParams& p) {
    CheckItem item;
    item.link = CheckLink::Http;
    HttpCheck http;
    std::string_view host = trim(p.textView(f::httpHost));
    std::string hostText = fieldText(p, f::httpHost);
    if (startsWithNoCase(host, "https://")) {
        http.tls = true;
        hostText.erase(0, 8);
    } else if (startsWithNoCase(host, "http://")) {
        hostText.erase(0, 7);
    }
    if (const auto slash = hostText.find('/'); slash != std::string::npos) hostText.resize(slash);
    item.host = std::string(trim(hostText));
    item.port = p.get(f::httpPort);
    if (item.port == 443) http.tls = true;
    http.method = p.get(f::httpMethod) == 1 ? "GET" : "POST";
    http.path = "/";
    if (p.get(f::httpMethod) == 2) http.headers.emplace_back("Content-Type", "application/json");

    const std::string header = fieldText(p, f::httpHeader);
    std::string_view rest = header;
    bool first = true;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (first && (startsWithNoCase(line, "GET ") || startsWithNoCase(line, "POST "))) {
            std::string_view target = trim(line.substr(line.find(' ') + 1));
            target = target.substr(0, target.find(' '));
            if (!target.empty()) http.path = std::string(target);
        } else if (const auto colon = line.find(':');
                   colon != std::string_view::npos && colon > 0) {
            const std::string_view name = trim(line.substr(0, colon));
            // The PC's request names its own host and length.
            if (!startsWithNoCase(name, "Host") && !startsWithNoCase(name, "Content-Length"))
                http.headers.emplace_back(name, trim(line.substr(colon + 1)));
        }
        first = false;
    }
    item.http = std::move(http);
    return item;
}

CheckItem mqttServer(const DeviceParams& p) {
    CheckItem item;
    item.link = CheckLink::Mqtt;
    item.host = fieldText(p, f::mqttHost);
    item.port = static_cast<std::uint16_t>(p.get(f::mqttPort));
    MqttCheck m;
    m.clientId = p.textView(f::mqttClientId);
    m.userName = p.textView(f::mqttUserName);
    m.password = p.textView(f::mqttPassword);
    m.keepAlive = p.get(f::mqttKeepAlive);
    m.qos = std::min<int>(p.get(f::mqttQos), 2);
    m.retain = p.get(f::mqttRetain) != 0;
    m.will = p.get(f::mqttWillEnable) != 0;
    m.willTopic = p.textView(f::mqttWillTopic);
    m.willMessage = p.textView(f::mqttWillMessage);
    m.subscribeTopic = p.textView(f::mqttSubscribeTopic);
    m.publishTopic = p.textView(f::mqttPublishTopic1);
    m.tls = p.get(f::mqttSsl) != 0;
    if (m.tls) {
        const int mode = p.get(f::tlsMode);
        m.verifyServer = mode != 0;
        if (m.verifyServer) m.caFile = fieldText(p, f::caPath);
        if (mode == kTlsModeTwoWay) {
            m.certFile = fieldText(p, f::clientCertPath);
            m.keyFile = fieldText(p, f::clientKeyPath);
        }
    }
    const int cloud = p.get(f::mqttCloudType);
    m.cloud = cloud == 1 || cloud == 2;
    item.mqtt = std::move(m);
    return item;
}

CheckResult line(const CheckItem& item, bool passed, std::string_view zh, std::string_view en) {
    return {passed, checkLabel(item, Language::Chinese) + ": " + std::string(zh),
            checkLabel(item, Language::English) + ": " + std::string(en)};
}

std::string ms(int elapsed) {
    return " (" + std::to_string(elapsed) + " ms)";
}

std::pair<std::string, std::string> tlsReason(const CheckOutcome& o) {
    switch (o.tls) {
        case TlsFailure::UnknownCa:
            return {"TLS 失败：服务器证书不是该 CA 签发的",
                    "TLS failed: the server's certificate is not signed by the CA (unknown CA)"};
        case TlsFailure::HostMismatch:
            return {"TLS 失败：服务器证书与主机名不符",
                    "TLS failed: the server's certificate does not match the host name"};
        case TlsFailure::CertificateRefused:
            return {"TLS 失败：服务器拒绝了客户端证书",
                    "TLS failed: the server refused the client certificate"};
        case TlsFailure::Other:
            break;
    }
    return {"TLS 失败：" + o.detail, "TLS failed: " + o.detail};
}

std::pair<std::string, std::string> connAckReason(int code) {
    switch (code) {
        case 1:
            return {"服务器不接受 MQTT 3.1.1 协议", "the broker refuses protocol MQTT 3.1.1"};
        case 2:
            return {"客户端 ID 被拒绝", "client identifier rejected"};
        case 3:
            return {"服务器不可用", "broker unavailable"};
        case 4:
            return {"用户名或密码错误", "bad user name or password"};
        case 5:
            return {"未授权：服务器不接受这组用户名、密码和客户端 ID",
                    "not authorised: the broker refused these credentials (user name, password, "
                    "client ID)"};
        default:
            break;
    }
    const std::string n = std::to_string(code);
    return {"连接被拒绝 (CONNACK " + n + ")", "connection refused (CONNACK " + n + ")"};
}

}  // namespace

bool isReservedInvalidName(std::string_view host) {
    while (!host.empty() && host.back() == '.') host.remove_suffix(1);
    constexpr std::string_view kTld = "invalid";
    if (host.size() < kTld.size() ||
        !startsWithNoCase(host.substr(host.size() - kTld.size()), kTld))
        return false;
    return host.size() == kTld.size() || host[host.size() - kTld.size() - 1] == '.';
}

CheckPlan planChecks(const DeviceParams& p) {
    CheckPlan plan;
    plan.apn = p.get(f::apnEnable) != 0;
    if (p.get(f::workMode) != 0) {
        plan.smsMode = true;
        return plan;
    }
    if (p.get(f::serverAEnable)) plan.items.push_back(socketServer(p, CheckLink::ServerA));
    if (p.get(f::serverBEnable)) plan.items.push_back(socketServer(p, CheckLink::ServerB));
    if (p.get(f::httpEnable)) plan.items.push_back(httpServer(p));
    if (p.get(f::mqttEnable)) plan.items.push_back(mqttServer(p));
    return plan;
}

CheckPlan planMqttCheck(const DeviceParams& p) {
    CheckPlan plan;
    plan.apn = p.get(f::apnEnable) != 0;
    plan.items.push_back(mqttServer(p));
    return plan;
}

TlsFailure classifyTlsFailure(long verifyResult, bool alertSent, bool alertReceived) {
    auto in = [verifyResult](const auto& codes) {
        return std::find(std::begin(codes), std::end(codes), verifyResult) != std::end(codes);
    };
    if (in(kHostMismatchCodes)) return TlsFailure::HostMismatch;
    if (in(kUnknownCaCodes)) return TlsFailure::UnknownCa;
    // A chain that verified and still refused: the client library's own host name check.
    if (alertSent && (verifyResult == 0 || verifyResult == kUnspecified))
        return TlsFailure::HostMismatch;
    if (alertReceived) return TlsFailure::CertificateRefused;
    return TlsFailure::Other;
}

std::string checkLabel(const CheckItem& item, Language lang) {
    const bool en = lang == Language::English;
    std::string name;
    switch (item.link) {
        case CheckLink::ServerA:
            name = en ? "Server A" : "服务器A";
            break;
        case CheckLink::ServerB:
            name = en ? "Server B" : "服务器B";
            break;
        case CheckLink::Http:
            name = item.http && item.http->tls ? "HTTPS" : "HTTP";
            break;
        case CheckLink::Mqtt:
            name = "MQTT";
            break;
    }
    if (item.link == CheckLink::ServerA || item.link == CheckLink::ServerB)
        name += item.udp ? " UDP" : " TCP";
    return name + " " + item.host + ":" + std::to_string(item.port);
}

CheckResult readOutcome(const CheckItem& item, const CheckOutcome& o) {
    switch (o.status) {
        case CheckStatus::HostNotFound:
            return line(item, false, "无法解析主机名", "the host name does not resolve");
        case CheckStatus::Refused:
            return line(item, false, "连接被拒绝（端口未开放）",
                        "connection refused (the port is closed)");
        case CheckStatus::TimedOut: {
            const std::string limit = std::to_string(o.code);
            return line(item, false, "超时（" + limit + " ms 内无应答）",
                        "timed out (no answer within " + limit + " ms)");
        }
        case CheckStatus::NetworkError:
            return line(item, false, "网络错误：" + o.detail, "network error: " + o.detail);
        case CheckStatus::TlsFailed: {
            const auto [zh, en] = tlsReason(o);
            return line(item, false, zh, en);
        }
        case CheckStatus::ConnAckRefused: {
            const auto [zh, en] = connAckReason(o.code);
            return line(item, false, zh + ms(o.elapsedMs), en + ms(o.elapsedMs));
        }
        case CheckStatus::FileUnreadable:
            return line(item, false, "无法读取证书文件 " + o.detail,
                        "cannot read the certificate file " + o.detail);
        case CheckStatus::InvalidSetting:
            return line(item, false, "设置无效：" + o.detail, "invalid setting: " + o.detail);
        case CheckStatus::SubscribeRefused: {
            const std::string& topic = item.mqtt ? item.mqtt->subscribeTopic : o.detail;
            return line(item, false, "已连接，但订阅 " + topic + " 被拒绝",
                        "connected, but the subscription to " + topic + " was refused");
        }
        case CheckStatus::Connected:
            break;
    }

    if (item.udp)
        return line(
            item, true, "已解析为 " + o.detail + "；UDP 服务器无法从电脑进一步检查",
            "resolved to " + o.detail + "; a UDP server cannot be checked further from the PC");
    if (item.http) {
        const bool ok = o.code < 400;
        const std::string status = std::to_string(o.code) + " " + o.detail + ms(o.elapsedMs);
        return line(item, ok, status, status);
    }
    std::string zh = "成功" + ms(o.elapsedMs);
    std::string en = "connected" + ms(o.elapsedMs);
    if (const auto& m = item.mqtt) {
        if (m->tls && !m->verifyServer) {
            zh += "；未验证服务器证书（TLS 加密未启用认证）";
            en += "; the server's certificate was not verified (TLS authentication is off)";
        }
        if (m->cloud) {
            zh += "；云平台的用户名和密码由设备生成，未检查";
            en +=
                "; the cloud platform's credentials are derived on the device and were not "
                "checked";
        } else if (o.grantedQos >= 0) {
            const std::string q = std::to_string(o.grantedQos);
            zh += "；订阅 " + m->subscribeTopic + " 已获准 (QoS " + q + ")";
            en += "; subscription to " + m->subscribeTopic + " granted (QoS " + q + ")";
        }
        if (o.published) {
            zh += "；已在 " + m->publishTopic + " 发布一条消息";
            en += "; published one message on " + m->publishTopic;
        }
    }
    return {true, checkLabel(item, Language::Chinese) + ": " + zh,
            checkLabel(item, Language::English) + ": " + en};
}

std::vector<CheckResult> planNotes(const CheckPlan& plan) {
    std::vector<CheckResult> notes;
    if (plan.smsMode)
        notes.push_back({true, "短信透传模式：设备不连接服务器",
                         "SMS transparent mode: the device connects to no server"});
    else if (plan.items.empty())
        notes.push_back({true, "没有启用的服务器连接", "no server link is enabled"});
    if (plan.apn)
        notes.push_back({true,
                         "注意：记录设置了 APN，设备的网络可能到达电脑到达不了的服务器，反之亦然",
                         "Note: the record sets an APN; the device's network may reach servers "
                         "the PC cannot, and the reverse"});
    return notes;
}

}  // namespace dtu
