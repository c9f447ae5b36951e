#pragma once

#include <QString>

namespace dtu {

// What a port name opens, so that two names of one device (a link, /dev/../dev/pts/6) are
// known as one: the device number of a device file, else the path with links and dots
// resolved, else (nothing there) the cleaned absolute path.
QString portIdentity(const QString& path);

}  // namespace dtu
