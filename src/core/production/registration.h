#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/language.h"

namespace dtu {

// The maker's cloud takes registrations on this TCP port; its host is a deployment setting.
inline constexpr std::uint16_t kCloudPort = 8081;
// A stand-in until a line sets its cloud host: nothing outside this PC is ever contacted.
inline constexpr std::string_view kDefaultCloudHost = "127.0.0.1";
// The connection must be up within 1 s (plus the 1000 µs the wait always had), the answer
// must come within 3 s after the request.
inline constexpr int kRegistrationConnectMs = 1001;
inline constexpr int kRegistrationAnswerMs = 3000;
inline constexpr std::size_t kRegistrationAnswerMax = 10;
inline constexpr std::size_t kRegistrationRequestSize = 13;

// The start-up question to the print service and how long it has to answer.
inline constexpr std::string_view kProbeRequest = "test";
inline constexpr int kProbeWaitMs = 500;

// 0xAD, then "00" and the MAC's bytes 1 to 5 as lower-case hex: the first byte is never sent.
std::array<std::uint8_t, kRegistrationRequestSize> registrationRequest(
    std::span<const std::uint8_t, 6> mac);

enum class RegistrationResult : std::uint8_t { Added, AlreadyAdded, Failed };

// Only the first two bytes count: "ok" registered now, "ko" registered before, anything else
// (also fewer than two bytes) a failure.
RegistrationResult readRegistrationAnswer(std::span<const std::uint8_t> answer);

// The receive box line in the window's language (the command line prints the Chinese one),
// followed by CR LF.
std::string_view registrationText(RegistrationResult result, Language lang = Language::Chinese);

// "HOST:PORT" (an IPv6 host in brackets); nullopt when the port is not 1 to 65535 or the host
// is empty.
struct HostPort {
    std::string host;
    std::uint16_t port = 0;
};
std::optional<HostPort> parseHostPort(std::string_view text);

class RegistrationEffects {
public:
    virtual ~RegistrationEffects() = default;
    // Opens the connection to the cloud; onConnected, onFailed or the timer follows.
    virtual void connectToCloud() = 0;
    virtual void writeBytes(std::span<const std::uint8_t> bytes) = 0;
    virtual void startTimer(int ms) = 0;
    virtual void stopTimer() = 0;
    virtual void closeConnection() = 0;
    virtual void finished(RegistrationResult result) = 0;
};

// One registration exchange: connect within its limit, send the request, read the answer
// within its limit. The answer may arrive in pieces: it is decided once two bytes are there,
// or with what came when the cloud closes the connection or the time runs out.
class RegistrationExchange {
public:
    explicit RegistrationExchange(RegistrationEffects& effects) : m_fx(effects) {}

    // Starts an exchange; false (nothing done) while one runs.
    bool start(std::span<const std::uint8_t, 6> mac);
    void onConnected();
    void onBytes(std::span<const std::uint8_t> bytes);
    // The cloud closed the connection.
    void onClosed();
    // The connection could not be made or broke.
    void onFailed();
    void onTimer();

    bool busy() const { return m_state != State::Idle; }

private:
    enum class State { Idle, Connecting, Waiting };
    void finish(RegistrationResult result);

    RegistrationEffects& m_fx;
    State m_state = State::Idle;
    std::array<std::uint8_t, kRegistrationRequestSize> m_request{};
    std::array<std::uint8_t, kRegistrationAnswerMax> m_answer{};
    std::size_t m_answerSize = 0;
};

}  // namespace dtu
