#include "files/pc_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace dtu {
namespace {

const std::string kSection(kPcSettingsSection);

TEST(PcSettings, FirstRunGivesDefaults) {
    const PcSettings s = loadPcSettings(IniDocument());
    EXPECT_EQ(s.baudIndex, 4);     // "9600"; every other choice is its first entry
    EXPECT_EQ(s.paramHistory, 1);  // kept unless turned off
    EXPECT_EQ(s, PcSettings());
    // A file holding other sections only reads the same.
    EXPECT_EQ(loadPcSettings(IniDocument::parse("[pc serial]\nbitrate=9\n")), PcSettings());
}

TEST(PcSettings, ReadsKeysInAnyOrderAndCase) {
    const PcSettings s = loadPcSettings(IniDocument::parse(
        "[" + kSection +
        "]\r\nfactory=1\r\nUTF8=1\r\nmodel=2\r\nhexregdata=1\r\nhexhbdata=0\r\n"
        "hexserialfilterdata=1\r\nhexserialtimedata=1\r\nLang=1\r\nstop=1\r\nlen=3\r\n"
        "check=2\r\nbitrate=-1\r\nserial=5\r\n"));
    PcSettings want;
    want.portIndex = 5;
    want.baudIndex = -1;
    want.parityIndex = 2;
    want.dataBitsIndex = 0;  // never taken from the file
    want.stopBitsIndex = 1;
    want.language = 1;
    want.hexTimedSend = 1;
    want.hexSerialFilter = 1;
    want.hexHeartbeat = 0;
    want.hexRegister = 1;
    want.printerModel = 2;
    want.utf8Names = 1;
    want.factoryResetAfterUpgrade = 1;
    EXPECT_EQ(s, want);
}

TEST(PcSettings, SaveWritesEveryKeyInOrderAndDropsTheRest) {
    IniDocument old =
        IniDocument::parse("[" + kSection + "]\nserial=2\nobsolete=1\n[other]\nx=1\n");
    PcSettings s = loadPcSettings(old);
    s.dataBitsIndex = 3;
    s.baudIndex = -1;
    s.language = 1;
    s.hexHeartbeat = 1;
    s.factoryResetAfterUpgrade = 1;
    const IniDocument saved = savePcSettings(s);
    EXPECT_EQ(saved.toText(),
              "[*****************pc serial****************]\n"
              "serial=2\nbitrate=-1\ncheck=0\nlen=3\nstop=0\nlang=1\n"
              "hexserialtimedata=0\nhexserialfilterdata=0\nhexhbdata=1\n"
              "hexregdata=0\nmodel=0\nutf8=0\nfactory=1\nproductiondir=\n"
              "printhost=127.0.0.1\nprintport=12345\ncloudhost=127.0.0.1\ncloudport=8081\n"
              "mqttcloudserver=mqtt.example.com\nparamhistory=1\nrecord=\n");
    PcSettings reread = s;
    reread.dataBitsIndex = 0;
    EXPECT_EQ(loadPcSettings(IniDocument::parse(saved.toText())), reread);
}

TEST(PcSettings, ProductionPlacesAreTextsAndPorts) {
    PcSettings s = loadPcSettings(IniDocument::parse(
        "[" + kSection +
        "]\nproductiondir=/srv/line 3/factory\nprinthost=\ncloudhost=cloud.example.net\n"
        "cloudport=9081\nmqttcloudserver=mqtt.line3.example.net\nparamhistory=0\n"
        "record=postgresql://line@db/factory\n"));
    EXPECT_EQ(s.productionDir, "/srv/line 3/factory");
    EXPECT_EQ(s.printHost, "127.0.0.1");  // empty reads as the default
    EXPECT_EQ(s.printPort, 12345);
    EXPECT_EQ(s.cloudHost, "cloud.example.net");
    EXPECT_EQ(s.cloudPort, 9081);
    EXPECT_EQ(s.mqttCloudServer, "mqtt.line3.example.net");
    EXPECT_EQ(s.paramHistory, 0);
    EXPECT_EQ(s.record, "postgresql://line@db/factory");
    EXPECT_EQ(loadPcSettings(IniDocument::parse(savePcSettings(s).toText())), s);
}

}  // namespace
}  // namespace dtu
