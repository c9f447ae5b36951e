#include "label_print.h"

#include <QFile>
#include <QFileInfo>
#include <QUdpSocket>

#include "file_io.h"
#include "production/history.h"
#include "production/model_list.h"
#include "qt_bytes.h"

namespace dtu {

namespace {

std::string pathIn(const QString& dir, std::string_view name) {
    return (dir + '/' + QString::fromUtf8(name.data(), qsizetype(name.size()))).toStdString();
}

// False, with the reason, for anything there but a regular file: opening a FIFO waits for a
// writer and a device may never end, and a print must not hang on either.
bool regularOrAbsent(const std::string& path, std::string& error) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists() || info.isFile()) return true;
    error = path + ": not a regular file";
    return false;
}

std::optional<std::vector<std::uint8_t>> readProductionFile(const std::string& path,
                                                            std::size_t maxBytes,
                                                            std::string& error) {
    if (!regularOrAbsent(path, error)) return std::nullopt;
    return readFileHead(path, maxBytes, error);
}

std::optional<std::vector<std::uint8_t>> readLabelFile(const QString& dir, std::string_view name,
                                                       QString& error) {
    std::string why;
    auto bytes = readProductionFile(pathIn(dir, name), kLabelFileLimit + 1, why);
    if (!bytes) error = QString::fromStdString(why);
    return bytes;
}

LocalDateTime localTime(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

// Adds the print to the history unless the device and model are there already.
void appendHistory(const QString& dir, const LabelRequest& request, const QDateTime& now,
                   LabelPrintResult& result) {
    QFile file(QString::fromStdString(pathIn(dir, productionFile::kHistory)));
    HistoryScan scan(historyKey(request));
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            result.fileErrors << file.fileName() + ": " + file.errorString();
            return;
        }
        while (!file.atEnd()) {
            const QByteArray piece = file.read(64 * 1024);
            if (piece.isEmpty()) break;
            scan.feed(byteSpan(piece));
        }
        file.close();
    }
    const auto text = historyAppend(scan, request, localTime(now));
    if (!text) {
        result.historyDuplicate = true;
        return;
    }
    std::string error;
    if (!appendToFile(file.fileName().toStdString(), *text, error)) {
        result.fileErrors << QString::fromStdString(error);
        return;
    }
    result.historyLine = QString::fromStdString(*text).trimmed();
}

}  // namespace

std::vector<std::string> loadModelList(const QString& dir) {
    std::string error;
    const auto bytes =
        readProductionFile(pathIn(dir, productionFile::kModels), kModelFileLimit, error);
    return bytes ? parseModelList(*bytes) : std::vector<std::string>{};
}

LabelPrintResult printLabel(const QString& dir, const LabelRequest& request,
                            const QHostAddress& service, quint16 port, const QDateTime& now,
                            Language lang) {
    LabelPrintResult result;
    LabelFiles files;
    QString logoError;
    QString templateError;
    files.logoText = readLabelFile(dir, productionFile::kLogoText, logoError);
    files.labelTemplate = readLabelFile(dir, templateFile(request.withLogo), templateError);
    const LabelPlan plan = planLabel(request, files);
    result.refusal = plan.refusal;
    if (plan.refusal != LabelRefusal::None) {
        result.refusalText = QString::fromStdString(labelRefusalText(plan, request.withLogo, lang));
        if (plan.refusal == LabelRefusal::LogoMissing) result.readError = logoError;
        if (plan.refusal == LabelRefusal::TemplateMissing) result.readError = templateError;
        return result;
    }

    // The decoded logo is kept beside its text for whoever loads the printer by hand.
    std::string error;
    if (!writeFileAtomic(pathIn(dir, productionFile::kLogo), plan.logo, error))
        result.fileErrors << QString::fromStdString(error);
    if (std::string why; regularOrAbsent(pathIn(dir, productionFile::kHistory), why))
        appendHistory(dir, request, now, result);
    else
        result.fileErrors << QString::fromStdString(why);

    QUdpSocket socket;
    for (const std::string& d : plan.datagrams) {
        const qint64 sent =
            socket.writeDatagram(d.data(), static_cast<qint64>(d.size()), service, port);
        if (sent != static_cast<qint64>(d.size())) {
            result.sendError = socket.errorString();
            break;
        }
        ++result.datagrams;
        result.bytes += sent;
    }
    return result;
}

}  // namespace dtu
