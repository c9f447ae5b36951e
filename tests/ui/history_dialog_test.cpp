#include "history_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>

#include "files/param_file.h"
#include "form_widgets.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;

using form::qs;
using uitest::waitFor;

// The window as the program builds it, keeping its history in a record of its own.
class HistoryWindow : public uitest::WindowOnDevice {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.record = dir.filePath(QStringLiteral("record.sqlite")).toStdString();
        WindowOnDevice::SetUp();
        history = std::make_unique<WindowHistory>(session, settings);
        ASSERT_NE(history->history(), nullptr) << receiveBox().toStdString();
        window->setHistory(history.get());
    }
    void TearDown() override {
        WindowOnDevice::TearDown();
        history.reset();
    }
    void saved(int times) {
        ASSERT_TRUE(waitFor([&] {
            return receiveBox().count(QStringLiteral("保存参数:成功")) == times;
        })) << receiveBox().toStdString();
    }

    QTemporaryDir dir;
    std::unique_ptr<WindowHistory> history;
};

TEST_F(HistoryWindow, ListsTheReadAndTheSaveAndLoadsTheReadBackIntoTheForm) {
    read();
    type("serverAPort", QStringLiteral("7001"));
    click(find<QPushButton>("saveButton"));
    saved(1);

    menuAction(QStringLiteral("参数历史"))->trigger();
    auto* dialog = window->findChild<HistoryDialog*>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    auto* entries = dialog->findChild<QTableWidget*>(QStringLiteral("entryTable"));
    auto* differences = dialog->findChild<QTableWidget*>(QStringLiteral("differenceTable"));
    ASSERT_EQ(entries->rowCount(), 2);
    EXPECT_EQ(entries->item(0, 1)->text(), QStringLiteral("保存"));
    EXPECT_EQ(entries->item(0, 2)->text(), QStringLiteral("861234050123457"));
    EXPECT_EQ(entries->item(0, 6)->text(), QStringLiteral("serverAPort"));
    EXPECT_EQ(entries->item(1, 1)->text(), QStringLiteral("读取"));

    entries->selectRow(1);
    ASSERT_EQ(differences->rowCount(), 1);
    EXPECT_EQ(differences->item(0, 0)->text(), QStringLiteral("serverAPort"));
    EXPECT_EQ(differences->item(0, 1)->text(), QStringLiteral("6000"));
    EXPECT_EQ(differences->item(0, 2)->text(), QStringLiteral("7001"));

    click(dialog->findChild<QPushButton*>(QStringLiteral("loadButton")));
    EXPECT_EQ(find<QLineEdit>("serverAPort")->text(), QStringLiteral("6000"));
    EXPECT_EQ(differences->rowCount(), 0) << "the form holds the entry now";
    const QPointer<HistoryDialog> gone(dialog);
    dialog->close();
    ASSERT_TRUE(waitFor([&] { return gone.isNull(); }));

    // In English every word of the window is English.
    window->setLanguage(Language::English);
    menuAction(QStringLiteral("History"))->trigger();
    dialog = window->findChild<HistoryDialog*>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    entries = dialog->findChild<QTableWidget*>(QStringLiteral("entryTable"));
    ASSERT_EQ(entries->rowCount(), 2);
    QStringList words{dialog->windowTitle()};
    for (auto* w : dialog->findChildren<QAbstractButton*>()) words << w->text();
    for (auto* l : dialog->findChildren<QLabel*>()) words << l->text();
    for (auto* t : dialog->findChildren<QTableWidget*>())
        for (int c = 0; c < t->columnCount(); ++c) words << t->horizontalHeaderItem(c)->text();
    for (int r = 0; r < entries->rowCount(); ++r) words << entries->item(r, 1)->text();
    for (const QString& w : words)
        EXPECT_TRUE(std::none_of(w.begin(), w.end(), [](QChar c) { return c.unicode() >= 0x2e80; }))
            << w.toStdString();
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(DTU_ARTIFACTS_DIR)));
    dialog->grab().save(QStringLiteral(DTU_ARTIFACTS_DIR "/history_dialog_en.png"));
}

TEST_F(HistoryWindow, OneClickConfigurationIsKeptAsSentForTheDeviceOnThePort) {
    read();
    // A file made on another device, with a server port of its own.
    DeviceParams record = session.params();
    record.setText(f::imei, std::string_view("861234050199999"));
    record.set(f::serverAPort, 7002);
    const QString path = dir.filePath(QStringLiteral("line.cfg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(record.image().data()), kParamFileSize);
    file.close();
    ASSERT_TRUE(window->importFrom(path));
    window->oneClickConfigure();
    saved(1);

    QString error;
    const auto listed = history->history()->list(QStringLiteral("861234050123457"), 10, error);
    ASSERT_TRUE(listed) << error.toStdString();
    ASSERT_EQ(listed->size(), 2u);
    const HistoryEntry& save = listed->front().entry;
    EXPECT_EQ(save.kind, HistoryKind::Save);
    const auto kept = history->history()->entry(save.id, error);
    ASSERT_TRUE(kept && kept->params) << error.toStdString();
    EXPECT_EQ(kept->params->get(f::serverAPort), 7002);
}

TEST_F(HistoryWindow, ARecordThatIsBusyCostsTheSaveNothingAndSaysSo) {
    read();
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
        other.setDatabaseName(qs(settings.record));
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        type("serverAPort", QStringLiteral("7003"));
        click(find<QPushButton>("saveButton"));
        saved(1);
        EXPECT_TRUE(receiveBoxHas(QStringLiteral("parameter history not recorded")));
        EXPECT_EQ(device->image().get(f::serverAPort), 7003);
        ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

}  // namespace
}  // namespace dtu
