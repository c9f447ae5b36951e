#include "mqtt_probe.h"

#include <mosquitto.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>

namespace dtu {

namespace {

constexpr int kLoopSliceMs = 20;
constexpr char kProbeMessage[] = "dtuconf connection check";

// The state one attempt's callbacks share; they all run on the probe's thread.
struct Attempt {
    Attempt(const MqttCheck& m, bool p) : mqtt(m), publish(p) {}

    const MqttCheck& mqtt;
    bool publish;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    CheckOutcome outcome;
    bool finished = false;
    std::string tlsError;
    long verifyResult = 0;
    bool alertSent = false;      // this side ended the handshake
    bool alertReceived = false;  // the server did
    bool connAcked = false;

    int elapsed() const {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - started)
                                    .count());
    }
    void finish(CheckStatus status) {
        outcome.status = status;
        finished = true;
    }
};

void publishOrFinish(mosquitto* mosq, Attempt& a) {
    if (!a.publish) {
        a.finish(CheckStatus::Connected);
        return;
    }
    const std::string& topic = a.mqtt.publishTopic;
    const int rc = mosquitto_publish(mosq, nullptr, topic.c_str(), int(sizeof kProbeMessage - 1),
                                     kProbeMessage, a.mqtt.qos, a.mqtt.retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        a.outcome.detail = "publish topic 1 '" + topic + "'";
        a.finish(CheckStatus::InvalidSetting);
    }
}

void onConnect(mosquitto* mosq, void* obj, int code) {
    Attempt& a = *static_cast<Attempt*>(obj);
    a.connAcked = true;
    a.outcome.elapsedMs = a.elapsed();
    if (a.mqtt.cloud) {
        // The broker answered; what it thinks of the record's credentials says nothing of
        // the ones the device derives.
        a.finish(CheckStatus::Connected);
        return;
    }
    if (code != 0) {
        a.outcome.code = code;
        a.finish(CheckStatus::ConnAckRefused);
        return;
    }
    if (a.mqtt.subscribeTopic.empty()) {
        publishOrFinish(mosq, a);
        return;
    }
    if (mosquitto_subscribe(mosq, nullptr, a.mqtt.subscribeTopic.c_str(), a.mqtt.qos) !=
        MOSQ_ERR_SUCCESS) {
        a.outcome.detail = "subscribe topic '" + a.mqtt.subscribeTopic + "'";
        a.finish(CheckStatus::InvalidSetting);
    }
}

void onSubscribe(mosquitto* mosq, void* obj, int, int count, const int* granted) {
    Attempt& a = *static_cast<Attempt*>(obj);
    a.outcome.grantedQos = count > 0 ? granted[0] : 0x80;
    if (a.outcome.grantedQos > 2) {
        a.finish(CheckStatus::SubscribeRefused);
        return;
    }
    publishOrFinish(mosq, a);
}

void onPublish(mosquitto*, void* obj, int) {
    Attempt& a = *static_cast<Attempt*>(obj);
    a.outcome.published = true;
    a.finish(CheckStatus::Connected);
}

// The attempt running on this thread: the TLS library's callbacks carry no pointer of ours.
thread_local Attempt* t_attempt = nullptr;

// Why a handshake ended: a fatal alert this side sent (its certificate check failed) or one
// the server sent (it did not take the client certificate, or wanted one).
void onTlsInfo(const SSL* ssl, int where, int value) {
    if (!(where & SSL_CB_ALERT) || !t_attempt || SSL_alert_type_string(value)[0] != 'F') return;
    Attempt& a = *t_attempt;
    if (where & SSL_CB_READ) {
        a.alertReceived = true;
        a.tlsError = std::string("the server sent: ") + SSL_alert_desc_string_long(value);
    } else {
        a.alertSent = true;
        a.verifyResult = SSL_get_verify_result(ssl);
        a.tlsError = X509_verify_cert_error_string(a.verifyResult);
    }
}

// A handshake that fails inside the connect call, before the alerts can be heard, shows only
// as a log line; the session still exists then.
void onLog(mosquitto* mosq, void* obj, int level, const char* text) {
    Attempt& a = *static_cast<Attempt*>(obj);
    if (level != MOSQ_LOG_ERR || !text || std::strstr(text, "OpenSSL Error") == nullptr) return;
    if (a.tlsError.empty()) a.tlsError = text;
    if (std::strstr(text, "certificate verify failed") == nullptr) return;
    a.alertSent = true;
    if (auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq)))
        a.verifyResult = SSL_get_verify_result(ssl);
}

// The reason after the library gave up on the connection.
void connectionFailed(Attempt& a, int rc, int savedErrno) {
    // Under TLS 1.3 a server that refuses the client certificate says so after the client's
    // handshake is done; the connection may then be reset before its alert is read.
    const bool dropped =
        (rc == MOSQ_ERR_ERRNO &&
         (savedErrno == EPROTO || savedErrno == ECONNRESET || savedErrno == EPIPE)) ||
        rc == MOSQ_ERR_CONN_LOST;
    const bool tlsProtocol = a.mqtt.tls && dropped && !a.connAcked;
    if (tlsProtocol && !a.alertSent && !a.mqtt.certFile.empty()) a.alertReceived = true;
    if (a.alertSent || a.alertReceived || !a.tlsError.empty() || rc == MOSQ_ERR_TLS ||
        rc == MOSQ_ERR_TLS_HANDSHAKE || tlsProtocol) {
        a.outcome.tls = classifyTlsFailure(a.verifyResult, a.alertSent, a.alertReceived);
        a.outcome.detail = !a.tlsError.empty() ? a.tlsError
                           : tlsProtocol       ? std::strerror(savedErrno)
                                               : mosquitto_strerror(rc);
        a.finish(CheckStatus::TlsFailed);
    } else if (rc == MOSQ_ERR_ERRNO && savedErrno == ECONNREFUSED) {
        a.finish(CheckStatus::Refused);
    } else if (rc == MOSQ_ERR_EAI) {
        a.finish(CheckStatus::HostNotFound);
    } else {
        a.outcome.detail =
            rc == MOSQ_ERR_ERRNO ? std::strerror(savedErrno) : mosquitto_strerror(rc);
        a.finish(CheckStatus::NetworkError);
    }
}

}  // namespace

MqttProbe::MqttProbe(CheckItem item, bool publish, std::function<void(const CheckOutcome&)> done)
    : m_item(std::move(item)), m_publish(publish), m_done(std::move(done)) {
    m_thread = std::thread([this] { run(); });
}

MqttProbe::~MqttProbe() {
    m_cancelled = true;
    m_thread.join();
}

void MqttProbe::run() {
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });

    const MqttCheck& m = *m_item.mqtt;
    Attempt a(m, m_publish);
    auto invalid = [&](std::string what) {
        a.outcome.detail = std::move(what);
        a.finish(CheckStatus::InvalidSetting);
    };
    mosquitto* mosq = mosquitto_new(m.clientId.empty() ? nullptr : m.clientId.c_str(), true, &a);
    if (!mosq) {
        invalid("client ID '" + m.clientId + "'");
        if (!m_cancelled) m_done(a.outcome);
        return;
    }
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_subscribe_callback_set(mosq, onSubscribe);
    mosquitto_publish_callback_set(mosq, onPublish);
    mosquitto_log_callback_set(mosq, onLog);

    if (!m.userName.empty() &&
        mosquitto_username_pw_set(mosq, m.userName.c_str(),
                                  m.password.empty() ? nullptr : m.password.c_str()) !=
            MOSQ_ERR_SUCCESS)
        invalid("user name");
    if (!a.finished && m.will &&
        mosquitto_will_set(mosq, m.willTopic.c_str(), int(m.willMessage.size()),
                           m.willMessage.data(), m.qos, m.retain) != MOSQ_ERR_SUCCESS)
        invalid("will topic '" + m.willTopic + "'");
    if (!a.finished && m_publish && m.publishTopic.empty()) invalid("publish topic 1 is empty");
    if (!a.finished && m.tls) {
        auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        int rc = MOSQ_ERR_SUCCESS;
        if (m.verifyServer) {
            rc = mosquitto_tls_set(mosq, m.caFile.c_str(), nullptr, orNull(m.certFile),
                                   orNull(m.keyFile), nullptr);
        } else {
            // The device takes any certificate in this mode; TLS itself is still tried.
            mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            rc = mosquitto_tls_opts_set(mosq, SSL_VERIFY_NONE, nullptr, nullptr);
            if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(mosq, true);
        }
        if (rc != MOSQ_ERR_SUCCESS) invalid(std::string("TLS: ") + mosquitto_strerror(rc));
    }

    t_attempt = &a;
    if (!a.finished) {
        // The library takes 0 (no keep-alive) or at least 5 s.
        const int keepAlive = m.keepAlive == 0 ? 0 : std::max<int>(m.keepAlive, 5);
        errno = 0;
        int rc = mosquitto_connect_async(mosq, m_item.host.c_str(), m_item.port, keepAlive);
        if (rc != MOSQ_ERR_SUCCESS) connectionFailed(a, rc, errno);
        // The TLS session exists from here; its alerts come while the loop reads.
        if (auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq)))
            SSL_set_info_callback(ssl, onTlsInfo);
        while (!a.finished && !m_cancelled) {
            errno = 0;
            rc = mosquitto_loop(mosq, kLoopSliceMs, 1);
            if (rc != MOSQ_ERR_SUCCESS && !a.finished) connectionFailed(a, rc, errno);
        }
        // A session the broker accepted ends with DISCONNECT, so its will is not sent.
        if (a.outcome.status == CheckStatus::Connected ||
            a.outcome.status == CheckStatus::SubscribeRefused)
            mosquitto_disconnect(mosq);
    }
    mosquitto_destroy(mosq);
    t_attempt = nullptr;
    if (!m_cancelled) m_done(a.outcome);
}

}  // namespace dtu
