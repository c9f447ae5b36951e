#include <gtest/gtest.h>

#include <string>

#include "params/apn_form.h"
#include "params/field_table.h"
#include "params/form_values.h"
#include "params/http_form.h"
#include "support/bytes.h"
#include "support/form_checks.h"

namespace dtu {
namespace {

namespace f = fields;
using test::Bytes;
using test::expectOnlyTouched;
using test::hex;
using test::noisyRecord;
using test::toBytes;

HttpForm filledHttpForm() {
    HttpForm h;
    h.host = "api.example.org";
    h.port = "8080";
    h.method = 2;
    h.hexToAscii = true;
    h.header = "POST /in HTTP/1.1\nHost: api.example.org";
    return h;
}

TEST(HttpForm, OkStoresEverythingWithHeaderLinesEndingInCrLf) {
    const DeviceParams before = noisyRecord(5);
    DeviceParams p = before;
    HttpForm h = filledHttpForm();
    h.port = "70000";  // cut to 16 bits
    ASSERT_EQ(h.accept(p, Language::Chinese), std::nullopt);
    expectOnlyTouched(before, p,
                      {"httpHost", "httpPort", "httpMethod", "httpHexToAscii", "httpHeader"});
    EXPECT_EQ(p.get(f::httpPort), 4464);
    EXPECT_EQ(p.textView(f::httpHeader), "POST /in HTTP/1.1\r\nHost: api.example.org");

    HttpForm reopened;
    reopened.open(p);
    h.port = "4464";
    EXPECT_EQ(reopened, h);
}

TEST(HttpForm, AddressIsRefusedWhereItsItemCouldNotBeReadBack) {
    DeviceParams p;
    HttpForm h = filledHttpForm();
    h.host = std::string(126, 'a');
    ASSERT_EQ(h.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.text(f::httpHost).size(), 126u);

    // 127 bytes would fill the field with no terminator: refused before anything is stored.
    const DeviceParams before = p;
    h.host = std::string(127, 'a');
    h.port = "1";
    EXPECT_EQ(h.accept(p, Language::Chinese),
              tooLongMessage({"地址", "Address"}, 126, Language::Chinese));
    EXPECT_EQ(p, before);
}

TEST(HttpForm, RefusedHeaderKeepsAddressPortAndMethodStored) {
    DeviceParams p;
    p.setText(f::httpHeader, std::string_view("old"));
    HttpForm h = filledHttpForm();
    h.hexToAscii = true;
    h.header = std::string(199, 'x');
    ASSERT_EQ(h.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.text(f::httpHeader).size(), 199u);

    DeviceParams q;
    q.setText(f::httpHeader, std::string_view("old"));
    h.header = std::string(200, 'x');
    EXPECT_EQ(h.accept(q, Language::English),
              tooLongMessage({"HTTP HEADER", "HTTP HEADER"}, 199, Language::English));
    EXPECT_EQ(q.textView(f::httpHost), "api.example.org");
    EXPECT_EQ(q.get(f::httpPort), 8080);
    EXPECT_EQ(q.get(f::httpMethod), 2);
    EXPECT_EQ(q.textView(f::httpHeader), "old");
    EXPECT_EQ(q.get(f::httpHexToAscii), 0);

    // A line break counts two bytes, as the device receives it.
    h.header = std::string(99, 'x') + "\n" + std::string(98, 'y');
    EXPECT_EQ(h.accept(q, Language::Chinese), std::nullopt);
    h.header += "z";
    EXPECT_TRUE(h.accept(q, Language::Chinese));
}

TEST(HttpForm, MethodOutsideTheListOpensUnselectedAndStays) {
    DeviceParams p;
    p.set(f::httpMethod, 3);
    HttpForm h;
    h.open(p);
    EXPECT_EQ(h.method, -1);
    ASSERT_EQ(h.accept(p, Language::Chinese), std::nullopt);
    EXPECT_EQ(p.get(f::httpMethod), 3);
}

// --- APN ---

TEST(ApnForm, ListsTheAuthenticationInEachLanguagesOwnWords) {
    EXPECT_EQ(apnAuthEntries(Language::English)[0], "Disable");
    EXPECT_EQ(apnAuthEntries(Language::English)[3], "APN");
    EXPECT_EQ(apnAuthEntries(Language::Chinese)[0], "不加密");
    EXPECT_EQ(apnAuthEntries(Language::Chinese)[3], "公网APN");
    DeviceParams p;
    p.set(f::apnAuthType, 3);
    ApnForm a;
    a.open(p);
    EXPECT_EQ(a.authType, 3);
}

TEST(ApnForm, StoresAllOrNothingAndNamesTheLimit) {
    const DeviceParams before = noisyRecord(9);
    DeviceParams p = before;
    ApnForm a;
    a.authType = 2;
    a.name = std::string(64, 'n');
    a.userName = "user";
    a.password = "";
    ASSERT_EQ(a.accept(p, Language::Chinese), std::nullopt);
    expectOnlyTouched(before, p, {"apnAuthType", "apnName", "apnUserName", "apnPassword"});
    EXPECT_EQ(p.get(f::apnAuthType), 2);
    EXPECT_EQ(p.text(f::apnName).size(), 64u);
    // An empty password clears the whole field.
    EXPECT_EQ(toBytes(p.bytes(f::apnPassword)), Bytes(65, 0));

    const DeviceParams accepted = p;
    a.name = "cmnet";
    a.password = std::string(65, 'p');
    EXPECT_EQ(a.accept(p, Language::English),
              tooLongMessage({"PASSWORD", "PASSWORD"}, 64, Language::English));
    EXPECT_EQ(p, accepted);  // the APN before it is not stored either
}

}  // namespace
}  // namespace dtu
