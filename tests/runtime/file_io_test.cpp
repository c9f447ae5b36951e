#include "file_io.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

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

// This process as on a full disk while it lives: no file grows past `bytes`, and a write past
// that fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

Bytes contents(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray d = f.readAll();
    return Bytes(d.begin(), d.end());
}

TEST(FileIo, AShortWriteKeepsTheOldFileAndSaysWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("old.json").toStdString();
    const Bytes old(2000, 'o');
    std::string error;
    // A small file that would only be written out at the commit, and a large one.
    for (std::size_t size : {std::size_t{3000}, std::size_t{100000}}) {
        ASSERT_TRUE(writeFileAtomic(path, old, error)) << error;
        bool written = true;
        error.clear();
        {
            FileSizeLimit full(2048);
            written = writeFileAtomic(path, Bytes(size, 'n'), error);
        }
        EXPECT_FALSE(written) << size;
        EXPECT_NE(error.find(path + ": File too large"), std::string::npos) << error;
        EXPECT_EQ(contents(path), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // An append that does not fit is taken back whole; one that fits goes in.
    const std::string history = dir.filePath("history.txt").toStdString();
    ASSERT_TRUE(appendToFile(history, std::string(2000, 'h'), error)) << error;
    bool appended = true;
    {
        FileSizeLimit full(2048);
        appended = appendToFile(history, std::string(100, 'x'), error);
        EXPECT_TRUE(appendToFile(history, "fits\r\n", error)) << error;
    }
    EXPECT_FALSE(appended);
    EXPECT_EQ(contents(history).size(), 2006u);

    // An edit inside a file is written to a new file first: the old one stays as it was.
    bool spliced = true;
    {
        FileSizeLimit full(2048);
        spliced = spliceFile(path, old.size(), IniSplice{10, 1, std::string(100, 'e')}, error);
    }
    EXPECT_FALSE(spliced);
    EXPECT_EQ(contents(path), old);
    EXPECT_TRUE(spliceFile(path, old.size(), IniSplice{10, 1, "ee"}, error)) << error;
    EXPECT_EQ(contents(path).size(), 2001u);
    // Against a file that changed since its scan, nothing is done.
    EXPECT_FALSE(spliceFile(path, old.size(), IniSplice{0, 0, "x"}, error));
    EXPECT_NE(error.find("changed"), std::string::npos);
    EXPECT_EQ(contents(path).size(), 2001u);
}

}  // namespace
}  // namespace dtu
