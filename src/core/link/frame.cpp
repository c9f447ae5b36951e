#include "link/frame.h"

#include <algorithm>
#include <cassert>

namespace dtu {

namespace {

constexpr std::array<std::uint8_t, 114> makeFullReadTags() {
    std::array<std::uint8_t, 114> tags{};
    std::size_t n = 0;
    auto range = [&](int first, int last) {
        for (int t = first; t <= last; ++t) tags[n++] = static_cast<std::uint8_t>(t);
    };
    range(1, 41);
    range(48, 69);
    range(85, 114);
    range(117, 129);
    range(144, 144);
    range(176, 179);
    range(183, 184);
    range(186, 186);
    return tags;
}

constexpr auto kFullReadTags = makeFullReadTags();

template <std::size_t N>
std::array<std::uint8_t, N> fixedFrame(std::uint8_t command,
                                       std::initializer_list<std::uint8_t> payload) {
    static_assert(N >= kFrameOverhead);
    assert(payload.size() == N - kFrameOverhead);
    std::array<std::uint8_t, N> f{};
    f[0] = FRAME_HEAD_1;
    f[1] = FRAME_HEAD_2;
    f[2] = command;
    f[3] = 0;
    f[4] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), f.begin() + 5);
    f[N - 2] = FRAME_TAIL_1;
    f[N - 1] = FRAME_TAIL_2;
    return f;
}

}  // namespace

std::array<std::uint8_t, kLockSuffixSize> lockSuffix(const LockPassword& password) {
    std::array<std::uint8_t, kLockSuffixSize> s{};
    std::copy(password.begin(), password.end(), s.begin());
    s[kLockPasswordSize] = LOCK_SUFFIX_MARK;
    return s;
}

std::vector<std::uint8_t> buildRequest(std::uint8_t command, std::span<const std::uint8_t> payload,
                                       const Lock& lock) {
    assert(payload.size() <= kMaxPayload);
    std::vector<std::uint8_t> f;
    f.reserve(payload.size() + kFrameOverhead + (lock ? kLockSuffixSize : 0));
    f.push_back(FRAME_HEAD_1);
    f.push_back(FRAME_HEAD_2);
    f.push_back(command);
    f.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
    f.push_back(static_cast<std::uint8_t>(payload.size()));
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(FRAME_TAIL_1);
    f.push_back(FRAME_TAIL_2);
    if (lock) {
        const auto suffix = lockSuffix(*lock);
        f.insert(f.end(), suffix.begin(), suffix.end());
    }
    return f;
}

bool startsWithHead(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == FRAME_HEAD_1 && bytes[1] == FRAME_HEAD_2;
}

bool isFrame(std::span<const std::uint8_t> burst) {
    const std::size_t n = burst.size();
    return n > 3 && burst[0] == FRAME_HEAD_1 && burst[1] == FRAME_HEAD_2 &&
           burst[n - 2] == FRAME_TAIL_1 && burst[n - 1] == FRAME_TAIL_2;
}

FrameCheck checkFrame(std::span<const std::uint8_t> frame) {
    const std::size_t n = frame.size();
    if (n < kFrameOverhead) return FrameCheck::TooShort;
    if (frame[0] != FRAME_HEAD_1 || frame[1] != FRAME_HEAD_2) return FrameCheck::BadHead;
    if (frame[n - 2] != FRAME_TAIL_1 || frame[n - 1] != FRAME_TAIL_2) return FrameCheck::BadTail;
    return FrameCheck::Ok;
}

std::vector<std::span<const std::uint8_t>> splitPieces(std::span<const std::uint8_t> frame,
                                                       std::size_t pieceSize) {
    assert(pieceSize > 0);
    std::vector<std::span<const std::uint8_t>> pieces;
    for (std::size_t at = 0; at < frame.size(); at += pieceSize)
        pieces.push_back(frame.subspan(at, std::min(pieceSize, frame.size() - at)));
    return pieces;
}

std::span<const std::uint8_t> fullReadTags() {
    return kFullReadTags;
}

std::vector<std::uint8_t> fullReadRequest(const Lock& lock) {
    return buildRequest(CMD_READ, kFullReadTags, lock);
}

std::array<std::uint8_t, 8> singleTagRead(std::uint8_t tag) {
    return fixedFrame<8>(CMD_READ, {tag});
}

std::array<std::uint8_t, 7> rebootRequest() {
    return fixedFrame<7>(CMD_REBOOT, {});
}
std::array<std::uint8_t, 7> factoryResetRequest() {
    return fixedFrame<7>(CMD_FACTORY_RESET, {});
}
std::array<std::uint8_t, 7> deepResetRequest() {
    return fixedFrame<7>(CMD_DEEP_RESET, {});
}

std::array<std::uint8_t, 11> ioPollRequest() {
    return fixedFrame<11>(CMD_READ, {TAG_INPUTS, TAG_RELAYS, TAG_ANALOG, TAG_COUNTERS});
}

std::array<std::uint8_t, 11> clearCountersRequest() {
    return fixedFrame<11>(CMD_WRITE, {TAG_COUNTERS, 0x00, 0x01, 0x00});
}

std::array<std::uint8_t, 18> relayControlRequest(const std::array<std::uint8_t, 8>& a) {
    return fixedFrame<18>(CMD_WRITE_MORE,
                          {TAG_RELAYS, 0x00, 0x08, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]});
}

std::array<std::uint8_t, 18> relayTestRequest(bool close) {
    constexpr std::uint8_t kNoRelay = 2;
    std::array<std::uint8_t, 8> actions;
    actions.fill(kNoRelay);
    actions[0] = close ? 1 : 0;
    return relayControlRequest(actions);
}

std::array<std::uint8_t, 12> calibrationRequest() {
    return fixedFrame<12>(CMD_WRITE_MORE, {TAG_CALIBRATION, 0x00, 0x02, 0x01, 0x01});
}

}  // namespace dtu
