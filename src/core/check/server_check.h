#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// Trying the record's servers from the PC: which links the device would open, and what each
// attempt means in words. The attempts themselves are made by the runtime.

enum class CheckLink : std::uint8_t { ServerA, ServerB, Http, Mqtt };

struct MqttCheck {
    // Texts are the record's bytes as the device sends them.
    std::string clientId;
    std::string userName;
    std::string password;
    std::uint16_t keepAlive = 60;
    int qos = 0;
    bool retain = false;
    bool will = false;
    std::string willTopic;
    std::string willMessage;
    std::string subscribeTopic;
    std::string publishTopic;
    bool tls = false;
    // With the TLS mode off the device takes any server certificate; so does the check.
    bool verifyServer = false;
    // UTF-8 paths of the files the record names; the client pair only for two-way TLS.
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    // A cloud platform entry: the device derives user name and password from product key,
    // device name and secret, so only reachability and TLS can be tried.
    bool cloud = false;
};

struct HttpCheck {
    bool tls = false;
    std::string method;  // "GET" or "POST"
    std::string path;    // from the header's request line, "/" when it has none
    std::vector<std::pair<std::string, std::string>> headers;  // its "Name: value" lines
};

struct CheckItem {
    CheckLink link = CheckLink::ServerA;
    std::string host;  // UTF-8
    std::uint16_t port = 0;
    bool udp = false;  // a socket server over UDP
    std::optional<MqttCheck> mqtt;
    std::optional<HttpCheck> http;
};

struct CheckPlan {
    std::vector<CheckItem> items;
    bool smsMode = false;  // the work mode opens no server link
    bool apn = false;      // the device uses its own APN
};

CheckPlan planChecks(const DeviceParams& params);
// The MQTT link alone, whatever the work mode and the enable flag: what the MQTT dialog edits.
CheckPlan planMqttCheck(const DeviceParams& params);

// RFC 6761: a name under .invalid never resolves, so it is answered without asking anyone.
bool isReservedInvalidName(std::string_view host);

// What the runtime saw of one attempt.
enum class CheckStatus : std::uint8_t {
    Connected,        // TCP connected, UDP resolved, MQTT accepted, HTTP answered
    HostNotFound,     // detail: the resolver's text, if any
    Refused,          // the port is closed
    TimedOut,         // no answer within the time-limit (code: the limit in ms)
    NetworkError,     // detail: the system's text
    TlsFailed,        // tls: why, detail: the TLS library's text
    ConnAckRefused,   // code: the CONNACK return code
    FileUnreadable,   // detail: the path
    InvalidSetting,   // detail: the setting the client library refused
    SubscribeRefused  // the broker refused the subscribe topic
};

enum class TlsFailure : std::uint8_t { UnknownCa, HostMismatch, CertificateRefused, Other };

// Why a handshake failed, in the terms a user acts on: verifyResult is the X509_V_ code of the
// check of the server's certificate (0: its chain verified); alertSent: this side gave up,
// alertReceived: the server did.
TlsFailure classifyTlsFailure(long verifyResult, bool alertSent, bool alertReceived);

struct CheckOutcome {
    CheckStatus status = CheckStatus::Connected;
    int elapsedMs = 0;
    int code = 0;        // CONNACK code, HTTP status or time-limit, as the status says
    std::string detail;  // resolved address (UDP), reason phrase (HTTP) or as the status says
    TlsFailure tls = TlsFailure::Other;
    int grantedQos = -1;  // the broker's grant for the subscribe topic; -1: not subscribed
    bool published = false;
};

struct CheckResult {
    bool passed = false;
    std::string chinese;  // the whole line, label included
    std::string english;
    const std::string& text(Language lang) const {
        return lang == Language::English ? english : chinese;
    }
};

// "MQTT 127.0.0.1:1883" and the like.
std::string checkLabel(const CheckItem& item, Language lang);
CheckResult readOutcome(const CheckItem& item, const CheckOutcome& outcome);

// The lines a plan shows besides its links' results (no link, the APN note).
std::vector<CheckResult> planNotes(const CheckPlan& plan);

}  // namespace dtu
