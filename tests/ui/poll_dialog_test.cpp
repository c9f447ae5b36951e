// The edge computing form, opened from the main window's link and driven as a user does against
// the simulated device: a poll table built in the grid, saved, read back, and exchanged as CSV.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "click_label.h"
#include "poll_dialog.h"
#include "rtu/poll_form.h"
#include "text/gbk.h"
#include "window_fixture.h"

namespace dtu {
namespace {

namespace f = fields;
using uitest::waitFor;

class PollDialogTest : public uitest::WindowOnDevice {
protected:
    PollDialog* openForm() {
        find<QComboBox>("edgeMode")->setCurrentIndex(1);
        auto* link = find<ClickLabel>("edgeLink");
        EXPECT_TRUE(link->isEnabled());
        click(link);
        auto* dialog = window->findChild<PollDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        if (dialog) m_table = in<QTableWidget>(dialog, "pollTable");
        return dialog;
    }
    template <typename T>
    static T* in(QWidget* dialog, const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPoint cellCentre(int row, int column) {
        m_table->scrollToItem(m_table->item(row, column));
        return m_table->visualItemRect(m_table->item(row, column)).center();
    }
    // A double-click as the mouse makes it: a click, then the second press.
    void doubleClick(int row, int column) {
        const QPoint at = cellCentre(row, column);
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m_table->viewport(), Qt::LeftButton, {}, at);
    }
    // Double-click on a cell, type over its text and press Enter, as a user edits the grid; the
    // cell then shows `shown` (what was typed, unless the grid writes it its own way).
    void editCell(int row, int column, const QString& text, QString shown = {}) {
        if (shown.isEmpty()) shown = text;
        doubleClick(row, column);
        QLineEdit* editor = nullptr;
        ASSERT_TRUE(waitFor([&] {
            editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            return editor != nullptr;
        })) << row
            << "," << column;
        editor->selectAll();
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
            QTest::keyClicks(editor, text);
        else
            editor->insert(text);
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(waitFor([&] { return m_table->item(row, column)->text() == shown; }))
            << m_table->item(row, column)->text().toStdString();
    }
    // Double-click on a type cell and pick an entry of its drop-down's list with the keyboard.
    void pickType(int row, int entry) {
        doubleClick(row, kPollType);
        QComboBox* combo = nullptr;
        ASSERT_TRUE(waitFor([&] {
            combo = m_table->findChild<QComboBox*>(QStringLiteral("typeEditor"));
            return combo && combo->view()->isVisible();
        }));
        const int steps = entry - combo->currentIndex();
        for (int i = 0; i < std::abs(steps); ++i)
            QTest::keyClick(combo->view(), steps > 0 ? Qt::Key_Down : Qt::Key_Up);
        QTest::keyClick(combo->view(), Qt::Key_Return);
        ASSERT_TRUE(
            waitFor([&] { return !m_table->findChild<QComboBox*>(QStringLiteral("typeEditor")); }));
    }
    QStringList cells() const {
        QStringList out;
        for (int r = 0; r < m_table->rowCount(); ++r)
            for (int c = 0; c < m_table->columnCount(); ++c) out << m_table->item(r, c)->text();
        return out;
    }
    bool closeWith(QWidget* dialog, const char* button) {
        QPointer<QWidget> alive(dialog);
        click(in<QPushButton>(dialog, button));
        return waitFor([&] { return alive.isNull(); });
    }
    static QByteArray fileBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void saveShot(QWidget* dialog, const char* name) {
        const QDir dir(QStringLiteral(DTU_ARTIFACTS_DIR));
        ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(dialog->grab().save(path)) << path.toStdString();
        std::printf("screenshot: %s\n", qPrintable(path));
    }

    QTableWidget* m_table = nullptr;
    QTemporaryDir m_dir;
};

TEST_F(PollDialogTest, AThreeEntryTableReachesTheDeviceComesBackAndTravelsAsCsv) {
    read();
    find<QComboBox>("edgeMode")->setCurrentIndex(0);
    EXPECT_FALSE(find<ClickLabel>("edgeLink")->isEnabled());
    PollDialog* dialog = openForm();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(m_table->rowCount(), 0);

    for (int i = 0; i < 3; ++i) click(in<QPushButton>(dialog, "addButton"));
    ASSERT_EQ(m_table->rowCount(), 3);
    EXPECT_EQ(m_table->item(2, kPollName)->text(), QStringLiteral("k2"));
    editCell(0, kPollCount, QStringLiteral("2"));
    pickType(0, 2);
    EXPECT_EQ(m_table->item(0, kPollType)->text(), QStringLiteral("浮点型(ABCD)"));
    editCell(0, kPollName, QStringLiteral("温度"));
    editCell(0, kPollK, QStringLiteral("0.1"), QStringLiteral("0.1000"));
    editCell(0, kPollB, QStringLiteral("-40"), QStringLiteral("-40.0000"));
    editCell(1, kPollAddress, QStringLiteral("2"));
    editCell(1, kPollFunction, QStringLiteral("1"));
    editCell(1, kPollCount, QStringLiteral("9"));
    editCell(1, kPollName, QStringLiteral("door"));
    editCell(1, kPollEmergency, QStringLiteral("1"));
    editCell(2, kPollStart, QStringLiteral("100"));
    editCell(2, kPollThreshold1, QStringLiteral("-5"));
    editCell(2, kPollThreshold2, QStringLiteral("500"));
    // Each edit moves the cache addresses below it; Enter never closed the form.
    EXPECT_EQ(m_table->item(1, kPollCacheAddress)->text(), QStringLiteral("4"));
    EXPECT_EQ(m_table->item(2, kPollCacheAddress)->text(), QStringLiteral("6"));
    EXPECT_TRUE(dialog->isVisible());

    in<QLineEdit>(dialog, "timeout")->setText(QStringLiteral("3"));
    in<QLineEdit>(dialog, "pollInterval")->setText(QStringLiteral("10"));
    in<QComboBox>(dialog, "uploadFormat")->setCurrentIndex(1);
    click(in<QCheckBox>(dialog, "timestamp"));
    in<QLineEdit>(dialog, "prefix")->setText(QStringLiteral("dev-7"));
    const QStringList built = cells();
    const QString csv = m_dir.filePath(QStringLiteral("table.csv"));
    ASSERT_TRUE(dialog->exportCsv(csv));
    EXPECT_EQ(takeMessages(dialog).size(), 1);  // where it went
    saveShot(dialog, "poll-dialog-zh.png");
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(session.params().get(f::modbusItemCount), 3);

    saveAndWait();
    const DeviceParams kept = device->image();
    EXPECT_EQ(kept.get(f::modbusItemCount), 3);
    EXPECT_EQ(kept.get(f::modbusTimeout), 3);
    EXPECT_EQ(kept.get(f::modbusTimestamp), 1);
    EXPECT_EQ(kept.textView(f::modbusItem(0).jsonName), "\xCE\xC2\xB6\xC8");  // 温度 in GBK
    EXPECT_EQ(kept.get(f::modbusItem(0).scaleK), 1000u);
    EXPECT_EQ(kept.get(f::modbusItem(0).offsetB), 0x80000000u | 400000u);
    EXPECT_EQ(kept.get(f::modbusItem(1).emergencyData), 1);
    EXPECT_EQ(kept.get(f::modbusItem(2).threshold1), -5);

    // Read back from the device into an emptied table: the form shows the same grid.
    session.params().set(f::modbusItemCount, 0);
    read();
    dialog = openForm();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(cells(), built);
    EXPECT_EQ(in<QLineEdit>(dialog, "prefix")->text(), QStringLiteral("dev-7"));

    // The CSV of what came back is the CSV of what was built, and importing it changes nothing.
    const QString again = m_dir.filePath(QStringLiteral("again.csv"));
    ASSERT_TRUE(dialog->exportCsv(again));
    takeMessages(dialog);
    EXPECT_EQ(fileBytes(again), fileBytes(csv));
    click(in<QPushButton>(dialog, "deleteButton"));  // nothing selected: nothing deleted
    EXPECT_EQ(m_table->rowCount(), 3);
    ASSERT_TRUE(dialog->importCsv(csv));
    EXPECT_EQ(cells(), built);
    const DeviceParams before = session.params();
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(session.params(), before);
}

TEST_F(PollDialogTest, DeletingSelectsTheRowNowAtItsPlaceAndCancelKeepsNothing) {
    PollDialog* dialog = openForm();
    ASSERT_TRUE(dialog);
    for (int i = 0; i < 3; ++i) dialog->addEntry();
    QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, cellCentre(1, kPollSerial));
    click(in<QPushButton>(dialog, "deleteButton"));
    ASSERT_EQ(m_table->rowCount(), 2);
    EXPECT_EQ(m_table->item(1, kPollSerial)->text(), QStringLiteral("2"));
    EXPECT_EQ(m_table->item(1, kPollName)->text(), QStringLiteral("k2"));
    EXPECT_EQ(m_table->currentRow(), 1);
    EXPECT_TRUE(m_table->item(1, kPollName)->isSelected());

    // A name that does not fit is refused at once and the cell keeps its name.
    click(in<QCheckBox>(dialog, "utf8Names"));
    doubleClick(0, kPollName);
    ASSERT_TRUE(waitFor([] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }));
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    editor->setText(QString(20, QChar(0x6E29)));  // 20 x 温: 60 bytes in UTF-8
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !takeMessages(dialog).isEmpty(); }));
    EXPECT_EQ(m_table->item(0, kPollName)->text(), QStringLiteral("k0"));

    // Enter in any edit of the form ends the edit, never the form.
    QTest::keyClick(in<QLineEdit>(dialog, "timeout"), Qt::Key_Return);
    QTest::keyClick(in<QPushButton>(dialog, "okButton"), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->focusWidget(), m_table);

    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
    EXPECT_EQ(session.params().get(f::modbusItemCount), 0);
    // The encoding box is the PC's choice and stays, also after Cancel.
    EXPECT_EQ(window->pcSettings().utf8Names, 1);
}

TEST_F(PollDialogTest, AGbkFileIsImportedAndATableTooBigToSaveIsRefusedOnOk) {
    PollDialog* dialog = openForm();
    ASSERT_TRUE(dialog);
    auto* use = in<QLabel>(dialog, "frameUse");
    EXPECT_EQ(use->text(), QStringLiteral("保存帧：497 / 4096 字节"));

    // 64 entries with 57-byte names, as a spreadsheet on a Chinese system saves them.
    QString csv = QStringLiteral("地址,数据类型,json名\r\n");
    for (int i = 0; i < 64; ++i)
        csv += QStringLiteral("1,浮点型(ABCD),%1\r\n").arg(QString(57, u'n'));
    const QString path = m_dir.filePath(QStringLiteral("gbk.csv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const auto gbk = utf8ToGbk(csv.toStdString());
    ASSERT_TRUE(gbk);
    file.write(reinterpret_cast<const char*>(gbk->data()), static_cast<qint64>(gbk->size()));
    file.close();
    ASSERT_TRUE(dialog->importCsv(path));
    EXPECT_EQ(takeMessages(dialog),
              QStringList{QStringLiteral("gbk.csv: 不是UTF-8文件，已按GBK读取")});
    EXPECT_EQ(m_table->rowCount(), 64);
    EXPECT_EQ(m_table->item(63, kPollType)->text(), QStringLiteral("浮点型(ABCD)"));
    EXPECT_EQ(use->text(), QStringLiteral("保存帧：5873 / 4096 字节"));

    // What the save would refuse, OK refuses; the form stays open and the record as it was.
    click(in<QPushButton>(dialog, "okButton"));
    const QStringList refused = takeMessages(dialog);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].contains(QStringLiteral("5873"))) << refused[0].toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(session.params().get(f::modbusItemCount), 0);
    ASSERT_TRUE(closeWith(dialog, "cancelButton"));
}

TEST_F(PollDialogTest, InEnglishTheDropDownAndTheCellNameTheTypesInEnglish) {
    window->setLanguage(Language::English);
    PollDialog* dialog = openForm();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Modbus Poll"));
    EXPECT_EQ(m_table->horizontalHeaderItem(kPollEmergency)->text(), QStringLiteral("EmgData"));
    dialog->addEntry();
    pickType(0, 2);
    EXPECT_EQ(m_table->item(0, kPollType)->text(), QStringLiteral("Float(ABCD)"));
    saveShot(dialog, "poll-dialog-en.png");
    ASSERT_TRUE(closeWith(dialog, "okButton"));
    EXPECT_EQ(session.params().get(f::modbusItem(0).dataType), 2);
}

}  // namespace
}  // namespace dtu
