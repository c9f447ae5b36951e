#include "batch_progress.h"

#include <algorithm>
#include <iostream>

#include "common.h"
#include "production/record_text.h"

namespace dtu::cli {

namespace {

std::string shown(const QString& s) {
    return escapeControls(s.toStdString());
}

// Columns a terminal gives a character (CJK takes two).
int displayWidth(char32_t c) {
    return (c >= 0x1100 &&
            (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
             (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
             (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6)))
               ? 2
               : 1;
}

// The text cut to fit the columns, so that no line wraps and the redraw stays in place.
std::string fitColumns(const std::string& text, int columns) {
    const QString s = QString::fromStdString(text);
    QString out;
    int used = 0;
    for (const char32_t c : s.toUcs4()) {
        const int w = displayWidth(c);
        if (used + w > columns) break;
        used += w;
        out += QString::fromUcs4(&c, 1);
    }
    return out.toStdString();
}

std::string padded(const std::string& s, std::size_t width) {
    const std::size_t length = static_cast<std::size_t>(QString::fromStdString(s).size());
    return s + std::string(length < width ? width - length : 0, ' ') + "  ";
}

// The port and the IMEI, as far as they are known.
std::string who(const BatchEntry& e) {
    std::string s = shown(e.port);
    if (!e.imei.isEmpty()) s += (s.empty() ? "" : " ") + shown(e.imei);
    return s;
}

// Share done of a transfer, and the bytes the line carries in this step.
std::string rate(const BatchEntry& e) {
    std::string s;
    if (e.total > 0) s = std::to_string(100u * std::min(e.done, e.total) / e.total) + "% ";
    if (!e.device || !e.stepClock.isValid()) return s;
    const double seconds = double(e.stepClock.nsecsElapsed()) / 1e9;
    const quint64 bytes = e.device->lineBytes() - std::min(e.stepBytes, e.device->lineBytes());
    if (seconds > 0.05)
        s += std::to_string(static_cast<long long>(double(bytes) / seconds)) + " B/s";
    return s;
}

}  // namespace

std::string resultText(const BatchEntry& e, bool stopped) {
    const std::string at = std::string(provisionStepName(e.failedStep)) + ": " + shown(e.reason);
    switch (e.result) {
        case ProvisionResult::Running:
            return stopped && e.device && !e.device->started() ? "not started" : std::string();
        case ProvisionResult::Succeeded:
            return "ok";
        case ProvisionResult::Skipped:
            return "skipped: " + shown(e.reason);
        case ProvisionResult::Failed:
            return "failed at " + at;
        case ProvisionResult::Interrupted:
            return "interrupted at " + at;
    }
    return {};
}

BatchProgress::BatchProgress(const std::vector<std::unique_ptr<BatchEntry>>& entries)
    : m_entries(entries), m_terminal(stdoutIsTerminal()) {}

void BatchProgress::stepped(const BatchEntry& e) {
    if (m_terminal) return;
    std::cout << who(e) << ": " << provisionStepName(e.step) << "\n" << std::flush;
}

void BatchProgress::ended(const BatchEntry& e) {
    if (m_terminal) return;
    std::cout << who(e) << ": " << resultText(e, m_stopped) << "\n" << std::flush;
}

void BatchProgress::note(const std::string& text) {
    std::cout << std::flush;
    std::cerr << "dtuconf: " << text << "\n" << std::flush;
    m_drawn = 0;
}

void BatchProgress::draw() {
    if (!m_terminal) return;
    std::size_t portWidth = 4;
    for (const auto& e : m_entries)
        portWidth = std::max(
            portWidth, static_cast<std::size_t>(QString::fromStdString(shown(e->port)).size()));
    const int columns = std::max(20, terminalColumns() - 1);
    std::string frame;
    if (m_drawn > 0) frame += "\x1b[" + std::to_string(m_drawn) + "A";
    auto line = [&](const std::string& text) {
        frame += "\r\x1b[2K" + fitColumns(text, columns) + "\n";
    };
    line(padded("PORT", portWidth) + padded("IMEI", 15) + padded("STEP", 8) +
         padded("PROGRESS", 16) + "RESULT");
    for (const auto& e : m_entries) {
        const bool stoppedIn =
            e->result == ProvisionResult::Failed || e->result == ProvisionResult::Interrupted;
        const std::string step =
            e->over
                ? std::string(provisionStepName(stoppedIn ? e->failedStep : ProvisionStep::Done))
                : std::string(provisionStepName(e->step));
        line(padded(shown(e->port), portWidth) + padded(shown(e->imei), 15) + padded(step, 8) +
             padded(e->over ? std::string() : rate(*e), 16) + resultText(*e, m_stopped));
    }
    m_drawn = static_cast<int>(m_entries.size()) + 1;
    std::cout << frame << std::flush;
}

}  // namespace dtu::cli
