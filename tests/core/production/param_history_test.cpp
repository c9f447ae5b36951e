#include "production/param_history.h"

#include <gtest/gtest.h>

#include "files/param_file.h"

namespace dtu {
namespace {

// An entry goes to its columns and back whole; texts never reported are NULL columns.
TEST(ParamHistoryEntry, ColumnsRoundTrip) {
    HistoryEntry e;
    e.time = "2026-03-04T05:06:07.089Z";
    e.station = "line-3";
    e.imei = "861234050123457";
    e.kind = HistoryKind::Restore;
    e.result = "differs";
    e.paramsSha256 = std::string(64, 'a');
    const auto cells = historyCells(e);
    EXPECT_FALSE(cells[2].value);  // port
    std::string error;
    const auto back = historyEntryFromCells(cells, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(historyCells(*back)[7].value, "restore");
    EXPECT_EQ(back->imei, e.imei);
    EXPECT_EQ(back->paramsSha256, e.paramsSha256);

    auto badKind = cells;
    badKind[7].value = "flash";
    EXPECT_FALSE(historyEntryFromCells(badKind, error));
}

// What is kept is what an export writes, except a locked configuration, of which nothing is.
TEST(ParamHistoryRecord, KeepsWhatAnExportWrites) {
    DeviceParams p;
    p.set(fields::serverAPort, 6000);
    const auto kept = historyRecord(p);
    ASSERT_TRUE(kept);
    const auto image = paramsImage(p);
    EXPECT_TRUE(std::equal(kept->begin(), kept->end(), image.begin(), image.end()));
    const auto back = paramsFromHistoryRecord(*kept);
    ASSERT_TRUE(back);
    EXPECT_TRUE(historyChanges(p, *back).empty());
    EXPECT_FALSE(paramsFromHistoryRecord(std::span(*kept).first(100)));

    DeviceParams changed = p;
    changed.set(fields::serverAPort, 7001);
    const auto changes = historyChanges(p, changed);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].field->name, "serverAPort");
    EXPECT_TRUE(historyChanges(std::nullopt, changed).empty());

    p.set(fields::configLockFlag, kConfigLocked);
    EXPECT_FALSE(historyRecord(p));
}

}  // namespace
}  // namespace dtu
