#pragma once

#include <QComboBox>
#include <QList>
#include <functional>

namespace dtu {

// The port row's choice of port. Listing the system's ports walks its device tree, which takes
// longer than painting the whole window, so the list is filled once the combo has been painted,
// and filled again each time it drops down: an adapter plugged in later appears without a
// restart. Any path can be typed or set (pseudo-terminals are never listed); relisting keeps the
// choice.
class PortCombo : public QComboBox {
    Q_OBJECT
public:
    struct Port {
        QString path;
        QString description;
    };
    using Lister = std::function<QList<Port>()>;

    explicit PortCombo(Lister lister = systemPorts, QWidget* parent = nullptr);

    static QList<Port> systemPorts();

    // The path to open: a listed port's, or the text typed.
    QString path() const;
    // Chooses a path the system may not list.
    void choosePath(const QString& path);
    // The position of the chosen port in the list, as the settings remember it; before the
    // first listing, the position that listing will choose.
    int chosenIndex() const;
    void chooseIndex(int index);

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void relist();

    Lister m_lister;
    bool m_listed = false;
    bool m_listingDue = false;
    int m_wantedIndex = -1;
};

}  // namespace dtu
