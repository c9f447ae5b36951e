#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "production/label.h"
#include "status/factory_record.h"

namespace dtu {

// The history file holds one line per labelled device and model, CR LF ended:
// "0001   mac:<12 hex digits> model:<model> imei:<imei> version <version>  time:<date> <time>".

// The part of a history line that identifies the device and its label, ending in one blank so
// that it matches only whole values in the middle of a line.
std::string historyKey(const LabelRequest& request);

std::string historyLine(const LabelRequest& request, int sequence, const LocalDateTime& now);

// Reads the history file as it comes (in pieces of any size): counts its lines and looks for
// a device's key. A last line without its LF counts as a line.
class HistoryScan {
public:
    explicit HistoryScan(std::string key) : m_key(std::move(key)) {}

    void feed(std::span<const std::uint8_t> bytes);

    int lines() const { return m_lines + (m_midLine ? 1 : 0); }
    bool duplicate() const { return m_duplicate; }
    // The file does not end with a LF, so an appended line must start a line of its own.
    bool endsMidLine() const { return m_midLine; }

private:
    std::string m_key;
    std::string m_tail;  // the end of the line so far, to find a key split over pieces
    int m_lines = 0;
    bool m_midLine = false;
    bool m_duplicate = false;
};

// The text to append to the scanned file for this print, or nullopt when the device and model
// are already in it. The sequence number is the count of lines plus 1.
std::optional<std::string> historyAppend(const HistoryScan& scan, const LabelRequest& request,
                                         const LocalDateTime& now);

}  // namespace dtu
