#include "production/print_job.h"

#include <algorithm>

#include "production/label.h"
#include "production/registration.h"

namespace dtu {

namespace {

bool equals(std::span<const std::uint8_t> bytes, std::string_view text) {
    return bytes.size() == text.size() &&
           std::equal(bytes.begin(), bytes.end(), text.begin(),
                      [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
}

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
    return bytes.size() >= text.size() && equals(bytes.first(text.size()), text);
}

}  // namespace

DatagramKind classifyDatagram(std::span<const std::uint8_t> bytes) {
    if (equals(bytes, kProbeRequest)) return DatagramKind::Probe;
    if (equals(bytes, printerSetup())) return DatagramKind::Setup;
    if (startsWith(bytes, "DOWNLOAD ")) return DatagramKind::Download;
    return DatagramKind::Label;
}

std::vector<PrintJob> JobAssembler::onDatagram(const std::string& sender,
                                               std::span<const std::uint8_t> bytes,
                                               std::int64_t nowMs) {
    std::vector<PrintJob> done;
    const DatagramKind kind = classifyDatagram(bytes);
    auto it = std::find_if(m_open.begin(), m_open.end(),
                           [&](const Open& o) { return o.job.sender == sender; });
    // A new set-up begins the next print: whatever the sender had open is complete.
    if (it != m_open.end() && kind == DatagramKind::Setup) {
        done.push_back(std::move(it->job));
        m_open.erase(it);
        it = m_open.end();
    }
    if (it == m_open.end()) {
        if (m_open.size() == kOpenJobLimit) {
            done.push_back(std::move(m_open.front().job));
            m_open.erase(m_open.begin());
        }
        m_open.push_back({PrintJob{sender, {}, 0, false}, nowMs});
        it = m_open.end() - 1;
    }
    it->job.bytes.append(bytes.begin(), bytes.end());
    ++it->job.datagrams;
    it->lastMs = nowMs;
    it->job.labelSeen = kind == DatagramKind::Label;
    if (it->job.labelSeen || it->job.bytes.size() >= kJobByteLimit) {
        done.push_back(std::move(it->job));
        m_open.erase(it);
    }
    return done;
}

std::vector<PrintJob> JobAssembler::onTime(std::int64_t nowMs) {
    std::vector<PrintJob> done;
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (nowMs - it->lastMs >= kJobQuietMs) {
            done.push_back(std::move(it->job));
            it = m_open.erase(it);
        } else {
            ++it;
        }
    }
    return done;
}

std::optional<std::int64_t> JobAssembler::nextDeadline() const {
    std::optional<std::int64_t> next;
    for (const Open& o : m_open)
        if (!next || o.lastMs + kJobQuietMs < *next) next = o.lastMs + kJobQuietMs;
    return next;
}

std::vector<PrintJob> JobAssembler::flush() {
    std::vector<PrintJob> done;
    for (Open& o : m_open) done.push_back(std::move(o.job));
    m_open.clear();
    return done;
}

}  // namespace dtu
