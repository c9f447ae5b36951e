#include "link/receive_log.h"

#include <gtest/gtest.h>

namespace dtu {
namespace {

TEST(ReceiveLog, EmptiesItselfOnlyOnceItHoldsMoreThan29950Characters) {
    ReceiveLog log;
    const std::string line(50, 'x');
    for (int i = 0; i < 599; ++i) ASSERT_FALSE(log.append(line));
    EXPECT_EQ(log.characters(), 29950u);
    EXPECT_FALSE(log.append("y"));  // 29950 is not yet more than 29950
    EXPECT_TRUE(log.append("z"));
    EXPECT_EQ(log.text(), "z");
    EXPECT_EQ(log.characters(), 1u);
}

TEST(ReceiveLog, CountsCharactersNotBytes) {
    ReceiveLog log;
    for (int i = 0; i < 9984; ++i) log.append("获取参");  // 3 characters, 9 bytes
    EXPECT_EQ(log.characters(), 29952u);
    EXPECT_TRUE(log.append("成功\r\n"));
    EXPECT_EQ(log.characters(), 4u);
}

}  // namespace
}  // namespace dtu
