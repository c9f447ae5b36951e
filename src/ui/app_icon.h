#pragma once

#include <QIcon>

namespace dtu {

// The program's icon, a terminal with an antenna, at the sizes window managers ask for.
QIcon applicationIcon();

}  // namespace dtu
