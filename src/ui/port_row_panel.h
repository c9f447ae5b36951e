#pragma once

#include <QWidget>
#include <array>

#include "files/pc_settings.h"
#include "text/language.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace dtu {

class ClickLabel;
class PortCombo;
class Session;

// The row at the top of the main window: the PC's port and its line settings, the Open/Close
// button, and the device lock with its access password.
class PortRowPanel : public QWidget {
    Q_OBJECT
public:
    explicit PortRowPanel(Session& session, QWidget* parent = nullptr);

    void restore(const PcSettings& settings);
    void store(PcSettings& settings) const;
    void retranslate(Language lang);

    // Opens the chosen port (or closes it).
    void togglePort();
    // A port path the system does not list (a pseudo-terminal) and its baud item.
    void choosePort(const QString& path, int baudItem);
    // While the port is open its settings cannot change.
    void setOpen(bool open);
    void setOpenButtonEnabled(bool enabled);

private:
    void editAccessPassword();

    Session& m_session;
    Language m_lang = Language::Chinese;
    std::array<QLabel*, 5> m_labels{};
    PortCombo* m_portCombo = nullptr;
    QComboBox* m_baudCombo = nullptr;
    QComboBox* m_parityCombo = nullptr;
    QComboBox* m_dataBitsCombo = nullptr;
    QComboBox* m_stopBitsCombo = nullptr;
    QPushButton* m_openButton = nullptr;
    QCheckBox* m_lockBox = nullptr;
    ClickLabel* m_accessPasswordLink = nullptr;
};

}  // namespace dtu
