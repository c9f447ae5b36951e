#pragma once

#include <QDateTime>
#include <QString>

#include "params/device_params.h"

namespace dtu {

// Adds the device's production entry to the day's record and print files in dir. Failures are
// silent: production data must never get in the way of configuring a device.
void appendFactoryRecord(const QString& dir, const DeviceParams& params, const QDateTime& now);

}  // namespace dtu
