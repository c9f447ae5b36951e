#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/field_value.h"

namespace dtu {

// The plan of a provisioning batch, a CSV file (RFC 4180, UTF-8): a header row, then one row
// per device. One column names the device: `port` (the serial port it is on) or `imei` (the
// IMEI it reports; the ports to look on are given apart). Every other column is a field of the
// parameter set by its record name, and a cell its value for that device, written as `set`
// takes it; an empty cell leaves the field as the batch's base has it.
//
// The plan is read whole before any device is touched. A fault in its shape refuses it whole;
// a value a field cannot take fails only its row, which then names the column.

enum class PlanKey { Port, Imei };

struct PlanRow {
    std::size_t line = 0;                 // where the row starts in the file
    std::string key;                      // the port, or the IMEI
    std::vector<FieldAssignment> values;  // in column order, empty cells left out
    std::string error;                    // set when a value cannot be taken: the row fails alone
};

struct BatchPlan {
    PlanKey key = PlanKey::Port;
    std::vector<PlanRow> rows;
};

struct BatchPlanRead {
    std::optional<BatchPlan> plan;  // set when the plan was taken
    std::string error;              // why not, with the line (and the column) at fault
};

// More than a production day's plan; a larger file is not one.
inline constexpr std::size_t kMaxPlanBytes = 8 * 1024 * 1024;
inline constexpr std::size_t kMaxPlanRows = 10000;

BatchPlanRead readBatchPlan(std::string_view csv);

// An IMEI as devices report it: exactly 15 digits.
bool isImeiText(std::string_view text);

}  // namespace dtu
