#include "file_io.h"

#include <QFile>
#include <QSaveFile>

namespace dtu {

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::string& error,
                                                  std::size_t maxBytes) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    // Read one byte past the limit so that an oversize file (or an endless device) is caught
    // without taking it all into memory.
    const QByteArray data = file.read(static_cast<qint64>(maxBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        error = path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    if (static_cast<std::size_t>(data.size()) > maxBytes) {
        error = path + ": file is larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes,
                     std::string& error) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    const auto written =
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (written != static_cast<qint64>(bytes.size()) || !file.commit()) {
        error = path + ": " + file.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    return true;
}

IniDocument readIniFile(const std::string& path) {
    std::string error;
    const auto bytes = readFile(path, error, 16 * 1024 * 1024);
    if (!bytes) return {};
    return IniDocument::parse(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

bool writeIniFile(const std::string& path, const IniDocument& doc) {
    const std::string text = doc.toText();
    std::string error;
    return writeFileAtomic(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), error);
}

}  // namespace dtu
