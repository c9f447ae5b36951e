#include "production/history.h"

#include <gtest/gtest.h>

#include <string>

namespace dtu {
namespace {

LabelRequest request(std::string model) {
    LabelRequest r;
    r.mac = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0xFF};
    r.model = std::move(model);
    r.imei = "861234567890123";
    r.version = "V2.1";
    return r;
}

const LocalDateTime kNow{2026, 3, 7, 9, 5, 1};

// The history file after each text is appended to it, as a print appends it.
class HistoryFile {
public:
    std::optional<std::string> print(const LabelRequest& r) {
        HistoryScan scan(historyKey(r));
        scan.feed({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        auto add = historyAppend(scan, r, kNow);
        if (add) text += *add;
        return add;
    }
    std::string text;
};

TEST(History, LineAndKey) {
    EXPECT_EQ(historyLine(request("DTU-X4"), 1, kNow),
              "0001   mac:001b2c3d4eff model:DTU-X4 imei:861234567890123 version V2.1  "
              "time:2026-03-07 09:05:01\r\n");
    EXPECT_EQ(historyKey(request("DTU-X4")),
              "mac:001b2c3d4eff model:DTU-X4 imei:861234567890123 version V2.1 ");
    EXPECT_EQ(historyLine(request("A"), 12345, kNow).substr(0, 9), "12345   m");
}

TEST(History, OneLinePerDeviceAndModel) {
    HistoryFile file;  // missing: empty
    const auto first = file.print(request("DTU-X4"));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->starts_with("0001   mac:001b2c3d4eff "));
    // The same device and model again: printed, not recorded twice.
    EXPECT_FALSE(file.print(request("DTU-X4")));
    // Another model for the same device is a second line.
    const auto second = file.print(request("DTU-X4L"));
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->starts_with("0002   mac:001b2c3d4eff model:DTU-X4L "));
    // A model whose name starts like an earlier one is not taken for it: the key ends in
    // " imei:" after the model.
    EXPECT_FALSE(file.print(request("DTU-X4L")));
    EXPECT_FALSE(file.print(request("DTU-X4")));
    EXPECT_EQ(file.text,
              historyLine(request("DTU-X4"), 1, kNow) + historyLine(request("DTU-X4L"), 2, kNow));
}

TEST(History, CountsLinesOfAnyOriginAndFindsKeysSplitOverPieces) {
    const LabelRequest r = request("M");
    const std::string key = historyKey(r);
    const std::string text = "hand-written note\n\nxx " + key + "yy\r\nlast";
    // Fed in pieces of every size, the result is the same.
    for (std::size_t piece = 1; piece <= text.size(); ++piece) {
        HistoryScan scan(key);
        for (std::size_t at = 0; at < text.size(); at += piece) {
            const std::string part = text.substr(at, piece);
            scan.feed({reinterpret_cast<const std::uint8_t*>(part.data()), part.size()});
        }
        EXPECT_TRUE(scan.duplicate()) << piece;
        EXPECT_EQ(scan.lines(), 4) << piece;
        EXPECT_TRUE(scan.endsMidLine());
    }
    // A key split by a line end is not in the file.
    const std::string split = key.substr(0, 10) + "\n" + key.substr(10);
    HistoryScan scan(key);
    scan.feed({reinterpret_cast<const std::uint8_t*>(split.data()), split.size()});
    EXPECT_FALSE(scan.duplicate());
}

TEST(History, ALastLineWithoutLineEndIsNotJoinedToTheNewLine) {
    HistoryFile file;
    file.text = "0001   hand-edited";
    const auto add = file.print(request("DTU-X4"));
    ASSERT_TRUE(add);
    EXPECT_EQ(*add, "\r\n" + historyLine(request("DTU-X4"), 2, kNow));
}

}  // namespace
}  // namespace dtu
