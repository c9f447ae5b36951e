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
    return loadPcSettings(readIniFile(path.toStdString()));
}

bool savePcSettingsFile(const PcSettings& settings, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeIniFile(path.toStdString(), savePcSettings(settings));
}

}  // namespace dtu
