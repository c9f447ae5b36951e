#include "port_combo.h"

#include <gtest/gtest.h>

#include <QTest>

#include "pty_server.h"

namespace dtu {
namespace {

// The system lists no pseudo-terminal, so the listing is the test's: an adapter plugged in
// after the start is a simulated device that the listing reports from then on.
TEST(PortCombo, ListsOncePaintedAndAgainWhenItDropsDownKeepingTheChoice) {
    QList<PortCombo::Port> present{{QStringLiteral("/dev/ttyS0"), QString()}};
    int listings = 0;
    PortCombo combo([&] {
        ++listings;
        return present;
    });
    combo.chooseIndex(0);  // remembered from the last run
    EXPECT_EQ(listings, 0) << "listed before the window was painted";
    EXPECT_EQ(combo.chosenIndex(), 0);
    combo.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listings == 1; }));
    EXPECT_EQ(combo.path(), QStringLiteral("/dev/ttyS0"));

    std::string error;
    const auto adapter = sim::PtyServer::start({}, error);
    ASSERT_TRUE(adapter) << error;
    const QString adapterPath = QString::fromStdString(adapter->path());
    present.append({adapterPath, QStringLiteral("USB Serial")});
    combo.showPopup();
    combo.hidePopup();
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.itemText(1), adapterPath + QStringLiteral(" (USB Serial)"));
    EXPECT_EQ(combo.path(), QStringLiteral("/dev/ttyS0")) << "the choice stays";
    combo.setCurrentIndex(1);
    EXPECT_EQ(combo.path(), adapterPath);
    EXPECT_EQ(combo.chosenIndex(), 1);

    // A path the system does not list survives relisting, as does an adapter gone meanwhile.
    combo.choosePath(QStringLiteral("/dev/pts/77"));
    present.removeLast();
    combo.showPopup();
    combo.hidePopup();
    EXPECT_EQ(combo.count(), 1);
    EXPECT_EQ(combo.path(), QStringLiteral("/dev/pts/77"));
    EXPECT_EQ(combo.chosenIndex(), -1);
    EXPECT_EQ(listings, 3);
}

}  // namespace
}  // namespace dtu
