// dtuconf poll export / import on real files, as a spreadsheet user's script runs them.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/process.h"

namespace dtu {
namespace {

using test::Bytes;
using test::RunResult;

RunResult dtuconf(const std::vector<std::string>& args) {
    return test::runProgram(DTUCONF_BIN, args);
}

class PollCli : public ::testing::Test {
protected:
    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }
    void write(const std::string& file, const std::string& text) {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string read(const std::string& file) {
        QFile f(QString::fromStdString(file));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }

    QTemporaryDir m_dir;
};

// A parameter file with three entries and some of everything else.
constexpr const char* kThreeEntries = R"({
    "serverAPort": 502, "modbusItemCount": 3, "modbusTimeout": 2,
    "modbusItems[0].slaveAddress": 1, "modbusItems[0].functionCode": 3,
    "modbusItems[0].registerCount": 2, "modbusItems[0].dataType": 2,
    "modbusItems[0].jsonName": "温度", "modbusItems[0].scaleK": 12345678,
    "modbusItems[0].offsetB": 2147498648,
    "modbusItems[1].slaveAddress": 2, "modbusItems[1].functionCode": 1,
    "modbusItems[1].registerCount": 9, "modbusItems[1].jsonName": "door, \"A\"",
    "modbusItems[1].threshold1": -40, "modbusItems[1].emergencyData": 1,
    "modbusItems[2].slaveAddress": 3, "modbusItems[2].functionCode": 4,
    "modbusItems[2].startRegister": 40001, "modbusItems[2].jsonName": "k2"
})";

TEST_F(PollCli, ExportThenImportGivesTheSameFileAndTheSameCsv) {
    write(path("three.json"), kThreeEntries);
    const RunResult exported =
        dtuconf({"poll", "export", path("three.json"), path("t.csv"), "--names", "gbk"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    const std::string csv = read(path("t.csv"));
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF"
              "slaveAddress,functionCode,startRegister,registerCount,dataType,decimals,jsonName,"
              "threshold1,threshold2,emergencyData,scaleK,offsetB\r\n"
              "1,3,0,2,浮点型(ABCD),0,温度,0,0,0,1234.5678,-1.5000\r\n"
              "2,1,0,9,BYTE,0,\"door, \"\"A\"\"\",-40,0,1,0.0000,0.0000\r\n"
              "3,4,40001,0,BYTE,0,k2,0,0,0,0.0000,0.0000\r\n");

    // Into a fresh copy of the file: the same parameters, then the same CSV.
    ASSERT_EQ(dtuconf({"convert", path("three.json"), path("copy.cfg")}).code, 0);
    const RunResult imported = dtuconf({"poll", "import", path("copy.cfg"), path("t.csv"), "-o",
                                        path("back.cfg"), "--names", "gbk"});
    ASSERT_EQ(imported.code, 0) << imported.err;
    const RunResult diff = dtuconf({"diff", path("three.json"), path("back.cfg")});
    EXPECT_EQ(diff.code, 0) << diff.out;
    ASSERT_EQ(dtuconf({"poll", "export", path("back.cfg"), path("t2.csv"), "--names", "gbk"}).code,
              0);
    EXPECT_EQ(read(path("t2.csv")), csv);
}

TEST_F(PollCli, GbkFilesForChineseSpreadsheetsGoOutAndComeBackWithANote) {
    write(path("three.json"), kThreeEntries);
    ASSERT_EQ(dtuconf({"poll", "export", path("three.json"), path("u.csv"), "--names", "gbk"}).code,
              0);
    const RunResult exported = dtuconf({"poll", "export", path("three.json"), path("g.csv"),
                                        "--names", "gbk", "--encoding", "gbk"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    const std::string gbk = read(path("g.csv"));
    EXPECT_EQ(gbk.substr(0, 12), "slaveAddress");  // no byte order mark
    EXPECT_NE(gbk.find("\xB8\xA1\xB5\xE3\xD0\xCD(ABCD),0,\xCE\xC2\xB6\xC8,"),
              std::string::npos);  // 浮点型 and 温度 in GBK

    // Read back as GBK, saying so, into the same table.
    ASSERT_EQ(dtuconf({"convert", path("three.json"), path("copy.cfg")}).code, 0);
    const RunResult imported = dtuconf({"poll", "import", path("copy.cfg"), path("g.csv"), "-o",
                                        path("back.json"), "--names", "gbk"});
    ASSERT_EQ(imported.code, 0) << imported.err;
    EXPECT_EQ(imported.err, "dtuconf: " + path("g.csv") + ": not UTF-8: read as GBK\n");
    EXPECT_EQ(dtuconf({"diff", path("three.json"), path("back.json")}).code, 0);

    // The help says what --lang does: the messages, not the file.
    const RunResult help = dtuconf({"poll", "--help"});
    EXPECT_NE(help.out.find("--lang: the\nlanguage of the messages"), std::string::npos)
        << help.out;
    EXPECT_EQ(help.out.find("header"), std::string::npos);
}

TEST_F(PollCli, ImportReplacesTheTableInPlace) {
    write(path("three.json"), kThreeEntries);
    write(path("one.csv"), "jsonName,Fun\nflow,4\n");
    const RunResult r = dtuconf({"poll", "import", path("three.json"), path("one.csv")});
    ASSERT_EQ(r.code, 0) << r.err;
    const RunResult show = dtuconf({"show", path("three.json")});
    EXPECT_NE(show.out.find("modbusItemCount = 1\n"), std::string::npos);
    EXPECT_NE(show.out.find("modbusItems[0].jsonName = \"flow\"\n"), std::string::npos);
    EXPECT_NE(show.out.find("modbusItems[0].functionCode = 4\n"), std::string::npos);
    EXPECT_NE(show.out.find("serverAPort = 502\n"), std::string::npos);
}

TEST_F(PollCli, ARefusedCsvWritesNothing) {
    write(path("three.json"), kThreeEntries);
    const std::string before = read(path("three.json"));
    write(path("bad.csv"), "jsonName,Fun\nflow,4\nvalve,x4\n");
    for (const bool inPlace : {true, false}) {
        std::vector<std::string> args = {"poll", "import", path("three.json"), path("bad.csv")};
        if (!inPlace) args.insert(args.end(), {"-o", path("out.cfg")});
        const RunResult r = dtuconf(args);
        EXPECT_EQ(r.code, 3);
        EXPECT_NE(r.err.find("line 3, column 2 (Fun): not a whole number from 0 to 255"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_EQ(read(path("three.json")), before);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("out.cfg"))));

    const RunResult zh =
        dtuconf({"poll", "import", path("three.json"), path("bad.csv"), "--lang", "zh"});
    EXPECT_NE(zh.err.find("第3行第2列（Fun）"), std::string::npos) << zh.err;
}

}  // namespace
}  // namespace dtu
