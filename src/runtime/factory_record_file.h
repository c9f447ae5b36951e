#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "params/device_params.h"

namespace dtu {

// Adds the device's production entry to the day's record and print files in dir. Each file is
// updated by one edit that keeps every other byte of it; a file that cannot be read is left
// alone. Returns the failures, one "file: reason" each.
QStringList appendFactoryRecord(const QString& dir, const DeviceParams& params,
                                const QDateTime& now);

}  // namespace dtu
