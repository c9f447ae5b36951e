#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "check/server_check.h"

namespace dtu {

// One MQTT 3.1.1 connection attempt as the device makes it: CONNECT with the record's client
// ID, credentials, keep-alive and will, over TLS when the record says so, then SUBSCRIBE to the
// subscribe topic and, when asked, one PUBLISH on publish topic 1. The client library blocks
// (name lookup, its own loop), so the attempt runs on a thread of its own; done is called once,
// on that thread, unless the attempt is cancelled first.
class MqttProbe {
public:
    MqttProbe(CheckItem item, bool publish, std::function<void(const CheckOutcome&)> done);
    // Cancels and waits for the thread (its loop looks at the flag every few ms).
    ~MqttProbe();
    MqttProbe(const MqttProbe&) = delete;
    MqttProbe& operator=(const MqttProbe&) = delete;

    void cancel() { m_cancelled = true; }

private:
    void run();

    CheckItem m_item;
    bool m_publish;
    std::function<void(const CheckOutcome&)> m_done;
    std::atomic<bool> m_cancelled{false};
    std::thread m_thread;
};

}  // namespace dtu
