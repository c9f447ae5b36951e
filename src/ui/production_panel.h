#pragma once

#include <QWidget>

#include "files/pc_settings.h"
#include "text/language.h"

class QComboBox;
class QPushButton;

namespace dtu {

class CloudRegistration;
class PrintServiceProbe;
class Session;

// The production line's controls: the label model, printing the device's label and adding
// the device to the cloud. Hidden unless the print service answers the probe.
class ProductionPanel : public QWidget {
    Q_OBJECT
public:
    // kept: the print service, cloud and remembered model of the PC settings.
    ProductionPanel(Session& session, const PcSettings& kept, QWidget* parent = nullptr);

    void retranslate(Language lang);
    // Asks whether the print service is there; its answer shows the controls.
    void startProbe();
    // The production folder changed: its model list is the one to offer.
    void reloadModels();
    // Printing and registering need a device that has been read.
    void applyEnabling();
    void store(PcSettings& settings) const;

private:
    void showControls();
    void fillModelList();
    void printDeviceLabel(bool withLogo);
    void registerDevice();

    Session& m_session;
    const PcSettings& m_kept;
    Language m_lang = Language::Chinese;
    bool m_serviceFound = false;
    PrintServiceProbe* m_probe = nullptr;
    CloudRegistration* m_registration = nullptr;
    QComboBox* m_modelCombo = nullptr;  // shows the names, keeps the model list's bytes
    QPushButton* m_printButton = nullptr;
    QPushButton* m_printNoLogoButton = nullptr;
    QPushButton* m_cloudButton = nullptr;
};

}  // namespace dtu
