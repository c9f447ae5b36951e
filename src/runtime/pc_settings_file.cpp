#include "pc_settings_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "file_io.h"
#include "session.h"

namespace dtu {

QString pcSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/dtuconf/serialTogprs.ini");
}

PcSettings loadPcSettingsFile(const QString& path) {
    return loadPcSettings(readIniFile(path.toStdString()));
}

bool savePcSettingsFile(const PcSettings& settings, std::string& error, const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = folder.toStdString() + ": the folder cannot be made";
        return false;
    }
    return writeIniFile(path.toStdString(), savePcSettings(settings), error);
}

QString productionDir(const PcSettings& settings) {
    if (settings.productionDir.empty()) return Session::defaultFactoryRecordDir();
    return QString::fromStdString(settings.productionDir);
}

}  // namespace dtu
