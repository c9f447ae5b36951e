#include "server_checker.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include "mqtt_probe.h"

namespace dtu {

struct ServerChecker::Attempt {
    bool done = false;
    QElapsedTimer clock;
    QTimer deadline;
    std::unique_ptr<QTcpSocket> socket;
    QPointer<QNetworkReply> reply;
    std::unique_ptr<MqttProbe> probe;
};

namespace {

int elapsedMs(const QElapsedTimer& clock) {
    return static_cast<int>(clock.elapsed());
}

CheckOutcome failed(CheckStatus status, std::string detail = {}) {
    CheckOutcome o;
    o.status = status;
    o.detail = std::move(detail);
    return o;
}

// The certificate files a TLS check needs, or the first one that cannot be read.
std::optional<std::string> unreadableFile(const MqttCheck& m) {
    if (!m.tls || !m.verifyServer) return std::nullopt;
    if (m.caFile.empty()) return std::string("CA");
    for (const std::string* path : {&m.caFile, &m.certFile, &m.keyFile})
        if (!path->empty() && !QFileInfo(QString::fromStdString(*path)).isReadable()) return *path;
    return std::nullopt;
}

}  // namespace

// The device goes to its servers directly, so the checks never take the PC's proxy.
ServerChecker::ServerChecker(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)) {
    m_network->setProxy(QNetworkProxy::NoProxy);
}

// The probes' threads end before anything they report to goes away.
ServerChecker::~ServerChecker() {
    m_attempts.clear();
}

void ServerChecker::start(const CheckPlan& plan) {
    m_attempts.clear();
    m_plan = plan;
    const int count = static_cast<int>(plan.items.size());
    m_results.assign(plan.items.size(), CheckResult{});
    m_pending = count;
    for (int i = 0; i < count; ++i) m_attempts.push_back(std::make_unique<Attempt>());
    if (count == 0) {
        QTimer::singleShot(0, this, [this] { emit finished(true); });
        return;
    }
    for (int i = 0; i < count; ++i) startOne(i);
}

void ServerChecker::startOne(int index) {
    Attempt& a = *m_attempts[std::size_t(index)];
    const CheckItem& item = m_plan.items[std::size_t(index)];
    a.clock.start();
    a.deadline.setSingleShot(true);
    connect(&a.deadline, &QTimer::timeout, this, [this, index] {
        CheckOutcome o = failed(CheckStatus::TimedOut);
        o.code = m_timeoutMs;
        report(index, o);
    });
    a.deadline.start(m_timeoutMs);

    const QString host = QString::fromStdString(item.host);
    if (isReservedInvalidName(item.host) || item.host.empty()) {
        QTimer::singleShot(0, &a.deadline,
                           [this, index] { report(index, failed(CheckStatus::HostNotFound)); });
        return;
    }

    if (item.mqtt) {
        // The client library resolves the name again on its thread; this lookup keeps a name
        // that does not resolve on the event loop.
        QHostInfo::lookupHost(host, &a.deadline, [this, index](const QHostInfo& info) {
            if (info.error() != QHostInfo::NoError)
                report(index, failed(CheckStatus::HostNotFound, info.errorString().toStdString()));
            else
                startMqtt(index);
        });
        return;
    }

    if (item.udp) {
        QHostInfo::lookupHost(host, &a.deadline, [this, index, &a](const QHostInfo& info) {
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                report(index, failed(CheckStatus::HostNotFound, info.errorString().toStdString()));
                return;
            }
            CheckOutcome o =
                failed(CheckStatus::Connected, info.addresses().first().toString().toStdString());
            o.elapsedMs = elapsedMs(a.clock);
            report(index, o);
        });
        return;
    }

    if (const auto& http = item.http) {
        QUrl url(QString::fromStdString((http->tls ? "https://" : "http://") + item.host + ":" +
                                        std::to_string(item.port) + http->path));
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        bool typed = false;
        for (const auto& [name, value] : http->headers) {
            request.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
            typed = typed || QByteArray::fromStdString(name).toLower() == "content-type";
        }
        if (!typed) request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        a.reply = http->method == "GET" ? m_network->get(request)
                                        : m_network->post(request, QByteArray());
        connect(a.reply, &QNetworkReply::finished, this, [this, index, &a] {
            QNetworkReply* reply = a.reply;
            reply->deleteLater();
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (status.isValid()) {
                CheckOutcome o = failed(CheckStatus::Connected,
                                        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute)
                                            .toString()
                                            .toStdString());
                o.code = status.toInt();
                o.elapsedMs = elapsedMs(a.clock);
                report(index, o);
                return;
            }
            switch (reply->error()) {
                case QNetworkReply::ConnectionRefusedError:
                    report(index, failed(CheckStatus::Refused));
                    break;
                case QNetworkReply::HostNotFoundError:
                    report(index, failed(CheckStatus::HostNotFound));
                    break;
                case QNetworkReply::SslHandshakeFailedError:
                    report(index,
                           failed(CheckStatus::TlsFailed, reply->errorString().toStdString()));
                    break;
                default:
                    report(index,
                           failed(CheckStatus::NetworkError, reply->errorString().toStdString()));
            }
        });
        return;
    }

    a.socket = std::make_unique<QTcpSocket>();
    a.socket->setProxy(QNetworkProxy::NoProxy);
    connect(a.socket.get(), &QTcpSocket::connected, this, [this, index, &a] {
        CheckOutcome o;
        o.elapsedMs = elapsedMs(a.clock);
        report(index, o);
    });
    connect(a.socket.get(), &QTcpSocket::errorOccurred, this,
            [this, index, &a](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::ConnectionRefusedError)
                    report(index, failed(CheckStatus::Refused));
                else if (error == QAbstractSocket::HostNotFoundError)
                    report(index, failed(CheckStatus::HostNotFound));
                else
                    report(index, failed(CheckStatus::NetworkError,
                                         a.socket->errorString().toStdString()));
            });
    a.socket->connectToHost(host, item.port);
}

void ServerChecker::startMqtt(int index) {
    Attempt& a = *m_attempts[std::size_t(index)];
    const CheckItem& item = m_plan.items[std::size_t(index)];
    if (const auto path = unreadableFile(*item.mqtt)) {
        report(index, failed(CheckStatus::FileUnreadable, *path));
        return;
    }
    // The probe is joined before this object (and the deadline timer) goes away, so the
    // queued call always finds its receiver.
    QTimer* receiver = &a.deadline;
    a.probe = std::make_unique<MqttProbe>(
        item, m_publish, [this, index, receiver](const CheckOutcome& outcome) {
            QMetaObject::invokeMethod(
                receiver, [this, index, outcome] { report(index, outcome); }, Qt::QueuedConnection);
        });
}

void ServerChecker::report(int index, const CheckOutcome& outcome) {
    Attempt& a = *m_attempts[std::size_t(index)];
    if (a.done) return;
    a.done = true;
    a.deadline.stop();
    if (a.socket) {
        a.socket->disconnect(this);
        a.socket->abort();
    }
    if (a.reply) {
        a.reply->disconnect(this);
        a.reply->abort();
        a.reply->deleteLater();
    }
    if (a.probe) a.probe->cancel();

    m_results[std::size_t(index)] = readOutcome(m_plan.items[std::size_t(index)], outcome);
    emit checked(index, m_results[std::size_t(index)]);
    if (--m_pending == 0) {
        bool all = true;
        for (const auto& r : m_results) all = all && r.passed;
        emit finished(all);
    }
}

}  // namespace dtu
