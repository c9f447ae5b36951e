#include "production/batch_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace dtu {
namespace {

namespace f = fields;

// The values of a row applied to an empty record.
DeviceParams applied(const PlanRow& row) {
    DeviceParams p;
    for (const auto& a : row.values) EXPECT_EQ(setFieldValue(p, *a.field, a.value), "");
    return p;
}

TEST(BatchPlan, ReadsPortRowsWithValuesByTheFieldsKind) {
    const auto read = readBatchPlan(
        "\xEF\xBB\xBFport,serverAHost,serverAPort,heartbeatData,apnName\r\n"
        "/dev/ttyUSB0,6000,6000,0102,\"\"\"quoted\"\"\"\r\n"
        "\r\n"
        "/dev/ttyUSB1,\"a,b\",7001,,\r\n");
    ASSERT_TRUE(read.plan) << read.error;
    const BatchPlan& plan = *read.plan;
    EXPECT_EQ(plan.key, PlanKey::Port);
    ASSERT_EQ(plan.rows.size(), 2u);

    const PlanRow& first = plan.rows[0];
    EXPECT_EQ(first.key, "/dev/ttyUSB0");
    EXPECT_EQ(first.line, 2u);
    EXPECT_EQ(first.error, "");
    const DeviceParams p = applied(first);
    // Digits are a number for a number and text for a text, hex bytes for byte data.
    EXPECT_EQ(p.textView(f::serverAHost), "6000");
    EXPECT_EQ(p.get(f::serverAPort), 6000);
    EXPECT_EQ(p.bytes(f::heartbeatData)[0], 0x01);
    EXPECT_EQ(p.bytes(f::heartbeatData)[1], 0x02);
    // A JSON string is taken as JSON: the quotes are not part of the text.
    EXPECT_EQ(p.textView(f::apnName), "quoted");

    // Empty cells leave their fields to the base.
    const PlanRow& second = plan.rows[1];
    EXPECT_EQ(second.line, 4u);
    ASSERT_EQ(second.values.size(), 2u);
    EXPECT_EQ(applied(second).textView(f::serverAHost), "a,b");
}

TEST(BatchPlan, ABadValueFailsOnlyItsRowAndNamesTheColumn) {
    const auto read = readBatchPlan(
        "port,serverAPort,serverAHost\n"
        "/dev/a,70000,ok.example\n"
        "/dev/b,7000,\n"
        "/dev/c,7000," +
        std::string(64, 'h') + "\n");
    ASSERT_TRUE(read.plan) << read.error;
    const auto& rows = read.plan->rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].error, "column serverAPort: out of range 0..65535: 70000");
    EXPECT_EQ(rows[1].error, "");
    // A text the device could not give back counts as a bad value too.
    EXPECT_EQ(
        rows[2].error.rfind("column serverAHost: 64 bytes; the device reads back at most 63", 0),
        0u)
        << rows[2].error;
}

TEST(BatchPlan, ImeiRowsMustBeFifteenDigits) {
    const auto read =
        readBatchPlan("serverAPort,imei\n7001,861234050123457\n7002,861234050123465\n");
    ASSERT_TRUE(read.plan) << read.error;
    EXPECT_EQ(read.plan->key, PlanKey::Imei);
    EXPECT_EQ(read.plan->rows[1].key, "861234050123465");

    // What a spreadsheet makes of a long number is caught before anything happens.
    const auto sheet = readBatchPlan("imei,serverAPort\n8.61234E+14,7001\n");
    EXPECT_FALSE(sheet.plan);
    EXPECT_EQ(sheet.error.rfind("line 2, column 1 (imei): '8.61234E+14' is not an IMEI", 0), 0u)
        << sheet.error;
}

TEST(BatchPlan, FaultsOfShapeRefuseTheWholePlanWithWhere) {
    struct Case {
        std::string csv;
        std::string error;
    };
    const Case cases[] = {
        {"", "no header row"},
        {"serverAPort\n7000\n", "line 1: the header has neither a port nor an imei column"},
        {"port,imei\n/dev/a,861234050123457\n",
         "line 1, column 2 (imei): give either a port or an imei column, not both"},
        {"port,serverAPort,serverAPort\n",
         "line 1, column 3 (serverAPort): this column appears twice"},
        {"port,noSuchField\n",
         "line 1, column 2 (noSuchField): not a field of the parameter set (dtuconf show lists "
         "them)"},
        {"port,reserved@71\n",
         "line 1, column 2 (reserved@71): not a field of the parameter "
         "set (dtuconf show lists them)"},
        {"port,serverAPort\n/dev/a\n", "line 2: the row has 1 cells, the header 2"},
        {"port,serverAPort\n/dev/a,1,2\n", "line 2: the row has 3 cells, the header 2"},
        {"port,serverAPort\n,7000\n", "line 2, column 1 (port): empty"},
        {"port,serverAPort\n/dev/a,1\n/dev/a,2\n",
         "line 3, column 1 (port): '/dev/a' has a row already"},
        {"port,serverAHost\n/dev/a,\"open\n", "line 2, column 2: unbalanced quotes"},
        {"port,serverAPort\n", "the plan has no rows"},
    };
    for (const auto& c : cases) {
        const auto read = readBatchPlan(c.csv);
        EXPECT_FALSE(read.plan) << c.csv;
        EXPECT_EQ(read.error, c.error) << c.csv;
    }
}

}  // namespace
}  // namespace dtu
