#include "production/history.h"

#include <algorithm>
#include <cstdio>

namespace dtu {

namespace {

std::string identity(const LabelRequest& r) {
    char mac[24];
    std::snprintf(mac, sizeof mac, "mac:%02x%02x%02x%02x%02x%02x", r.mac[0], r.mac[1], r.mac[2],
                  r.mac[3], r.mac[4], r.mac[5]);
    return mac + (" model:" + r.model) + " imei:" + r.imei + " version " + r.version;
}

}  // namespace

std::string historyKey(const LabelRequest& request) {
    return identity(request) + " ";
}

std::string historyLine(const LabelRequest& request, int sequence, const LocalDateTime& now) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", sequence);
    return number + ("   " + identity(request)) + "  time:" + dateText(now) + " " + timeText(now) +
           "\r\n";
}

void HistoryScan::feed(std::span<const std::uint8_t> bytes) {
    std::string_view rest(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        const std::string_view part = rest.substr(0, lf);
        if (!m_duplicate && !m_key.empty()) {
            // Only the last key-length-minus-one bytes of a line can start a match that a
            // later piece completes.
            m_tail.append(part);
            if (m_tail.find(m_key) != std::string::npos) m_duplicate = true;
            if (m_tail.size() >= m_key.size()) m_tail.erase(0, m_tail.size() - m_key.size() + 1);
        }
        if (lf == std::string_view::npos) {
            m_midLine = true;
            return;
        }
        ++m_lines;
        m_midLine = false;
        m_tail.clear();
        rest.remove_prefix(lf + 1);
    }
}

std::optional<std::string> historyAppend(const HistoryScan& scan, const LabelRequest& request,
                                         const LocalDateTime& now) {
    if (scan.duplicate()) return std::nullopt;
    const std::string line = historyLine(request, scan.lines() + 1, now);
    return scan.endsMidLine() ? "\r\n" + line : line;
}

}  // namespace dtu
