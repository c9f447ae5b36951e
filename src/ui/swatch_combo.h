#pragma once

#include <QComboBox>
#include <QIcon>
#include <QStringList>

namespace dtu {

// The colour swatch of an entry of the rule and trigger lists, chosen by the entry's index:
// 0 red, 1 green, 2 yellow, 3 white, framed in black. Painted at the size asked for.
QIcon swatchIcon(int index);

// A drop-down whose entries carry the swatch of their index before their text.
class SwatchCombo : public QComboBox {
    Q_OBJECT
public:
    explicit SwatchCombo(QWidget* parent = nullptr);
    void setEntries(const QStringList& entries);
};

}  // namespace dtu
