// Runs the dtuconf binary as scripts and support staff do, on real files.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <random>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/private_home.h"
#include "support/process.h"

namespace dtu {
namespace {

[[maybe_unused]] const bool kPrivateHome = test::usePrivateHome();

using test::Bytes;

using test::RunResult;

RunResult dtuconf(const std::vector<std::string>& args, const std::string& input = {}) {
    return test::runProgram(DTUCONF_BIN, args, input);
}

class Cli : public ::testing::Test {
protected:
    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }
    void write(const std::string& file, const Bytes& bytes) {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    void write(const std::string& file, const std::string& text) {
        write(file, Bytes(text.begin(), text.end()));
    }
    Bytes read(const std::string& file) {
        QFile f(QString::fromStdString(file));
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QByteArray d = f.readAll();
        return Bytes(d.begin(), d.end());
    }
    bool exists(const std::string& file) { return QFile::exists(QString::fromStdString(file)); }

    QTemporaryDir m_dir;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

TEST_F(Cli, FrameCommandsPrintOneLineOfHexPairs) {
    const RunResult plain = dtuconf({"frame", "read-request"});
    ASSERT_EQ(plain.code, 0) << plain.err;
    ASSERT_EQ(lines(plain.out).size(), 1u);
    EXPECT_EQ(plain.out.size(), 121 * 3);  // 121 pairs, blanks between, a newline at the end
    EXPECT_EQ(plain.out.substr(0, 24), "88 3a 03 00 72 01 02 03 ");
    EXPECT_EQ(plain.out.substr(plain.out.size() - 15), "b7 b8 ba 45 2e\n");

    const RunResult locked = dtuconf({"frame", "read-request", "--password", "12345678"});
    ASSERT_EQ(locked.code, 0) << locked.err;
    EXPECT_EQ(locked.out.size(), 130 * 3);
    EXPECT_EQ(locked.out.substr(locked.out.size() - 33), "45 2e 31 32 33 34 35 36 37 38 aa\n");

    const RunResult shortPw = dtuconf({"frame", "read-request", "--password", "1234567"});
    EXPECT_EQ(shortPw.code, 2);
    EXPECT_TRUE(shortPw.out.empty());
    EXPECT_NE(shortPw.err.find("8 characters"), std::string::npos);

    write(path("zero.cfg"), Bytes(22160, 0));
    const RunResult save = dtuconf({"frame", "save", path("zero.cfg")});
    ASSERT_EQ(save.code, 0) << save.err;
    EXPECT_EQ(save.out.size(), 497 * 3);
    EXPECT_EQ(save.out.substr(0, 15), "88 3a 04 01 ea ");
}

TEST_F(Cli, ShowAndDiffWorkOnFilesOfEitherForm) {
    write(path("edit.json"),
          std::string(R"({"serverAHost": "new.example.com", "serverAPort": 7000})"));
    const RunResult show = dtuconf({"show", path("edit.json")});
    ASSERT_EQ(show.code, 0) << show.err;
    const auto shown = lines(show.out);
    EXPECT_EQ(shown[0], "dtuBaudIndex = 0");
    EXPECT_NE(std::find(shown.begin(), shown.end(), "serverAHost = \"new.example.com\""),
              shown.end());
    EXPECT_NE(std::find(shown.begin(), shown.end(), "serverAPort = 7000"), shown.end());

    write(path("zero.cfg"), Bytes(22160, 0));
    const RunResult diff = dtuconf({"diff", path("zero.cfg"), path("edit.json")});
    EXPECT_EQ(diff.code, 1);
    EXPECT_EQ(lines(diff.out), (std::vector<std::string>{"serverAHost: \"\" -> \"new.example.com\"",
                                                         "serverAPort: 0 -> 7000"}));

    const RunResult json = dtuconf({"show", path("edit.json"), "--json"});
    ASSERT_EQ(json.code, 0);
    write(path("again.json"), json.out);
    EXPECT_EQ(dtuconf({"diff", path("again.json"), path("edit.json")}).code, 0);
}

TEST_F(Cli, DecodeTakesAHexDumpOfAReadAnswer) {
    // 88 3A 83, block of items 2 (work mode) and 5 (server A port 502), tail.
    write(path("answer.txt"),
          std::string("88 3a 83 00 09\n02 00 01 01\r\n\t05 00 02 01 f6 45 2e\n"));
    const RunResult shown = dtuconf({"decode", path("answer.txt")});
    ASSERT_EQ(shown.code, 0) << shown.err;
    const auto out = lines(shown.out);
    EXPECT_NE(std::find(out.begin(), out.end(), "workMode = 1"), out.end());
    EXPECT_NE(std::find(out.begin(), out.end(), "serverAPort = 502"), out.end());

    // Onto a base file, written out; stdin works as the source.
    write(path("base.json"), std::string(R"({"apnName": "cmnet", "serverAPort": 1})"));
    const RunResult written =
        dtuconf({"decode", "-i", path("base.json"), "-o", path("out.json"), "-"},
                "88 3a 83 00 05 05 00 02 01 f6 45 2e");
    ASSERT_EQ(written.code, 0) << written.err;
    EXPECT_TRUE(written.out.empty());
    const Bytes json = read(path("out.json"));
    const std::string text(json.begin(), json.end());
    EXPECT_NE(text.find("\"apnName\": \"cmnet\""), std::string::npos);
    EXPECT_NE(text.find("\"serverAPort\": 502"), std::string::npos);

    // Items the decoder leaves alone are named on stderr.
    const RunResult noted = dtuconf({"decode", "-"}, "88 3a 83 00 06 05 00 03 01 02 03 45 2e");
    EXPECT_EQ(noted.code, 0);
    EXPECT_NE(noted.err.find("item 5 (3 bytes) ignored"), std::string::npos);
}

TEST_F(Cli, BadInputIsOneLineOnStderrAndWritesNothing) {
    write(path("short.cfg"), Bytes(100, 0));
    write(path("bad.json"), std::string(R"({"serverAPort": 1, "bogus": 2})"));
    write(path("nothex.txt"), std::string("88 3a 83 0x"));
    write(path("notframe.txt"), std::string("88 3a 84 00 00 45 2e"));
    write(path("zero.cfg"), Bytes(22160, 0));

    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {{"show", path("missing.cfg")}, 3, "missing.cfg"},
        {{"show", path("short.cfg")}, 3, "wrong size, 100 bytes"},
        {{"convert", path("bad.json"), path("out.cfg")}, 3, "unknown field: bogus"},
        {{"decode", "-o", path("out.cfg"), path("nothex.txt")}, 3, "not hexadecimal"},
        {{"decode", "-o", path("out.cfg"), path("notframe.txt")}, 3, "not a read answer"},
        {{"decode", "-i", path("short.cfg"), "-o", path("out.cfg"), path("notframe.txt")},
         3,
         "not a read answer"},
        {{"convert", path("zero.cfg"), path("no/such/dir/out.cfg")}, 3, "out.cfg"},
        {{"show"}, 2, "usage: dtuconf show"},
        {{"show", path("zero.cfg"), "--xml"}, 2, "unknown option --xml"},
        {{"frame", "write"}, 2, "unknown frame kind"},
        {{"launch"}, 2, "unknown command"},
    };
    for (const auto& c : cases) {
        const RunResult r = dtuconf(c.args);
        EXPECT_EQ(r.code, c.code) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("dtuconf: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(exists(path("out.cfg")));

    // A record too big for one save frame is refused, not cut.
    std::string big = R"({"modbusItemCount": 64)";
    for (int r = 0; r < 64; ++r)
        big += ", \"modbusItems[" + std::to_string(r) + "].jsonName\": \"" + std::string(57, 'n') +
               "\"";
    write(path("big.json"), big + "}");
    const RunResult refused = dtuconf({"frame", "save", path("big.json")});
    EXPECT_EQ(refused.code, 3);
    EXPECT_NE(refused.err.find("at most 4096"), std::string::npos);
    EXPECT_TRUE(refused.out.empty());
}

TEST_F(Cli, ALockedFileShowsOnlyThatItIsLockedAndIsCopiedOnlyAsItStands) {
    Bytes image(22160, 0);
    auto put = [&](std::size_t at, std::string_view text) {
        std::copy(text.begin(), text.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(7, "secret.example.com");  // serverAHost
    put(11792, "DTU-4G");          // deviceModel
    image[21096] = 0x78;           // configLockFlag
    put(21097, "pw123456");        // configLockPassword
    write(path("locked.cfg"), image);
    write(path("zero.cfg"), Bytes(22160, 0));
    write(path("answer.txt"), std::string("88 3a 83 00 02 45 2e"));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"show", path("locked.cfg")},
          {"show", path("locked.cfg"), "--json"},
          {"diff", path("locked.cfg"), path("zero.cfg")},
          {"convert", path("locked.cfg"), path("out.json")},
          {"decode", "-i", path("locked.cfg"), path("answer.txt")},
          {"poll", "export", path("locked.cfg"), path("t.csv")},
          {"poll", "import", path("locked.cfg"), path("t.csv"), "-o", path("out.json")}}) {
        const RunResult r = dtuconf(args);
        EXPECT_EQ(r.out.find("secret"), std::string::npos) << args[0] << ": " << r.out;
        EXPECT_EQ(r.out.find("pw123456"), std::string::npos) << args[0] << ": " << r.out;
        EXPECT_EQ(r.code, args[0] == "show" ? 0 : 1) << args[0] << ": " << r.err;
    }
    EXPECT_FALSE(exists(path("out.json")));
    EXPECT_FALSE(exists(path("t.csv")));
    const RunResult shown = dtuconf({"show", path("locked.cfg")});
    EXPECT_EQ(lines(shown.out)[0], "locked = true");
    EXPECT_NE(shown.out.find("deviceModel = \"DTU-4G\""), std::string::npos);

    ASSERT_EQ(dtuconf({"convert", path("locked.cfg"), path("copy.cfg")}).code, 0);
    EXPECT_EQ(read(path("copy.cfg")), image);
    EXPECT_EQ(dtuconf({"diff", path("locked.cfg"), path("copy.cfg")}).code, 0);
}

TEST_F(Cli, JsonTextsLeaveTheTerminatorAReaderStopsAt) {
    write(path("host.json"), "{\"serverAHost\": \"" + std::string(64, 'h') + "\"}");
    const RunResult r = dtuconf({"convert", path("host.json"), path("host.cfg")});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("serverAHost: 64 bytes; the device reads back at most 63"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(path("host.cfg")));
}

TEST_F(Cli, ConvertCarriesEveryByteBothWays) {
    // The shipped sample, and a file with every byte random.
    std::mt19937 rng(11);
    Bytes image(22160);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng());
    write(path("random.cfg"), image);
    for (const std::string& cfg :
         {std::string(DTUCONF_SAMPLES) + "/office-gateway.cfg", path("random.cfg")}) {
        ASSERT_EQ(dtuconf({"convert", cfg, path("s.json")}).code, 0);
        const RunResult back = dtuconf({"convert", path("s.json"), path("s.cfg")});
        ASSERT_EQ(back.code, 0) << back.err;
        EXPECT_EQ(read(path("s.cfg")), read(cfg));
        EXPECT_EQ(dtuconf({"diff", cfg, path("s.json")}).code, 0);
    }
}

TEST_F(Cli, OnAFullDiskTheOldFileStaysAndTheCommandSaysSo) {
    // Under a 2048-byte file size limit, as on a full disk.
    auto limited = [](const std::vector<std::string>& args) {
        return test::runProgram(DTUCONF_BIN, args, {}, 60000, 2048);
    };
    const std::string sample = std::string(DTUCONF_SAMPLES) + "/office-gateway.cfg";
    const Bytes old(1000, 'o');
    for (const char* name : {"old.json", "old.cfg"}) {
        SCOPED_TRACE(name);
        write(path(name), old);
        const RunResult r =
            std::string(name) == "old.json"
                ? limited({"convert", sample, path(name)})
                : limited({"--sim", "read", "-o", path(name), "--production-dir", path("none")});
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.err.find(path(name)) != std::string::npos &&
                    r.err.find("File too large") != std::string::npos)
            << r.err;
        EXPECT_EQ(read(path(name)), old);
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(Cli, AProductionFolderThatTakesNoNewFilesIsWrittenInPlaceOrNamed) {
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString prod = m_dir.filePath("prod");
    ASSERT_TRUE(QDir().mkdir(prod));
    const QString record = prod + "/factory-" + day + ".ini";
    const QString printList = prod + "/print-" + day + ".ini";
    write(record.toStdString(),
          "[dtu factory " + day.toStdString() + "]\r\n; mark\r\n\r\n[other]\r\nk=v\r\n");
    write(printList.toStdString(), "; locked\r\n");
    QFile::setPermissions(record, QFile::permissions(record) | QFileDevice::WriteOther);
    QFile::setPermissions(printList, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    QFile::setPermissions(prod, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                    QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile::setPermissions(m_dir.path(), QFile::permissions(prod));

    QProcess p;
    p.setChildProcessModifier([] {
        // As a user whom the folder's permissions bind.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    });
    p.start(DTUCONF_BIN, {"--sim", "read", "--production-dir", prod});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    const QRegularExpression updated("^\\[dtu factory " + day +
                                     "\\]\r\n; mark\r\n[0-9a-f]{12}=model:[^\r\n]* "
                                     "\\d\\d:\\d\\d:\\d\\d\r\n\r\n\\[other\\]\r\nk=v\r\n$");
    const Bytes after = read(record.toStdString());
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(after.data()),
                                             static_cast<qsizetype>(after.size()));
    EXPECT_TRUE(updated.match(text).hasMatch()) << text.toStdString();
    const std::string locked = "; locked\r\n";
    EXPECT_EQ(read(printList.toStdString()), Bytes(locked.begin(), locked.end()));
    EXPECT_TRUE(out.contains("生产记录未写入：" + printList + ": ")) << out.toStdString();
    EXPECT_EQ(QDir(prod).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

}  // namespace
}  // namespace dtu
