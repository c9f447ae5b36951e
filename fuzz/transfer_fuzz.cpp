// Firmware files and the device's answers during a firmware upgrade or a certificate transfer
// both come from outside. The whole input is first taken as a firmware file, which must parse to
// exactly what it holds. Then its first byte picks an image, a certificate blob and the options,
// and the rest is a script of answer bursts, timer events and user actions played against an
// upgrade, a certificate save and a checksum read. Whatever the device says, the transfers must
// keep to stop-and-wait, send only the frames due, end exactly once, never report success before
// the device took everything, and leave no timer running and nothing written once they end.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/command_flow.h"
#include "link/frame.h"
#include "quiet_link.h"
#include "transfer/cert_transfer.h"
#include "transfer/firmware_image.h"
#include "transfer/firmware_upgrade.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

std::uint32_t be16(View b, std::size_t at) {
    return std::uint32_t{b[at]} << 8 | b[at + 1];
}

bool framed(View b, std::uint8_t command) {
    const std::size_t n = b.size();
    return n >= 7 && b[0] == 0x88 && b[1] == 0x3A && b[2] == command && b[n - 2] == 0x45 &&
           b[n - 1] == 0x2E;
}

// ---- The file ---------------------------------------------------------------------------------

void checkBlockFrame(const dtu::FirmwareImage& image, View file, std::uint32_t n) {
    const Bytes frame = dtu::firmwareBlockFrame(image, n);
    check(frame.size() == 1037);
    const bool last = n + 1 == image.blockCount();
    const Bytes head{0x88,
                     0x3A,
                     0x07,
                     0x04,
                     0x06,
                     static_cast<std::uint8_t>(last ? 0x11 : 0x10),
                     0x04,
                     0x03,
                     static_cast<std::uint8_t>(n >> 8),
                     static_cast<std::uint8_t>(n)};
    check(std::equal(head.begin(), head.end(), frame.begin()));
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < dtu::kFirmwareBlockSize; ++i) {
        const std::size_t at = std::size_t{n} * dtu::kFirmwareBlockSize + i;
        sum = static_cast<std::uint8_t>(sum + frame[10 + i]);
        check(frame[10 + i] == (at < image.data.size() ? file[20 + at] : 0));
    }
    check(frame[1034] == sum && frame[1035] == 0x45 && frame[1036] == 0x2E);
}

void checkFile(View file) {
    using dtu::FirmwareImageError;
    const dtu::FirmwareImageParse parse = dtu::parseFirmwareImage(file);
    check((parse.error == FirmwareImageError::None) == parse.image.has_value());
    for (const auto lang : {dtu::Language::English, dtu::Language::Chinese})
        check(dtu::firmwareImageErrorText(parse, lang).empty() == parse.image.has_value());

    if (file.size() > dtu::kFirmwareFileMax)
        return check(parse.error == FirmwareImageError::TooLarge);
    if (file.size() < 20) return check(parse.error == FirmwareImageError::NoHeader);
    const std::uint32_t claimed = be16(file, 16) << 16 | be16(file, 18);
    const std::size_t available = file.size() - 20;
    if (claimed > available) {
        check(parse.error == FirmwareImageError::Truncated && parse.claimedSize == claimed &&
              parse.availableSize == available);
        return;
    }
    check(parse.error == FirmwareImageError::None);
    const dtu::FirmwareImage& image = *parse.image;
    check(image.imageType == file[15] && image.data.size() == claimed);
    check(std::equal(image.data.begin(), image.data.end(), file.begin() + 20));
    check(image.blockCount() == claimed / 1024 + 1);
    // Every block, and one past the last, is a whole block padded with zeros.
    for (std::uint32_t n = 0; n <= image.blockCount(); ++n) {
        const dtu::FirmwareBlock block = image.block(n);
        for (std::size_t i = 0; i < block.size(); ++i) {
            const std::size_t at = std::size_t{n} * dtu::kFirmwareBlockSize + i;
            check(block[i] == (at < claimed ? file[20 + at] : 0));
        }
        if (n < image.blockCount()) checkBlockFrame(image, file, n);
    }
}

// ---- The script -------------------------------------------------------------------------------

struct Options {
    std::uint32_t imageSize = 0;
    bool factoryReset = false;
    bool lock = false;
    int restoreBaud = 0;
    std::array<std::size_t, 3> certFiles{};  // CA, client certificate, client key sizes
};

Options options(std::uint8_t b) {
    static constexpr std::array<std::uint32_t, 8> kSizes{0, 1, 100, 1023, 1024, 1025, 2048, 2500};
    // Blobs of 5, 512, 1004 and 1104 bytes: one, one, two and three chunks.
    static constexpr std::array<std::array<std::size_t, 3>, 4> kCerts{
        {{1, 0, 0}, {508, 0, 0}, {1000, 0, 0}, {600, 300, 200}}};
    Options o;
    o.imageSize = kSizes[b & 7];
    o.factoryReset = b & 0x08;
    o.lock = b & 0x10;
    o.restoreBaud = b & 0x20 ? 115200 : 0;
    o.certFiles = kCerts[b >> 6];
    return o;
}

const dtu::LockPassword kPassword{'k', 'e', 'y', '-', '1', '2', '3', '4'};
constexpr std::uint8_t kAbort = 0xFF;          // the window closes, the line still usable
constexpr std::uint8_t kAbortLineLost = 0xFE;  // the port failed
constexpr std::uint8_t kRestart = 0xFD;        // the user presses start again
const std::string kAbortText = "stopped";

// One control byte each: below 0x80 a burst of that many bytes follows; the three codes above
// are user actions; anything else fires the running timer it picks.
template <typename Run>
void play(Run& run, View script) {
    while (!script.empty()) {
        const std::uint8_t control = script[0];
        script = script.subspan(1);
        if (control < 0x80) {
            const std::size_t n = std::min<std::size_t>(control, script.size());
            run.burst(script.first(n));
            script = script.subspan(n);
        } else if (control == kAbort || control == kAbortLineLost) {
            run.abort(control == kAbort);
        } else if (control == kRestart) {
            run.restart();
        } else {
            run.timer(control & 0x7F);
        }
        run.settled();
    }
    // With nothing more from the device the timers alone must bring every transfer to its end.
    for (int round = 0; round < 16 && run.busy(); ++round) {
        run.timer(round);
        run.settled();
    }
    check(!run.busy());
}

enum class Event { Start, Burst, Timer, Abort };

template <typename Timer>
struct Timers {
    std::map<Timer, int> running;

    bool has(Timer t) const { return running.count(t) != 0; }
    // The running timer a selector picks, if any.
    bool pick(unsigned selector, Timer& out) const {
        if (running.empty()) return false;
        auto it = running.begin();
        std::advance(it, selector % running.size());
        out = it->first;
        return true;
    }
};

// ---- Firmware upgrade -------------------------------------------------------------------------

dtu::FirmwareImage smallImage(const Options& o) {
    Bytes file(20, 0x5A);
    file[15] = static_cast<std::uint8_t>(0x20 + (o.imageSize & 0x0F));
    for (int i = 0; i < 4; ++i)
        file[16 + i] = static_cast<std::uint8_t>(o.imageSize >> (24 - 8 * i));
    for (std::uint32_t i = 0; i < o.imageSize; ++i)
        file.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    auto parse = dtu::parseFirmwareImage(file);
    check(parse.image.has_value());
    return *parse.image;
}

// A firmware answer naming this step: the command, the step byte and the tail.
bool firmwareAnswer(View b, std::uint8_t step) {
    return b.size() >= 8 && framed(b, 0x87) && b[5] == step;
}

class FirmwareRun : public dtu::FirmwareEffects {
public:
    explicit FirmwareRun(const Options& o) : m_options(o), m_image(smallImage(o)) {
        m_opts.factoryReset = o.factoryReset;
        if (o.lock) m_opts.lock = kPassword;
        m_opts.restoreBaud = o.restoreBaud;
        m_line = o.restoreBaud > 0 ? o.restoreBaud : 9600;
        const dtu::Lock& lock = m_opts.lock;
        m_frames.push_back(dtu::firmwareStartFrame(m_image.imageType, o.factoryReset, lock));
        m_frames.push_back(dtu::firmwareSizeFrame(m_image.imageSize(), lock));
        for (std::uint32_t n = 0; n < m_image.blockCount(); ++n)
            m_frames.push_back(dtu::firmwareBlockFrame(m_image, n, lock));
        begin();
    }

    bool busy() const { return m_flow.running(); }

    void burst(View b) {
        m_event = Event::Burst;
        m_burst = b;
        if (m_sent == 0 && firmwareAnswer(b, dtu::FW_START)) m_startAccepted = true;
        m_flow.onBurst(b);
    }

    void timer(unsigned selector) {
        if (!m_timers.pick(selector, m_firing)) return;
        m_event = Event::Timer;
        m_flow.onTimer(m_firing);
    }

    void abort(bool lineUsable) {
        m_event = Event::Abort;
        m_lineUsable = lineUsable;
        m_flow.abort(kAbortText, lineUsable);
    }

    void restart() {
        if (!m_flow.running()) return begin();
        // Refused, and nothing at all happens.
        m_quiet = true;
        check(!m_flow.start(m_image, m_opts));
        m_quiet = false;
    }

    void settled() {
        if (!m_flow.running()) {
            check(m_finished == 1 && m_timers.running.empty());
            return;
        }
        check(m_finished == 0);
        check(m_flow.retryCount() <= dtu::kFirmwareMaxRepeats);
        check(m_flow.blockIndex() <= m_flow.blockCount());
        // Never left waiting for nothing.
        if (m_flow.state() == dtu::FirmwareUpgrade::State::Switching)
            check(m_timers.has(dtu::FirmwareTimer::SwitchPause));
        else
            check(m_timers.has(dtu::FirmwareTimer::Answer));
    }

    // The effects.
    void writeBytes(std::span<const std::uint8_t> bytes) override {
        check(live());
        const Bytes frame(bytes.begin(), bytes.end());
        if (m_sent >= 0 && frame == m_frames[m_sent]) {
            // A repetition: only when the answer timer fires, and only so many times.
            check(m_event == Event::Timer && m_firing == dtu::FirmwareTimer::Answer);
            check(++m_repeats <= dtu::kFirmwareMaxRepeats);
        } else {
            const std::size_t next = static_cast<std::size_t>(m_sent + 1);
            check(next < m_frames.size() && frame == m_frames[next] && mayAdvanceTo(next));
            m_sent = static_cast<int>(next);
            m_repeats = 0;
        }
        // Past the start request the device listens at the transfer rate only.
        if (m_sent > 0) check(m_switched && m_line == dtu::kFirmwareLineBaud);
    }

    void startTimer(dtu::FirmwareTimer timer, int ms) override {
        check(live() && ms > 0);
        m_timers.running[timer] = ms;
    }

    void stopTimer(dtu::FirmwareTimer timer) override { m_timers.running.erase(timer); }

    void useTransferLine() override {
        // Only once, when the device accepted the upgrade.
        check(live() && !m_switched);
        check(m_event == Event::Burst && m_sent == 0 && firmwareAnswer(m_burst, dtu::FW_START));
        m_switched = true;
        m_line = dtu::kFirmwareLineBaud;
    }

    void restoreLine(int baud) override {
        // Back to the line's own rate, and only as the upgrade ends.
        check(live() && baud == m_options.restoreBaud && m_switched && !m_flow.running());
        m_line = baud;
    }

    void progress(std::uint32_t done, std::uint32_t total) override {
        check(live() && total == m_image.blockCount() && done <= total && done >= m_done);
        m_done = done;
    }

    void statusText(const std::string&) override { check(live()); }

    void finished(const dtu::FirmwareResult& r) override {
        check(++m_finished == 1 && !m_quiet);
        check(m_timers.running.empty());
        check(r.ok == (r.text == dtu::firmwareText::kSucceeded.chinese));
        check(r.factoryResetAsked == m_options.factoryReset);
        check(!r.factoryResetDone || (r.ok && r.factoryResetAsked));
        if (m_event == Event::Abort) check(!r.ok && r.text == kAbortText);
        if (r.ok) {
            // Every block out, the last one answered as the last.
            check(m_event == Event::Burst && firmwareAnswer(m_burst, dtu::FW_LAST_BLOCK));
            check(m_sent + 1 == static_cast<int>(m_frames.size()));
            if (r.factoryResetAsked)
                check(r.factoryResetDone == (m_burst.size() > 12 && m_burst[10] == 0xFA));
        }
        // However it ends, the line is back at its own rate unless it was lost or has none.
        const bool lineLost = m_event == Event::Abort && !m_lineUsable;
        if (m_switched)
            check(m_line == (lineLost || m_options.restoreBaud == 0 ? dtu::kFirmwareLineBaud
                                                                    : m_options.restoreBaud));
    }

private:
    bool live() const { return m_finished == 0 && !m_quiet; }

    void begin() {
        m_sent = -1;
        m_repeats = 0;
        m_done = 0;
        m_finished = 0;
        m_switched = false;
        m_startAccepted = false;
        m_event = Event::Start;
        check(m_flow.start(m_image, m_opts));
        check(m_sent == 0);
    }

    // The frame after the one outstanding goes out only for the answer that accepts it.
    bool mayAdvanceTo(std::size_t next) const {
        if (next == 0) return m_event == Event::Start;
        if (next == 1)
            return m_event == Event::Timer && m_firing == dtu::FirmwareTimer::SwitchPause &&
                   m_startAccepted;
        if (m_event != Event::Burst) return false;
        if (next == 2) return firmwareAnswer(m_burst, dtu::FW_SIZE);
        return firmwareAnswer(m_burst, dtu::FW_BLOCK) && m_burst.size() >= 12 &&
               be16(m_burst, 8) == next - 2;
    }

    Options m_options;
    dtu::FirmwareImage m_image;
    dtu::FirmwareUpgrade::Options m_opts;
    std::vector<Bytes> m_frames;  // start, size, every block
    dtu::FirmwareUpgrade m_flow{*this};
    Timers<dtu::FirmwareTimer> m_timers;
    int m_line = 0;

    Event m_event = Event::Start;
    View m_burst;
    dtu::FirmwareTimer m_firing = dtu::FirmwareTimer::Answer;
    bool m_lineUsable = true;
    bool m_quiet = false;

    int m_sent = -1;  // the last frame written, by its place in m_frames
    int m_repeats = 0;
    std::uint32_t m_done = 0;
    int m_finished = 0;
    bool m_switched = false;
    bool m_startAccepted = false;
};

// ---- Certificate transfer ---------------------------------------------------------------------

Bytes certBlob(const Options& o) {
    std::array<Bytes, 3> files;
    for (std::size_t f = 0; f < 3; ++f)
        for (std::size_t i = 0; i < o.certFiles[f]; ++i)
            files[f].push_back(static_cast<std::uint8_t>('A' + (i + 5 * f) % 26));
    auto view = [&](std::size_t f) {
        return files[f].empty() ? std::nullopt : std::optional<View>(files[f]);
    };
    dtu::CertBlob blob = dtu::buildCertBlob(view(0), view(1), view(2));
    check(blob.error == dtu::CertBlobError::None);
    return blob.bytes;
}

// The device taking a chunk: answer 84 whose payload begins BB 00.
bool chunkAck(View b) {
    return b.size() >= 9 && framed(b, 0x84) && b[5] == 0xBB && b[6] == 0x00;
}

bool isChunk(View w, const Bytes& blob, std::size_t k, std::size_t count) {
    const std::size_t at = k * 512;
    const Bytes head{0x88,
                     0x3A,
                     static_cast<std::uint8_t>(k + 1 == count ? 0x04 : 0x84),
                     0x02,
                     0x05,
                     0xBB,
                     0x02,
                     0x02,
                     static_cast<std::uint8_t>(at >> 8),
                     static_cast<std::uint8_t>(at)};
    if (w.size() != 524 || !std::equal(head.begin(), head.end(), w.begin())) return false;
    for (std::size_t i = 0; i < 512; ++i)
        if (w[10 + i] != (at + i < blob.size() ? blob[at + i] : 0)) return false;
    return w[522] == 0x45 && w[523] == 0x2E;
}

class CertRun : public dtu::CertEffects {
public:
    enum class Kind { Save, Read };

    CertRun(const Options& o, Kind first) : m_blob(certBlob(o)) {
        m_chunks = (m_blob.size() + 511) / 512;
        m_link.setPortOpen(true, 9600);
        begin(first);
    }

    bool busy() const { return m_flow.busy(); }

    void burst(View b) {
        m_event = Event::Burst;
        if (m_kind == Kind::Save && m_written > 0 && chunkAck(b)) m_ackSinceWrite = true;
        if (m_kind == Kind::Read && framed(b, 0x83)) m_readAnswerSeen = true;
        // The answers reach the transfer only through the link's answer handling.
        m_link.onBurst(b);
    }

    void timer(unsigned selector) {
        if (!m_timers.pick(selector, m_firing)) return;
        m_event = Event::Timer;
        m_flow.onTimer(m_firing);
    }

    void abort(bool) {
        m_event = Event::Abort;
        m_flow.abort(kAbortText);
    }

    void restart() {
        if (!m_flow.busy()) return begin(m_kind == Kind::Save ? Kind::Read : Kind::Save);
        m_quiet = true;
        check(!m_flow.save(m_blob) && !m_flow.readChecksums());
        m_quiet = false;
    }

    void settled() {
        using dtu::CertTimer;
        if (!m_flow.busy()) {
            check(m_finished == 1 && m_timers.running.empty());
            return;
        }
        check(m_finished == 0);
        if (m_kind == Kind::Save) {
            check(m_flow.state() == dtu::CertTransfer::State::Saving);
            check(m_timers.has(CertTimer::Tick) && m_flow.sendOffset() <= m_chunks * 512);
            // A chunk the device has not taken always has its time-out running.
            if (m_written > 0 && !m_ackSinceWrite) check(m_timers.has(CertTimer::AckTimeout));
        } else {
            check(m_flow.state() == dtu::CertTransfer::State::ReadingChecksums);
            check(m_timers.has(CertTimer::ChecksumPoll) &&
                  m_timers.has(CertTimer::ChecksumTimeout));
        }
    }

    // The effects.
    void writeBytes(std::span<const std::uint8_t> bytes) override {
        check(live());
        if (m_kind == Kind::Read) {
            // One request for the checksum item, nothing else.
            static constexpr std::array<std::uint8_t, 8> kRequest{0x88, 0x3A, 0x03, 0x00,
                                                                  0x01, 0xBA, 0x45, 0x2E};
            check(m_event == Event::Start && m_written == 0 &&
                  std::equal(bytes.begin(), bytes.end(), kRequest.begin(), kRequest.end()));
        } else {
            // The next chunk, on a tick, and after the previous one was taken.
            check(m_event == Event::Timer && m_firing == dtu::CertTimer::Tick);
            check(m_written < m_chunks && isChunk(bytes, m_blob, m_written, m_chunks));
            check(m_written == 0 || m_ackSinceWrite);
            m_ackSinceWrite = false;
        }
        ++m_written;
    }

    void startTimer(dtu::CertTimer timer, int ms) override {
        check(live() && ms > 0);
        m_timers.running[timer] = ms;
    }

    void stopTimer(dtu::CertTimer timer) override { m_timers.running.erase(timer); }

    void progress(std::uint32_t done, std::uint32_t total) override {
        check(live() && m_kind == Kind::Save && total == m_chunks && done <= total);
    }

    void statusText(const std::string&) override { check(live()); }

    void finished(const dtu::CertResult& r) override {
        using dtu::CertTimer;
        check(++m_finished == 1 && !m_quiet && m_timers.running.empty());
        check(r.checksumRead == (m_kind == Kind::Read));
        if (m_event == Event::Abort) check(!r.ok && r.text == kAbortText);
        if (m_kind == Kind::Save) {
            check(r.ok == (r.text == dtu::certText::kSaved.chinese));
            // Saved only once the device took every chunk, the last one included.
            if (r.ok) check(m_written == m_chunks && m_ackSinceWrite);
            if (!r.ok && m_event != Event::Abort)
                check(m_event == Event::Timer && m_firing == CertTimer::AckTimeout &&
                      r.text == dtu::certText::kSaveTimedOut.chinese);
            return;
        }
        check(r.ok == (r.text == dtu::certText::kReadOk.chinese));
        if (r.ok) {
            // The checksums came from an answer to this read and are the ones stored.
            check(m_readAnswerSeen && r.checksums[0] != 0);
            for (std::uint32_t i = 0; i < 3; ++i)
                check(r.checksums[i] == m_params.get(dtu::fields::certChecksums[i]));
        } else if (m_event != Event::Abort) {
            check(m_event == Event::Timer && m_firing == CertTimer::ChecksumTimeout &&
                  r.text == dtu::certText::kReadTimedOut.chinese);
        }
    }

private:
    bool live() const { return m_finished == 0 && !m_quiet; }

    void begin(Kind kind) {
        m_kind = kind;
        m_written = 0;
        m_finished = 0;
        m_ackSinceWrite = false;
        m_readAnswerSeen = false;
        m_event = Event::Start;
        if (kind == Kind::Save) {
            check(m_flow.save(m_blob) && m_written == 0);
        } else {
            check(m_flow.readChecksums() && m_written == 1);
        }
    }

    Bytes m_blob;
    std::size_t m_chunks = 0;
    QuietLink m_quietLink;
    dtu::DeviceParams m_params;
    dtu::LiveState m_live;
    dtu::CommandFlow m_link{m_quietLink, m_params, m_live};
    dtu::CertTransfer m_flow{*this, m_params};
    Timers<dtu::CertTimer> m_timers;

    Kind m_kind = Kind::Save;
    Event m_event = Event::Start;
    dtu::CertTimer m_firing = dtu::CertTimer::Tick;
    bool m_quiet = false;
    std::size_t m_written = 0;
    int m_finished = 0;
    bool m_ackSinceWrite = false;
    bool m_readAnswerSeen = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const View input(data, size);
    checkFile(input);
    if (input.empty()) return 0;

    const Options o = options(input[0]);
    const View script = input.subspan(1);
    {
        FirmwareRun run(o);
        play(run, script);
    }
    for (const auto first : {CertRun::Kind::Save, CertRun::Kind::Read}) {
        CertRun run(o, first);
        play(run, script);
    }
    return 0;
}
