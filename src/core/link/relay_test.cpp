#include "link/relay_test.h"

#include "link/frame.h"

namespace dtu {

void RelayTest::click(bool portOpen) {
    if (!m_enabled) return;
    m_enabled = false;
    m_fx.setSwitchEnabled(false);
    m_closed = !m_closed;
    m_fx.showClosed(m_closed);
    if (portOpen) m_fx.writeBytes(relayTestRequest(m_closed));
    m_fx.startTimer(kRelayTestPauseMs);
}

void RelayTest::onTimer() {
    m_fx.stopTimer();
    m_enabled = true;
    m_fx.setSwitchEnabled(true);
}

}  // namespace dtu
