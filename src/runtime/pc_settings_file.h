#pragma once

#include <QString>
#include <string>

#include "files/pc_settings.h"

namespace dtu {

// The PC settings file in the per-user configuration folder.
QString pcSettingsPath();

// A missing or unreadable file gives the defaults.
PcSettings loadPcSettingsFile(const QString& path = pcSettingsPath());
// Rewrites the file completely; a file that cannot be written is left as it was and `error`
// says why.
bool savePcSettingsFile(const PcSettings& settings, std::string& error,
                        const QString& path = pcSettingsPath());

// The production folder the settings name, or the default one (where the production record
// has always gone).
QString productionDir(const PcSettings& settings);

}  // namespace dtu
