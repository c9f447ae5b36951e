#include "transfer_receiver.h"

#include <algorithm>
#include <cstdio>

#include "link/frame.h"
#include "transfer/cert_transfer.h"
#include "transfer/firmware_image.h"

namespace dtu::sim {

namespace {

constexpr std::uint8_t kOk = 0;
constexpr std::uint8_t kRefused = 1;
constexpr std::size_t kBlockValue = 2 + kFirmwareBlockSize + 1;

FirmwareReceiver::Answer firmwareAnswer(std::uint8_t step, std::initializer_list<std::uint8_t> v) {
    std::vector<std::uint8_t> payload{step, 0, static_cast<std::uint8_t>(v.size())};
    payload.insert(payload.end(), v.begin(), v.end());
    return buildRequest(answerCode(CMD_FIRMWARE), payload);
}

FirmwareReceiver::Answer blockAnswer(std::uint8_t step, std::uint32_t number,
                                     std::optional<std::uint8_t> result = std::nullopt) {
    const auto hi = static_cast<std::uint8_t>(number >> 8), lo = static_cast<std::uint8_t>(number);
    return result ? firmwareAnswer(step, {hi, lo, *result}) : firmwareAnswer(step, {hi, lo});
}

}  // namespace

FirmwareReceiver::Outcome FirmwareReceiver::onFrame(std::span<const std::uint8_t> frame, Time now) {
    Outcome outcome;
    if (frame.size() < kFrameOverhead + 3) return outcome;
    const auto payload = frame.subspan(5, frame.size() - kFrameOverhead);
    const std::uint8_t step = payload[0];
    const std::size_t length = std::size_t(payload[1]) << 8 | payload[2];
    if (length != payload.size() - 3) return outcome;
    const auto value = payload.subspan(3);

    switch (step) {
        case FW_START:
            if (value.size() != 5) return outcome;
            m_type = value[0];
            m_resetAfter = value[1] == kFirmwareFactoryReset;
            m_state = State::AwaitSize;
            m_deadline = now + kFirmwareSizeWait;
            outcome.answer = firmwareAnswer(FW_START, {kOk});
            return outcome;
        case FW_SIZE: {
            // A repeated size request before any block is answered again.
            const bool repeat = m_state == State::Blocks && m_expected == 0;
            if (value.size() != 4 || (m_state != State::AwaitSize && !repeat)) return outcome;
            const std::uint32_t size = std::uint32_t{value[0]} << 24 |
                                       std::uint32_t{value[1]} << 16 |
                                       std::uint32_t{value[2]} << 8 | value[3];
            if (size > kFirmwareFileMax - kFirmwareHeaderSize) return outcome;
            m_size = size;
            m_expected = 0;
            m_image.clear();
            m_image.reserve(size);
            m_state = State::Blocks;
            m_deadline = now + kFirmwareBlockWait;
            outcome.answer = firmwareAnswer(FW_SIZE, {kOk});
            return outcome;
        }
        case FW_BLOCK:
        case FW_LAST_BLOCK:
            if (m_state != State::Blocks || value.size() != kBlockValue) return outcome;
            m_deadline = now + kFirmwareBlockWait;
            outcome.answer = onBlock(step, value, outcome);
            return outcome;
        default:
            return outcome;
    }
}

FirmwareReceiver::Answer FirmwareReceiver::onBlock(std::uint8_t step,
                                                   std::span<const std::uint8_t> value,
                                                   Outcome& outcome) {
    const std::uint32_t number = std::uint32_t{value[0]} << 8 | value[1];
    const auto data = value.subspan(2, kFirmwareBlockSize);
    const std::uint32_t blockCount = m_size / kFirmwareBlockSize + 1;
    const bool isLast = number + 1 == blockCount;
    const bool good =
        number == m_expected && blockSum(data) == value.back() && (step == FW_LAST_BLOCK) == isLast;
    // A block that is not the one expected (a repeat whose answer was lost, a bad sum) is
    // answered with the number still expected.
    if (!good) return blockAnswer(FW_BLOCK, m_expected);

    const std::size_t start = std::size_t{number} * kFirmwareBlockSize;
    const std::size_t take = std::min<std::size_t>(kFirmwareBlockSize, m_size - start);
    m_image.insert(m_image.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
    ++m_expected;
    if (!isLast) return blockAnswer(FW_BLOCK, m_expected);

    m_lastImage = std::move(m_image);
    m_image.clear();
    m_lastType = m_type;
    ++m_completed;
    m_state = State::Idle;
    outcome.completed = true;
    outcome.factoryReset = m_resetAfter;
    return blockAnswer(FW_LAST_BLOCK, blockCount, m_resetAfter ? kFirmwareFactoryReset : kOk);
}

void FirmwareReceiver::advance(Time now) {
    if (m_state != State::Idle && now >= m_deadline) {
        m_state = State::Idle;
        m_image.clear();
    }
}

std::optional<FirmwareReceiver::Time> FirmwareReceiver::deadline() const {
    if (m_state == State::Idle) return std::nullopt;
    return m_deadline;
}

std::string installedVersion(std::uint8_t type, std::span<const std::uint8_t> image) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const std::uint8_t b : image) hash = (hash ^ b) * 16777619u;
    char text[48];
    std::snprintf(text, sizeof text, "V%02X-%zu-%08X", type, image.size(), hash);
    return text;
}

std::optional<CertStore::Answer> CertStore::onChunk(std::span<const std::uint8_t> value,
                                                    bool last) {
    if (value.size() != 2 + kCertChunkSize) return std::nullopt;
    const std::size_t offset = std::size_t(value[0]) << 8 | value[1];
    const bool inside = offset + kCertChunkSize <= m_blob.size();
    if (inside) {
        // A transfer starts at offset 0: what an earlier one left is gone.
        if (offset == 0) std::fill(m_blob.begin(), m_blob.end(), 0);
        std::copy(value.begin() + 2, value.end(),
                  m_blob.begin() + static_cast<std::ptrdiff_t>(offset));
        if (last) {
            // The parts are separated by 00 3B; zeros after the key do not change its sum.
            m_checksums = {};
            std::size_t part = 0;
            for (std::size_t i = 0; i < m_blob.size(); ++i) {
                if (part < 2 && m_blob[i] == kCertSeparator[0] && i + 1 < m_blob.size() &&
                    m_blob[i + 1] == kCertSeparator[1]) {
                    ++part;
                    ++i;
                    continue;
                }
                m_checksums[part] = static_cast<std::uint16_t>(m_checksums[part] + m_blob[i]);
            }
            m_committed = true;
        }
    }
    const std::array<std::uint8_t, 2> ack{TAG_CERT_CHUNK, inside ? kOk : kRefused};
    return buildRequest(answerCode(CMD_WRITE), ack);
}

}  // namespace dtu::sim
