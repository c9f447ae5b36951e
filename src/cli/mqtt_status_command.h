#pragma once

namespace dtu {
class Session;
}

namespace dtu::cli {

// mqtt-status: asks the device for its MQTT connection state as the MQTT dialog does and
// prints the lines the dialog shows, or the time-out. Returns the exit code.
int runMqttStatus(Session& session);

}  // namespace dtu::cli
