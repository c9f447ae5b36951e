#include "app_icon.h"

namespace dtu {

QIcon applicationIcon() {
    QIcon icon;
    // Drawn once as SVG and kept as pictures, so that no SVG module is needed to show it.
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/dtuconf-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace dtu
