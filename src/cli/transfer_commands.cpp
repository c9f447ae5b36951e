#include "transfer_commands.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <iostream>

#include "cert_upload.h"
#include "common.h"
#include "firmware_upgrade.h"
#include "session.h"
#include "transfer/cert_transfer.h"
#include "transfer/transfer_rate.h"

namespace dtu::cli {

namespace {

// A transfer that reports nothing for this long is stopped; the flows' own time-outs are far
// shorter, so this only guards against the unforeseen. A long upgrade is not cut short by it.
constexpr int kSilenceLimitMs = 60000;
constexpr int kBarWidth = 30;

bool english(Language lang) {
    return lang == Language::English;
}

// Blocks or chunks done, with throughput: a bar on a terminal, a line per tenth otherwise.
class ProgressPrinter {
public:
    ProgressPrinter(const char* unit, std::size_t unitBytes, const Session& session)
        : m_unit(unit), m_rate(unitBytes), m_session(session), m_terminal(stdoutIsTerminal()) {}

    void update(quint32 done, quint32 total) {
        if (total == 0) return;
        if (!m_clock.isValid()) m_clock.start();
        m_rate.update(done, m_clock.elapsed());
        // 10 bits a byte on the line: start, 8 data bits, stop.
        const int baud = m_session.lineBaud();
        const double lineRate = baud > 0 ? baud / 10.0 : 0;
        const auto rate = m_rate.bytesPerSecond(lineRate);
        char numbers[96];
        const bool en = english(m_session.language());
        if (rate && lineRate > 0)
            std::snprintf(numbers, sizeof numbers,
                          en ? "%u/%u %s  %.0f B/s  %.0f%% of line rate"
                             : "%u/%u %s  %.0f B/s  线路速率的 %.0f%%",
                          static_cast<unsigned>(done), static_cast<unsigned>(total), m_unit, *rate,
                          *rate * 100.0 / lineRate);
        else
            std::snprintf(numbers, sizeof numbers, "%u/%u %s", static_cast<unsigned>(done),
                          static_cast<unsigned>(total), m_unit);
        if (m_terminal) {
            const int filled = static_cast<int>(kBarWidth * std::min(done, total) / total);
            std::cout << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '-')
                      << "] " << numbers << "   " << std::flush;
            m_open = true;
        } else {
            const unsigned tenth = 10u * done / total;
            if (tenth == m_lastTenth) return;
            m_lastTenth = tenth;
            std::cout << numbers << "\n" << std::flush;
        }
    }
    // Ends the bar's line before other output.
    void close() {
        if (m_open) std::cout << "\n" << std::flush;
        m_open = false;
    }

private:
    const char* m_unit;
    TransferRate m_rate;
    const Session& m_session;
    bool m_terminal;
    bool m_open = false;
    unsigned m_lastTenth = ~0u;
    QElapsedTimer m_clock;
};

enum class JobEnd { Finished, NotStarted, Silent };

// Starts a job and runs the event loop until it reports finished.
template <typename Job>
JobEnd runJob(Job& job, ProgressPrinter* progress, const std::function<bool()>& start) {
    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    bool done = false;
    QObject::connect(&silence, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&job, &Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QObject::connect(&job, &Job::statusText, &loop, [&] { silence.start(kSilenceLimitMs); });
    QObject::connect(&job, &Job::progressChanged, &loop, [&](quint32 d, quint32 t) {
        silence.start(kSilenceLimitMs);
        if (progress) progress->update(d, t);
    });
    silence.start(kSilenceLimitMs);
    // A job refused at its start may have finished already, or may say nothing more.
    const bool started = start();
    if (!started && !done) return JobEnd::NotStarted;
    if (!done) loop.exec();
    if (progress) progress->close();
    return done ? JobEnd::Finished : JobEnd::Silent;
}

int runFlash(const TransferJob& job, Session& session) {
    const Language lang = session.language();
    FirmwareUpgrader upgrader(session);
    ProgressPrinter progress(english(lang) ? "blocks" : "块", kFirmwareBlockSize, session);
    const JobEnd end =
        runJob(upgrader, &progress, [&] { return upgrader.start(*job.image, job.factoryReset); });
    if (end == JobEnd::Silent) {
        upgrader.cancel();
        return fail(kExitFailed, "the upgrade stopped reporting and was given up");
    }
    if (end == JobEnd::NotStarted) return fail(kExitFailed, "the upgrade could not start");
    const FirmwareResult& r = upgrader.lastResult();
    std::cout << r.text << "\n";
    if (!r.ok) return kExitFailed;
    if (r.factoryResetAsked) std::cout << factoryResetText(r.factoryResetDone, lang) << "\n";
    return upgradeComplete(r) ? kExitOk : kExitFailed;
}

int runCerts(const TransferJob& job, Session& session) {
    const Language lang = session.language();
    const bool en = english(lang);
    CertUploader uploader(session);
    QObject::connect(&uploader, &CertUploader::refused,
                     [](const QString& text) { std::cout << text.toStdString() << "\n"; });
    if (job.saveCerts) {
        // As the dialog does: the paths of what is sent, and the blob, go into the record.
        const std::pair<CertFile, const QString*> paths[] = {
            {CertFile::Ca, &job.caPath},
            {CertFile::ClientCert, &job.clientCertPath},
            {CertFile::ClientKey, &job.clientKeyPath}};
        for (const auto& [which, path] : paths)
            setCertPath(session.params(), which, path->toStdString());  // checked by prepare
        ProgressPrinter progress(en ? "chunks" : "包", kCertChunkSize, session);
        const JobEnd end = runJob(uploader, &progress, [&] {
            return uploader.save(job.caPath, job.clientCertPath, job.clientKeyPath);
        });
        if (end == JobEnd::NotStarted) return kExitFile;  // refused before anything was sent
        if (end == JobEnd::Silent) {
            uploader.cancel();
            return fail(kExitFailed, "the transfer stopped reporting and was given up");
        }
        std::cout << uploader.lastResult().text << "\n";
        if (!uploader.lastResult().ok) return kExitFailed;
    }
    if (!job.readChecksums) return kExitOk;

    if (runJob(uploader, nullptr, [&] { return uploader.readChecksums(); }) != JobEnd::Finished)
        return fail(kExitFailed, "no checksums");
    const CertResult& r = uploader.lastResult();
    std::cout << r.text << "\n";
    if (!r.ok) return kExitFailed;
    std::cout << (en ? "Checksums: " : "校验和: ") << checksumText(r.checksums[0]) << " "
              << checksumText(r.checksums[1]) << " " << checksumText(r.checksums[2]) << "\n";
    if (!job.saveCerts) return kExitOk;
    const auto files =
        CertUploader::fileChecksums(job.caPath, job.clientCertPath, job.clientKeyPath);
    if (files == r.checksums) return kExitOk;
    std::cout << checksumMismatchText(files, lang) << "\n";
    return kExitFailed;
}

}  // namespace

bool isTransferCommand(const std::string& name) {
    return name == "flash" || name == "certs";
}

int prepareFirmware(const std::string& path, bool factoryReset, Language lang, TransferJob& job) {
    QString error;
    job.image = FirmwareUpgrader::loadImage(QString::fromStdString(path), lang, error);
    if (!job.image) return fail(kExitFile, path + ": " + error.toStdString());
    job.factoryReset = factoryReset;
    return kExitOk;
}

int prepareCerts(const Args& args, Language lang, TransferJob& job) {
    const auto ca = args.value("--ca"), cert = args.value("--cert"), key = args.value("--key");
    job.readChecksums = args.flag("--checksums");
    job.saveCerts = ca || cert || key;
    if (!job.saveCerts && !job.readChecksums)
        return fail(kExitUsage, "nothing to do: give --ca FILE to save, --checksums to read");
    if (job.saveCerts && !ca)
        return fail(kExitUsage, std::string(inLanguage(certText::kCaRequired, lang)));
    QString* paths[] = {&job.caPath, &job.clientCertPath, &job.clientKeyPath};
    const std::optional<std::string>* given[] = {&ca, &cert, &key};
    for (int i = 0; i < 3; ++i) {
        if (!*given[i]) continue;
        // Absolute, as the record keeps it: it must still name the file from elsewhere.
        *paths[i] = QFileInfo(QString::fromStdString(**given[i])).absoluteFilePath();
        const auto check = CertUploader::checkFile(*paths[i], static_cast<CertFile>(i), lang);
        if (!check.error.isEmpty())
            return fail(kExitFile, **given[i] + ": " + check.error.toStdString());
    }
    if (!job.saveCerts) return kExitOk;
    // The blob must fit the device before anything is sent.
    const CertBlob blob =
        CertUploader::blobFromFiles(job.caPath, job.clientCertPath, job.clientKeyPath);
    if (blob.error != CertBlobError::None) return fail(kExitFile, certBlobErrorText(blob, lang));
    return kExitOk;
}

int prepareTransfer(const std::string& command, const Args& args, Language lang, TransferJob& job) {
    job.command = command;
    if (command == "flash")
        return prepareFirmware(args.positional().at(0), args.flag("--factory-reset"), lang, job);
    return prepareCerts(args, lang, job);
}

int runTransfer(const TransferJob& job, Session& session) {
    return job.command == "flash" ? runFlash(job, session) : runCerts(job, session);
}

}  // namespace dtu::cli
