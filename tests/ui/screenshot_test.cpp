#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "main_window.h"
#include "pty_server.h"
#include "session.h"

namespace dtu {
namespace {

// Pictures of the window at start and after a read in both languages, for people to look at.
// They are kept with the build's test output, not in the sources.
TEST(Screenshot, WindowAtStartAndAfterAReadInBothLanguages) {
    std::string error;
    auto device = sim::PtyServer::start(sim::SimOptions{}, error);
    ASSERT_TRUE(device) << error;
    Session session;
    MainWindow window(session, PcSettings{});
    window.resize(1280, 760);
    window.show();
    const QDir dir(QStringLiteral(DTU_ARTIFACTS_DIR));
    ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
    // Before the first read: the parameter combos choose nothing yet.
    const QString start = dir.filePath(QStringLiteral("main-window-start.png"));
    ASSERT_TRUE(window.grab().save(start)) << start.toStdString();
    std::printf("screenshot: %s\n", qPrintable(start));

    window.choosePort(QString::fromStdString(device->path()), 4);
    window.togglePort();
    auto* box = window.findChild<QPlainTextEdit*>(QStringLiteral("receiveBox"));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("readButton")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->toPlainText().contains(QStringLiteral("成功")); },
                                10000));

    for (const auto& [lang, name] : {std::pair{Language::Chinese, "main-window-zh.png"},
                                     std::pair{Language::English, "main-window-en.png"}}) {
        window.setLanguage(lang);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("readButton")),
                          Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return box->toPlainText().contains(QStringLiteral("Success")) ||
                       box->toPlainText().contains(QStringLiteral("成功"));
            },
            10000));
        const QPixmap shot = window.grab();
        ASSERT_FALSE(shot.isNull());
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        std::printf("screenshot: %s\n", qPrintable(path));
    }
}

}  // namespace
}  // namespace dtu
