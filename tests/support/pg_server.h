#pragma once

// A throw-away PostgreSQL server for the tests that write the provisioning record to one: a
// cluster made by initdb in a temporary folder, listening only on a Unix socket in that folder
// (no TCP port to clash with anything), stopped and removed at the end. PostgreSQL refuses to
// run as root, so as root the server runs as the user nobody, in a folder it owns.
#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <string>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace dtu::test {

class PgServer {
public:
    static constexpr const char* kUser = "dtuconf";

    PgServer() {
        m_bin = findBin();
        if (m_bin.isEmpty()) {
            m_error = "no PostgreSQL server programs under /usr/lib/postgresql/*/bin";
            return;
        }
        if (!m_dir.isValid()) {
            m_error = "no temporary folder";
            return;
        }
        m_data = m_dir.filePath("data");
#ifndef _WIN32
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || chown(m_dir.path().toLocal8Bit().constData(), nobody->pw_uid,
                                 nobody->pw_gid) != 0) {
                m_error = "cannot hand the server's folder to the user nobody";
                return;
            }
            m_asNobody = true;
        }
#endif
        if (!run("initdb", {"-D", m_data, "-U", kUser, "-A", "trust", "--no-sync", "-E", "UTF8"})) {
            m_error = "initdb failed: " + m_output;
            return;
        }
        const QString options =
            QStringLiteral("-c listen_addresses='' -k %1 -c fsync=off").arg(m_dir.path());
        if (!run("pg_ctl", {"-D", m_data, "-o", options, "-l", m_dir.filePath("server.log"), "-w",
                            "-t", "60", "start"})) {
            m_error = "pg_ctl start failed: " + m_output;
            return;
        }
        m_running = true;
    }

    ~PgServer() {
        if (m_running) run("pg_ctl", {"-D", m_data, "-m", "immediate", "-w", "stop"});
    }

    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool running() const {
        return m_running;
    }
    bool available() const {
        return !m_bin.isEmpty();
    }
    const std::string& error() const {
        return m_error;
    }
    // The folder of the server's socket.
    QString socketDir() const {
        return m_dir.path();
    }

    // Makes a new, empty database; false when the server would not.
    bool createDatabase(const QString& name) {
        return run("createdb", {"-h", socketDir(), "-U", kUser, name}, false);
    }
    // The record address of a database, the socket folder %2F-encoded as the host.
    std::string url(const QString& database) const {
        return "postgresql://" + std::string(kUser) + "@" +
               QUrl::toPercentEncoding(socketDir()).toStdString() + "/" + database.toStdString();
    }

private:
    static QString findBin() {
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        const QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
            const QString bin = root.filePath(*it + "/bin");
            if (QFile::exists(bin + "/initdb") && QFile::exists(bin + "/pg_ctl")) return bin;
        }
        return {};
    }

    // Runs one of the server's programs; as root the server's own ones run as nobody.
    bool run(const char* program, const QStringList& args, bool asServer = true) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(QStringLiteral("/"));
        const QString path = m_bin + "/" + program;
        if (m_asNobody && asServer)
            p.start(QStringLiteral("runuser"), QStringList{"-u", "nobody", "--", path} + args);
        else
            p.start(path, args);
        const bool done = p.waitForFinished(120000);
        m_output = p.readAll().toStdString();
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir m_dir{QDir::tempPath() + "/dtuconf-pg-XXXXXX"};
    QString m_bin;
    QString m_data;
    bool m_asNobody = false;
    bool m_running = false;
    std::string m_error;
    std::string m_output;
};

// A test suite that shares one throw-away server (starting one takes a few seconds). A machine
// without the server programs skips the suite; a server that would not start fails it.
template <class Base = ::testing::Test>
class WithPgServer : public Base {
protected:
    static void SetUpTestSuite() { s_server = new PgServer; }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        Base::SetUp();
        if (!s_server->available())
            GTEST_SKIP() << "PostgreSQL server programs are not installed (scripts/setup "
                            "installs them): "
                         << s_server->error();
        ASSERT_TRUE(s_server->running()) << s_server->error();
    }
    static inline PgServer* s_server = nullptr;
};

}  // namespace dtu::test
