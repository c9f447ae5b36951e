#pragma once

#include <QPushButton>
#include <functional>

namespace dtu {

class DeviceParams;
class ServerChecker;
class Session;

// The "Test connection" button: tries the servers of the record as the window shows it now
// from the PC and writes one line per link to the receive box as each ends; the checks run
// on the event loop, so the window stays live.
class ServerCheckButton : public QPushButton {
    Q_OBJECT
public:
    // record fills the record to try (what the user typed included); false when the form
    // refused it (it has said why). mqttOnly: the MQTT link alone, enabled or not.
    ServerCheckButton(Session& session, std::function<bool(DeviceParams&)> record, bool mqttOnly,
                      QWidget* parent);

private:
    void run();
    void retranslate();

    Session& m_session;
    std::function<bool(DeviceParams&)> m_record;
    bool m_mqttOnly;
    ServerChecker* m_checker;
};

}  // namespace dtu
