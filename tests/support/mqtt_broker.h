#pragma once

// A throw-away MQTT broker on loopback for the server check tests: one listener that wants a
// user name and password from a password file, one TLS listener that wants a client
// certificate from its CA, and one TLS listener whose certificate names another host. Certificates
// are made with openssl in a temporary folder: the broker's CA with a server certificate for
// 127.0.0.1, one for another name and a client pair, and an unrelated CA with a client pair of its
// own.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <string>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>

#include <csignal>
#endif

namespace dtu::test {

// A loopback port nothing listens on right now.
inline quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class MqttBroker {
public:
    static constexpr const char* kUser = "device";
    static constexpr const char* kPassword = "right-password";

    MqttBroker() {
        if (!makeCertificates() ||
            !run("mosquitto_passwd", {"-b", "-c", file("passwd"), kUser, kPassword})) {
            m_error = "setup failed: " + m_output;
            return;
        }
        m_port = freeLoopbackPort();
        m_tlsPort = freeLoopbackPort();
        m_otherNamePort = freeLoopbackPort();
        QString user = "root";
#ifndef _WIN32
        if (const passwd* me = getpwuid(geteuid())) user = QString::fromLocal8Bit(me->pw_name);
#endif
        QFile conf(file("mosquitto.conf"));
        if (!conf.open(QIODevice::WriteOnly)) return;
        conf.write(QStringLiteral("user %1\n"
                                  "per_listener_settings true\n"
                                  "listener %2 127.0.0.1\n"
                                  "allow_anonymous false\n"
                                  "password_file %3\n"
                                  "listener %4 127.0.0.1\n"
                                  "allow_anonymous true\n"
                                  "cafile %5\ncertfile %6\nkeyfile %7\n"
                                  "require_certificate true\n"
                                  "listener %8 127.0.0.1\n"
                                  "allow_anonymous true\n"
                                  "certfile %9\nkeyfile %10\n")
                       .arg(user)
                       .arg(m_port)
                       .arg(file("passwd"))
                       .arg(m_tlsPort)
                       .arg(file("ca.crt"), file("server.crt"), file("server.key"))
                       .arg(m_otherNamePort)
                       .arg(file("elsewhere.crt"), file("elsewhere.key"))
                       .toUtf8());
        conf.close();
        m_broker.setProcessChannelMode(QProcess::MergedChannels);
#ifdef __linux__
        // A test that crashes takes its broker with it.
        m_broker.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        m_broker.start(QStringLiteral("mosquitto"), {"-c", file("mosquitto.conf")});
        QElapsedTimer since;
        since.start();
        while (since.elapsed() < 10000 && m_broker.state() != QProcess::NotRunning) {
            if (accepts(m_port) && accepts(m_tlsPort) && accepts(m_otherNamePort)) {
                m_running = true;
                return;
            }
            QThread::msleep(50);
        }
        m_error = "mosquitto did not start: " + m_broker.readAll().toStdString();
    }

    ~MqttBroker() {
        m_broker.terminate();
        if (!m_broker.waitForFinished(3000)) m_broker.kill();
        m_broker.waitForFinished();
    }

    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    bool running() const {
        return m_running;
    }
    const std::string& error() const {
        return m_error;
    }
    quint16 port() const {
        return m_port;
    }
    quint16 tlsPort() const {
        return m_tlsPort;
    }
    // TLS with a certificate from the CA for another host, no client certificate wanted.
    quint16 otherNamePort() const {
        return m_otherNamePort;
    }
    // A file in the broker's folder: ca.crt, client.crt, client.key, other-ca.crt,
    // other-client.crt, other-client.key.
    QString file(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name));
    }
    std::string path(const char* name) const {
        return file(name).toStdString();
    }

private:
    static bool accepts(quint16 port) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(200);
    }

    bool run(const char* program, const QStringList& args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(m_dir.path());
        p.start(QString::fromLatin1(program), args);
        const bool done = p.waitForFinished(60000);
        m_output = p.readAll().toStdString();
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    bool makeKey(const char* name) {
        return run("openssl", {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                               "-out", file(name)});
    }
    bool makeCa(const char* name) {
        const QString base = QString::fromLatin1(name);
        return makeKey((name + std::string(".key")).c_str()) &&
               run("openssl", {"req", "-x509", "-new", "-key", base + ".key", "-out", base + ".crt",
                               "-days", "2", "-subj", "/CN=" + base});
    }
    bool makeSigned(const char* name, const char* ca, const QString& extensions) {
        const QString base = QString::fromLatin1(name);
        const QString caBase = QString::fromLatin1(ca);
        QFile ext(file("ext.cnf"));
        if (!ext.open(QIODevice::WriteOnly)) return false;
        ext.write(extensions.toUtf8());
        ext.close();
        return makeKey((name + std::string(".key")).c_str()) &&
               run("openssl", {"req", "-new", "-key", base + ".key", "-out", base + ".csr", "-subj",
                               "/CN=" + base}) &&
               run("openssl", {"x509", "-req", "-in", base + ".csr", "-CA", caBase + ".crt",
                               "-CAkey", caBase + ".key", "-CAcreateserial", "-out", base + ".crt",
                               "-days", "2", "-extfile", "ext.cnf"});
    }
    bool makeCertificates() {
        const QString client = QStringLiteral("extendedKeyUsage=clientAuth\n");
        return m_dir.isValid() && makeCa("ca") && makeCa("other-ca") &&
               makeSigned("server", "ca",
                          QStringLiteral("subjectAltName=IP:127.0.0.1\n"
                                         "extendedKeyUsage=serverAuth\n")) &&
               makeSigned("elsewhere", "ca",
                          QStringLiteral("subjectAltName=DNS:elsewhere.invalid\n"
                                         "extendedKeyUsage=serverAuth\n")) &&
               makeSigned("client", "ca", client) && makeSigned("other-client", "other-ca", client);
    }

    QTemporaryDir m_dir{QDir::tempPath() + "/dtuconf-mqtt-XXXXXX"};
    QProcess m_broker;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    quint16 m_otherNamePort = 0;
    bool m_running = false;
    std::string m_error;
    std::string m_output;
};

}  // namespace dtu::test
