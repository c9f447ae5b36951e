#include "production/registration.h"

#include <charconv>
#include <cstdio>

#include "text/window_texts.h"

namespace dtu {

std::array<std::uint8_t, kRegistrationRequestSize> registrationRequest(
    std::span<const std::uint8_t, 6> mac) {
    std::array<std::uint8_t, kRegistrationRequestSize> r{};
    r[0] = 0xAD;
    char text[16];
    std::snprintf(text, sizeof text, "00%02x%02x%02x%02x%02x", mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    for (std::size_t i = 0; i < 12; ++i) r[i + 1] = static_cast<std::uint8_t>(text[i]);
    return r;
}

RegistrationResult readRegistrationAnswer(std::span<const std::uint8_t> answer) {
    if (answer.size() < 2) return RegistrationResult::Failed;
    if (answer[0] == 'o' && answer[1] == 'k') return RegistrationResult::Added;
    if (answer[0] == 'k' && answer[1] == 'o') return RegistrationResult::AlreadyAdded;
    return RegistrationResult::Failed;
}

std::string_view registrationText(RegistrationResult result, Language lang) {
    using namespace windowText;
    switch (result) {
        case RegistrationResult::Added:
            return in(kAdded, lang);
        case RegistrationResult::AlreadyAdded:
            return in(kAlreadyAdded, lang);
        case RegistrationResult::Failed:
            break;
    }
    return in(kAddFailed, lang);
}

std::optional<HostPort> parseHostPort(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        return std::nullopt;  // an IPv6 host needs its brackets
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (host.empty() || port.empty() || ec != std::errc() || end != port.data() + port.size() ||
        value == 0 || value > 65535)
        return std::nullopt;
    return HostPort{std::string(host), static_cast<std::uint16_t>(value)};
}

bool RegistrationExchange::start(std::span<const std::uint8_t, 6> mac) {
    if (busy()) return false;
    m_request = registrationRequest(mac);
    m_answerSize = 0;
    m_state = State::Connecting;
    m_fx.startTimer(kRegistrationConnectMs);
    m_fx.connectToCloud();
    return true;
}

void RegistrationExchange::onConnected() {
    if (m_state != State::Connecting) return;
    m_state = State::Waiting;
    m_fx.stopTimer();
    m_fx.writeBytes(m_request);
    m_fx.startTimer(kRegistrationAnswerMs);
}

void RegistrationExchange::onBytes(std::span<const std::uint8_t> bytes) {
    if (m_state != State::Waiting) return;
    for (std::uint8_t b : bytes) {
        if (m_answerSize == m_answer.size()) break;
        m_answer[m_answerSize++] = b;
    }
    if (m_answerSize >= 2) finish(readRegistrationAnswer({m_answer.data(), m_answerSize}));
}

void RegistrationExchange::onClosed() {
    if (m_state == State::Waiting)
        finish(readRegistrationAnswer({m_answer.data(), m_answerSize}));
    else if (m_state == State::Connecting)
        finish(RegistrationResult::Failed);
}

void RegistrationExchange::onFailed() {
    if (busy()) finish(RegistrationResult::Failed);
}

void RegistrationExchange::onTimer() {
    // A lone first byte that was never completed is still a failure.
    if (busy()) finish(RegistrationResult::Failed);
}

void RegistrationExchange::finish(RegistrationResult result) {
    m_state = State::Idle;
    m_fx.stopTimer();
    m_fx.closeConnection();
    m_fx.finished(result);
}

}  // namespace dtu
