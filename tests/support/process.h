#pragma once

// Runs the project's programs as a user or a script would, and keeps a simulated device
// serving on a pseudo-terminal for the length of a test.
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace dtu::test {

struct RunResult {
    int code = -1;  // -1: crashed or did not finish in time
    std::string out;
    std::string err;
};

inline QStringList toQt(const std::vector<std::string>& args) {
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    return list;
}

// Runs what p starts next as on a full disk: no file may grow past `bytes` (RLIMIT_FSIZE), and
// a write past it fails with EFBIG instead of raising SIGXFSZ.
inline void limitFileSize(QProcess& p, long bytes) {
    p.setChildProcessModifier([bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
}

// fileSizeLimit > 0 runs the program under limitFileSize().
inline RunResult runProgram(const char* program, const std::vector<std::string>& args,
                            const std::string& input = {}, int timeoutMs = 60000,
                            long fileSizeLimit = 0) {
    QProcess p;
    if (fileSizeLimit > 0) limitFileSize(p, fileSizeLimit);
    p.start(program, toQt(args));
    p.write(input.data(), static_cast<qint64>(input.size()));
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

// dtusim started with the given options; path() is the pseudo-terminal it serves.
class SimProcess {
public:
    SimProcess(const char* program, const std::vector<std::string>& args) {
        m_process.start(program, toQt(args));
        while (m_process.waitForReadyRead(5000)) {
            if (m_process.canReadLine()) {
                m_path = m_process.readLine().trimmed().toStdString();
                break;
            }
        }
    }
    ~SimProcess() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) m_process.kill();
        m_process.waitForFinished();
    }
    const std::string& path() const { return m_path; }
    bool running() { return m_process.state() == QProcess::Running; }
    // The next line the device printed after its path (what it did), or nothing within the
    // limit.
    std::optional<std::string> nextLine(int limitMs = 10000) {
        QElapsedTimer since;
        since.start();
        while (!m_process.canReadLine()) {
            const qint64 left = limitMs - since.elapsed();
            if (left <= 0 || !m_process.waitForReadyRead(static_cast<int>(left))) break;
        }
        if (!m_process.canReadLine()) return std::nullopt;
        return m_process.readLine().trimmed().toStdString();
    }

private:
    QProcess m_process;
    std::string m_path;
};

}  // namespace dtu::test
