#include "production/label.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "production/model_list.h"

namespace dtu {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

LabelRequest request(bool withLogo = true) {
    LabelRequest r;
    r.mac = {0x11, 0x22, 0x33, 0xAA, 0xBB, 0x0C};
    r.model = "DTU-X4";
    r.imei = "861234567890123";
    r.version = "V2.1";
    r.withLogo = withLogo;
    return r;
}

TEST(ModelList, LinesEndAtCrAndTheByteAfterIsSkipped) {
    // Three CR LF lines and a fourth without CR: three names.
    EXPECT_EQ(parseModelList(bytes("DTU-A\r\nDTU-B\r\nRTU-C\r\nDTU-D")),
              (std::vector<std::string>{"DTU-A", "DTU-B", "RTU-C"}));
    // Whatever follows a CR is skipped, LF or not; an empty line is an item of its own.
    EXPECT_EQ(parseModelList(bytes("A\rXB\r\n\r\nC\r")),
              (std::vector<std::string>{"A", "B", "", "C"}));
    EXPECT_TRUE(parseModelList(bytes("no line end")).empty());
    EXPECT_TRUE(parseModelList({}).empty());
}

TEST(ModelList, NothingBeyondTheFirst1024BytesIsScanned) {
    std::string text(1020, 'x');
    text += "\r\nAB\r\n";  // the CR at 1020 is inside the limit, the second one is not
    const auto names = parseModelList(bytes(text));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], std::string(1020, 'x'));

    std::string exact(1023, 'y');
    exact += '\r';  // the very last byte read
    EXPECT_EQ(parseModelList(bytes(exact)).size(), 1u);
}

TEST(Label, SetupIsTheFixed185Bytes) {
    EXPECT_EQ(printerSetup(),
              "SPEED 6\r\nDENSITY 8\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\n"
              "SET PARTIAL_CUTTER OFF\r\nSET TEAR ON\r\nDIRECTION 1\r\n"
              "SIZE 40.00 mm,30.00 mm\r\nGAP 2.00 mm,0.00 mm\r\nOFFSET 0.00 mm\r\nSHIFT 0\r\n"
              "REFERENCE 0,0\r\n");
    EXPECT_EQ(printerSetup().size(), 185u);
}

TEST(Label, LogoDecodesAcrossLinesAndBlanks) {
    // Digits split over lines (CR LF and LF), with blanks, in both cases, and a lone last digit.
    EXPECT_EQ(decodeLogo(bytes("0a 0B\r\n1f2\nE3\n 4")), (Bytes{0x0A, 0x0B, 0x1F, 0x2E, 0x34}));
    EXPECT_EQ(decodeLogo(bytes("ABC")), (Bytes{0xAB, 0x0C}));
    EXPECT_EQ(decodeLogo(bytes(" \r\n")), Bytes{});
    EXPECT_FALSE(decodeLogo(bytes("0a\t0b")));  // a tab is not a blank
    EXPECT_FALSE(decodeLogo(bytes("0a0g")));
}

TEST(Label, LogoDatagramFramesTheBytesAndStopsAtTheDatagramLimit) {
    const Bytes logo{0x0A, 0x00, 0xFF};
    EXPECT_EQ(logoDatagram(logo), std::string("DOWNLOAD \"LOGO.PCX\",3,\x0A\x00\xFF\r\n", 27));

    // "DOWNLOAD "LOGO.PCX",10212," is 26 bytes: 26 + 10212 + 2 fills the datagram exactly.
    const auto fits = logoDatagram(Bytes(10212, 0x55));
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), kDatagramLimit);
    EXPECT_FALSE(logoDatagram(Bytes(10213, 0x55)));
}

TEST(Label, PlaceholdersReplaceTheRestOfTheirLine) {
    const std::string tmpl =
        "SIZE 40 mm,30 mm\r\n"
        "TEXT 10,10,\"3\",0,1,1,\"imei tail \"\r\n"
        "TEXT 10,40,\"3\",0,1,1,\"mac\"\r\n"
        "TEXT 10,70,\"3\",0,1,1,\"model\r\n"
        "PRINT 1\r\n";
    EXPECT_EQ(fillTemplate(bytes(tmpl), request()),
              "SIZE 40 mm,30 mm\r\n"
              "TEXT 10,10,\"3\",0,1,1,\"IMEI:861234567890123\"\r\n"
              "TEXT 10,40,\"3\",0,1,1,\"MAC(SN):112233aabb0c\"\r\n"
              "TEXT 10,70,\"3\",0,1,1,\"Model:DTU-X4\"\r\n"
              "PRINT 1\r\n");
}

TEST(Label, PlaceholdersAreLowerCaseAnywhereAndTheLastLineMayLackItsLf) {
    // Upper case is text; "mac" wins over "model"-like words only where it matches; "imei"
    // inside a word still counts; a placeholder on the last line takes the rest of the file.
    EXPECT_EQ(fillTemplate(bytes("IMEI MAC\nxmacy rest\nmode\nmodel"), request()),
              "IMEI MAC\nxMAC(SN):112233aabb0c\"\r\nmode\nModel:DTU-X4\"\r\n");
    EXPECT_EQ(fillTemplate(bytes("PRINT 1\r\n"), request()), "PRINT 1\r\n");
    EXPECT_EQ(fillTemplate({}, request()), "");
}

TEST(Label, FilledTemplateMustFitOneDatagram) {
    // Each "imei\n" (5 bytes) becomes 23 bytes: 445 of them make 10235, 446 too many.
    std::string tmpl;
    for (int i = 0; i < 445; ++i) tmpl += "imei\n";
    const auto fits = fillTemplate(bytes(tmpl), request());
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 445u * 23);
    tmpl += "imei\n";
    EXPECT_FALSE(fillTemplate(bytes(tmpl), request()));
}

TEST(LabelPlan, AGoodPrintIsSetupLogoAndLabel) {
    LabelFiles files{bytes("0A1B\r\n2C\r\n"), bytes("TEXT \"imei\r\nPRINT 1\r\n")};
    const LabelPlan plan = planLabel(request(), files);
    ASSERT_EQ(plan.refusal, LabelRefusal::None);
    EXPECT_EQ(plan.logo, (Bytes{0x0A, 0x1B, 0x2C}));
    ASSERT_EQ(plan.datagrams.size(), 3u);
    EXPECT_EQ(plan.datagrams[0], printerSetup());
    EXPECT_EQ(plan.datagrams[1], "DOWNLOAD \"LOGO.PCX\",3,\x0A\x1B\x2C\r\n");
    EXPECT_EQ(plan.datagrams[2], "TEXT \"IMEI:861234567890123\"\r\nPRINT 1\r\n");

    // An empty template sends the set-up and the logo only.
    files.labelTemplate = Bytes{};
    EXPECT_EQ(planLabel(request(), files).datagrams.size(), 2u);
}

TEST(LabelPlan, EveryRefusalSendsNothing) {
    const Bytes logo = bytes("0A");
    const Bytes tmpl = bytes("PRINT 1\r\n");
    struct Case {
        LabelFiles files;
        LabelRefusal why;
    };
    const Case cases[] = {
        {{std::nullopt, tmpl}, LabelRefusal::LogoMissing},
        {{Bytes(kLabelFileLimit + 1, '0'), tmpl}, LabelRefusal::LogoTooLong},
        {{bytes("0A;"), tmpl}, LabelRefusal::LogoNotHex},
        {{bytes("\r\n"), tmpl}, LabelRefusal::LogoEmpty},
        {{Bytes(2 * 10213, 'f'), tmpl}, LabelRefusal::LogoTooLarge},
        {{logo, std::nullopt}, LabelRefusal::TemplateMissing},
        {{logo, Bytes(kLabelFileLimit + 1, ' ')}, LabelRefusal::TemplateTooLong},
        {{logo, Bytes(kDatagramLimit + 1, ' ')}, LabelRefusal::TemplateTooLarge},
    };
    for (const Case& c : cases) {
        const LabelPlan plan = planLabel(request(), c.files);
        EXPECT_EQ(plan.refusal, c.why) << int(c.why);
        EXPECT_TRUE(plan.datagrams.empty()) << int(c.why);
        EXPECT_TRUE(plan.logo.empty()) << int(c.why);
        EXPECT_FALSE(labelRefusalText(plan, true, Language::English).empty()) << int(c.why);
    }
    // The largest logo.txt that is accepted may still hold blanks enough to fit.
    Bytes spaced(kLabelFileLimit, ' ');
    spaced[0] = '0';
    spaced[1] = 'A';
    EXPECT_EQ(planLabel(request(), {spaced, tmpl}).refusal, LabelRefusal::None);

    LabelRequest longModel = request();
    longModel.model = std::string(kModelNameLimit + 1, 'M');
    EXPECT_EQ(planLabel(longModel, {logo, tmpl}).refusal, LabelRefusal::ModelTooLong);
    longModel.model.pop_back();
    EXPECT_EQ(planLabel(longModel, {logo, tmpl}).refusal, LabelRefusal::None);
}

TEST(LabelPlan, RefusalTexts) {
    LabelPlan plan;
    plan.refusal = LabelRefusal::LogoMissing;
    EXPECT_EQ(labelRefusalText(plan, true, Language::Chinese), "not found logo.pcx");
    EXPECT_EQ(labelRefusalText(plan, false, Language::English), "not found logo.pcx");
    // The missing template is named as the message has always named it.
    plan.refusal = LabelRefusal::TemplateMissing;
    EXPECT_EQ(labelRefusalText(plan, true, Language::English), "label-dtu.txt");
    EXPECT_EQ(labelRefusalText(plan, false, Language::Chinese), "label-dtunologo.txt");
    plan.refusal = LabelRefusal::LogoTooLarge;
    plan.logoBytes = 20120;
    EXPECT_EQ(labelRefusalText(plan, true, Language::English),
              "The logo has 20120 bytes and does not fit one 10240-byte datagram; nothing was "
              "printed.");
    EXPECT_EQ(labelRefusalText(plan, true, Language::Chinese),
              "LOGO 图像有 20120 字节，超出 10240 字节的数据包，未打印。");
    plan.refusal = LabelRefusal::TemplateTooLarge;
    EXPECT_NE(labelRefusalText(plan, false, Language::English).find("label-dtu-nologo.txt"),
              std::string::npos);
}

TEST(LabelRequest, TakesTheDeviceIdentity) {
    DeviceParams p;
    const std::uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    p.setBytes(fields::macAddress, mac);
    p.setText(fields::imei, std::string_view("861234567890123"));
    p.setText(fields::firmwareVersion, std::string_view("V2.1-\xCE\xC2"));  // GBK "温"
    const LabelRequest r = labelRequest(p, "RTU-8", false);
    EXPECT_EQ(r.mac, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(r.imei, "861234567890123");
    EXPECT_EQ(r.version, "V2.1-温");
    EXPECT_EQ(r.model, "RTU-8");
    EXPECT_FALSE(r.withLogo);
    EXPECT_EQ(templateFile(false), "label-dtu-nologo.txt");
}

}  // namespace
}  // namespace dtu
