#include "pc_settings_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "file_io.h"

namespace dtu {

QString pcSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/dtuconf/serialTogprs.ini");
}

PcSettings loadPcSettingsFile(const QString& path) {
    std::string error;
    const auto bytes = readFile(path.toStdString(), error, 1024 * 1024);
    if (!bytes) return {};
    return loadPcSettings(IniDocument::parse(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())));
}

bool savePcSettingsFile(const PcSettings& settings, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const std::string text = savePcSettings(settings).toText();
    std::string error;
    return writeFileAtomic(
        path.toStdString(),
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), error);
}

}  // namespace dtu
