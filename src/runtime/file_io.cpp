#include "file_io.h"

#include <QFile>
#include <QSaveFile>

namespace dtu {

std::optional<std::vector<std::uint8_t>> readFileHead(const std::string& path, std::size_t maxBytes,
                                                      std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    const QByteArray data = file.read(static_cast<qint64>(maxBytes));
    if (file.error() != QFileDevice::NoError) {
        error = path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::string& error,
                                                  std::size_t maxBytes) {
    // One byte past the limit catches an oversize file (or an endless device) without taking
    // it all into memory.
    auto data = readFileHead(path, maxBytes + 1, error);
    if (data && data->size() > maxBytes) {
        error = path + ": file is larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    return data;
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
