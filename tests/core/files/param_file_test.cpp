#include "files/param_file.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;

TEST(ParamFile, AShortFileReplacesOnlyTheStartALongOneOnlyTheRecord) {
    DeviceParams p;
    p.image()[0] = 9;
    p.image()[100] = 9;
    p.image()[kParamsSize - 1] = 9;

    loadParamsImage(Bytes{}, p);  // an empty file changes nothing
    EXPECT_EQ(p.image()[0], 9);

    loadParamsImage(Bytes(50, 1), p);
    EXPECT_EQ(p.image()[0], 1);
    EXPECT_EQ(p.image()[49], 1);
    EXPECT_EQ(p.image()[100], 9);
    EXPECT_EQ(p.image()[kParamsSize - 1], 9);

    Bytes longer(kParamsSize + 100, 2);
    loadParamsImage(longer, p);
    EXPECT_EQ(p.image()[kParamsSize - 1], 2);
    EXPECT_EQ(test::toBytes(paramsImage(p)), Bytes(kParamsSize, 2));
}

TEST(ParamFile, LockedConfigurationsAreRecognisedByTheirFlag) {
    DeviceParams p;
    EXPECT_FALSE(isLockedConfig(p));
    p.image()[21096] = 0x78;
    EXPECT_TRUE(isLockedConfig(p));
    p.image()[21096] = 0x79;
    EXPECT_FALSE(isLockedConfig(p));
}

}  // namespace
}  // namespace dtu
