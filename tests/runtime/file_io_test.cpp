#include "file_io.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "support/bytes.h"

namespace dtu {
namespace {

using test::Bytes;

TEST(FileIo, WritesAtomicallyAndReadsBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("params.cfg").toStdString();
    std::string error;
    ASSERT_TRUE(writeFileAtomic(path, Bytes(22160, 0x5A), error)) << error;
    ASSERT_TRUE(writeFileAtomic(path, Bytes{1, 2, 3}, error)) << error;  // replaces it whole
    const auto back = readFile(path, error, 1024);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, (Bytes{1, 2, 3}));
    // Nothing but the file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(FileIo, FailuresSayWhyAndLeaveNothingBehind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string error;
    const std::string missingDir = dir.filePath("no/such/dir/x.cfg").toStdString();
    EXPECT_FALSE(writeFileAtomic(missingDir, Bytes{1}, error));
    EXPECT_NE(error.find(missingDir), std::string::npos);

    error.clear();
    EXPECT_FALSE(readFile(dir.filePath("absent.cfg").toStdString(), error, 100));
    EXPECT_NE(error.find("absent.cfg"), std::string::npos);

    const std::string big = dir.filePath("big.bin").toStdString();
    ASSERT_TRUE(writeFileAtomic(big, Bytes(101, 0), error));
    EXPECT_FALSE(readFile(big, error, 100));
    EXPECT_NE(error.find("larger than 100"), std::string::npos);
    EXPECT_TRUE(readFile(big, error, 101));
}

}  // namespace
}  // namespace dtu
