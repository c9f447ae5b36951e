#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "message_box.h"
#include "window_fixture.h"

namespace dtu {
namespace {

using uitest::Window;

// Qt's own texts in the window's message box and in the file chooser, as they show now.
std::string stockTexts(QWidget* window) {
    showMessage(window, QStringLiteral("x"));
    QMessageBox* box = window->findChild<QMessageBox*>(QStringLiteral("messageBox"));
    QFileDialog chooser(window);
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    QStringList texts{box->buttons().value(0)->text(),
                      chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text()};
    delete box;
    return texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(Window, StockDialogsFollowTheLanguageMenu) {
    const std::string chinese = stockTexts(window.get());
    EXPECT_EQ(chinese, "确定|查找范围：");
    menuAction(QStringLiteral("English"))->trigger();
    EXPECT_EQ(stockTexts(window.get()), "OK|Look in:");
    menuAction(QStringLiteral("中文"))->trigger();
    EXPECT_EQ(stockTexts(window.get()), chinese);
}

}  // namespace
}  // namespace dtu
