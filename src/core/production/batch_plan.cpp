#include "production/batch_plan.h"

#include <algorithm>
#include <set>

#include "text/csv.h"

namespace dtu {

namespace {

constexpr std::string_view kPortColumn = "port";
constexpr std::string_view kImeiColumn = "imei";

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string at(std::size_t line, std::size_t column = 0, std::string_view name = {}) {
    std::string s = "line " + std::to_string(line);
    if (column > 0) s += ", column " + std::to_string(column);
    if (!name.empty()) s += " (" + std::string(name) + ")";
    return s + ": ";
}

}  // namespace

bool isImeiText(std::string_view text) {
    return text.size() == 15 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

BatchPlanRead readBatchPlan(std::string_view text) {
    BatchPlanRead out;
    if (text.size() > kMaxPlanBytes) {
        out.error = "the plan is larger than " + std::to_string(kMaxPlanBytes) + " bytes";
        return out;
    }
    CsvReader reader(withoutBom(text));
    std::vector<CsvCell> cells;
    CsvQuoteError quotes;
    auto next = [&] {
        if (reader.next(cells, quotes)) return true;
        out.error = at(quotes.line, quotes.column) + "unbalanced quotes";
        return false;
    };

    // The header: the first line that is not empty.
    do {
        if (reader.atEnd()) {
            out.error = "no header row";
            return out;
        }
        if (!next()) return out;
    } while (isEmptyCsvRecord(cells));

    BatchPlan plan;
    std::optional<std::size_t> keyColumn;
    std::vector<std::string> headers;
    std::vector<const FieldInfo*> fields;  // nullptr for the key column
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const std::string name(trimBlanks(cells[c].text));
        const std::size_t line = cells[c].line;
        if (std::find(headers.begin(), headers.end(), name) != headers.end()) {
            out.error = at(line, c + 1, name) + "this column appears twice";
            return out;
        }
        headers.push_back(name);
        if (name == kPortColumn || name == kImeiColumn) {
            if (keyColumn) {
                out.error =
                    at(line, c + 1, name) + "give either a port or an imei column, not both";
                return out;
            }
            keyColumn = c;
            plan.key = name == kPortColumn ? PlanKey::Port : PlanKey::Imei;
            fields.push_back(nullptr);
            continue;
        }
        const FieldInfo* field = findField(name);
        if (!field || field->reserved) {
            out.error = at(line, c + 1, name) +
                        "not a field of the parameter set (dtuconf show lists them)";
            return out;
        }
        fields.push_back(field);
    }
    if (!keyColumn) {
        out.error = at(cells.front().line) + "the header has neither a port nor an imei column";
        return out;
    }

    std::set<std::string> keys;
    while (!reader.atEnd()) {
        if (!next()) return out;
        if (isEmptyCsvRecord(cells)) continue;
        const std::size_t line = cells.front().line;
        if (plan.rows.size() == kMaxPlanRows) {
            out.error = at(line) + "more than " + std::to_string(kMaxPlanRows) + " rows";
            return out;
        }
        if (cells.size() != headers.size()) {
            out.error = at(line) + "the row has " + std::to_string(cells.size()) +
                        " cells, the header " + std::to_string(headers.size());
            return out;
        }
        PlanRow row;
        row.line = line;
        row.key = std::string(trimBlanks(cells[*keyColumn].text));
        const std::string& keyName = headers[*keyColumn];
        if (row.key.empty()) {
            out.error = at(line, *keyColumn + 1, keyName) + "empty";
            return out;
        }
        if (plan.key == PlanKey::Imei && !isImeiText(row.key)) {
            out.error = at(line, *keyColumn + 1, keyName) + "'" + row.key +
                        "' is not an IMEI of 15 digits (a spreadsheet may have written it as a "
                        "number)";
            return out;
        }
        if (!keys.insert(row.key).second) {
            out.error = at(line, *keyColumn + 1, keyName) + "'" + row.key + "' has a row already";
            return out;
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (!fields[c] || cells[c].text.empty()) continue;
            row.values.push_back({fields[c], fieldValueFromText(*fields[c], cells[c].text)});
        }
        if (std::string why = refuseAssignments(row.values); !why.empty())
            row.error = "column " + why;
        plan.rows.push_back(std::move(row));
    }
    if (plan.rows.empty()) {
        out.error = "the plan has no rows";
        return out;
    }
    out.plan = std::move(plan);
    return out;
}

}  // namespace dtu
