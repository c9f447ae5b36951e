#include "port_combo.h"

#include <QSerialPortInfo>
#include <QTimer>

namespace dtu {

PortCombo::PortCombo(Lister lister, QWidget* parent)
    : QComboBox(parent), m_lister(std::move(lister)) {
    setObjectName(QStringLiteral("portCombo"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMinimumContentsLength(14);  // /dev/ttyUSB10, /dev/pts/12
}

QList<PortCombo::Port> PortCombo::systemPorts() {
    QList<Port> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.systemLocation(), info.description()});
    return ports;
}

QString PortCombo::path() const {
    const int i = currentIndex();
    const QString typed = currentText().trimmed();
    return i >= 0 && itemText(i) == typed ? itemData(i).toString() : typed;
}

void PortCombo::choosePath(const QString& path) {
    m_wantedIndex = -1;
    setCurrentIndex(-1);
    setEditText(path);
}

int PortCombo::chosenIndex() const {
    return m_listed ? currentIndex() : m_wantedIndex;
}

void PortCombo::chooseIndex(int index) {
    if (m_listed)
        setCurrentIndex(index >= 0 && index < count() ? index : -1);
    else
        m_wantedIndex = index;
}

void PortCombo::showPopup() {
    relist();
    QComboBox::showPopup();
}

void PortCombo::paintEvent(QPaintEvent* event) {
    QComboBox::paintEvent(event);
    // Listed once the event loop is back, after the rest of the window has been painted.
    if (!m_listed && !m_listingDue) {
        m_listingDue = true;
        QTimer::singleShot(0, this, [this] {
            if (!m_listed) relist();
        });
    }
}

void PortCombo::relist() {
    const QString kept = path();
    clear();
    for (const Port& p : m_lister())
        addItem(
            p.description.isEmpty() ? p.path : QStringLiteral("%1 (%2)").arg(p.path, p.description),
            p.path);
    const bool first = !m_listed;
    m_listed = true;
    if (kept.isEmpty()) {
        chooseIndex(first ? m_wantedIndex : -1);
        return;
    }
    const int i = findData(kept);
    setCurrentIndex(i);
    if (i < 0) setEditText(kept);
}

}  // namespace dtu
