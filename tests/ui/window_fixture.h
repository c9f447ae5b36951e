// The main window over a session, the way the program builds it, for the widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "click_label.h"
#include "main_window.h"
#include "pty_server.h"
#include "session.h"

namespace dtu::uitest {

inline bool waitFor(const std::function<bool()>& done, int limitMs = 10000) {
    return QTest::qWaitFor(done, limitMs);
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(session, settings);
        window->show();
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != window.get() && w->isVisible()) w->close();
        window.reset();
    }

    template <typename T>
    T* find(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString receiveBox() const { return find<QPlainTextEdit>("receiveBox")->toPlainText(); }
    bool receiveBoxHas(const QString& text) const {
        return waitFor([&] { return receiveBox().contains(text); });
    }
    // The text of the message boxes now open over the window or one of its dialogs (closing
    // them).
    QStringList takeMessages(QWidget* over = nullptr) {
        QStringList texts;
        for (QMessageBox* box : (over ? over : window.get())->findChildren<QMessageBox*>()) {
            if (!box->isVisible()) continue;
            texts << box->text();
            box->close();
        }
        QCoreApplication::processEvents();
        return texts;
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    void type(const char* editName, const QString& text) {
        QLineEdit* e = find<QLineEdit>(editName);
        e->clear();
        // Typed key by key where the keyboard can; other characters come as an input method's.
        bool latin =
            std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
        if (latin)
            QTest::keyClicks(e, text);
        else
            e->insert(text);
    }
    QAction* menuAction(const QString& text) const {
        for (QAction* a : window->menuBar()->actions()) {
            if (a->text() == text) return a;
            if (a->menu())
                for (QAction* item : a->menu()->actions())
                    if (item->text() == text) return item;
        }
        ADD_FAILURE() << text.toStdString();
        return nullptr;
    }

    PcSettings settings;
    Session session;
    std::unique_ptr<MainWindow> window;
};

// The window against the simulated device on a pseudo-terminal.
class WindowOnDevice : public Window {
protected:
    void SetUp() override {
        std::string error;
        sim::SimOptions options = simOptions;
        options.kind = kind;
        device = sim::PtyServer::start(options, error);
        ASSERT_TRUE(device) << error;
        Window::SetUp();
        window->choosePort(QString::fromStdString(device->path()), 4);  // 9600
        click(find<QPushButton>("openButton"));
        ASSERT_TRUE(session.isOpen());
    }
    void TearDown() override {
        Window::TearDown();
        device.reset();
    }
    void read() {
        const int before = receiveBox().count(QStringLiteral("获取参数:成功"));
        click(find<QPushButton>("readButton"));
        ASSERT_TRUE(
            waitFor([&] { return receiveBox().count(QStringLiteral("获取参数:成功")) > before; }));
    }
    void saveAndWait() {
        click(find<QPushButton>("saveButton"));
        ASSERT_TRUE(receiveBoxHas(QStringLiteral("保存参数:成功"))) << receiveBox().toStdString();
    }

    sim::DeviceKind kind = sim::DeviceKind::Dtu;
    sim::SimOptions simOptions;  // faults, set before SetUp
    std::unique_ptr<sim::PtyServer> device;
};

// The window on the simulated device with what the feature dialog tests need: opening a dialog
// from its link, its widgets by name, closing it, and pictures of it.
class DialogsOnDevice : public WindowOnDevice {
protected:
    // Clicks the link (ticking its box first where the link follows one) and returns the
    // dialog it opened.
    template <typename D>
    D* open(const char* link, const char* box = nullptr) {
        if (box) find<QCheckBox>(box)->setChecked(true);
        auto* l = find<ClickLabel>(link);
        EXPECT_TRUE(l->isEnabled()) << link;
        click(l);
        D* dialog = window->findChild<D*>();
        EXPECT_TRUE(dialog && dialog->isVisible()) << link;
        return dialog;
    }
    template <typename T>
    static T* in(QWidget* dialog, const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void typeIn(QWidget* dialog, const char* name, const QString& text) {
        QLineEdit* e = in<QLineEdit>(dialog, name);
        e->selectAll();
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
            QTest::keyClicks(e, text);
        else
            e->insert(text);
    }
    // Closes a dialog with a button (or its close box) and waits until it is gone.
    bool closeWith(QWidget* dialog, const char* button) {
        QPointer<QWidget> alive(dialog);
        if (button)
            click(in<QPushButton>(dialog, button));
        else
            dialog->close();
        return waitFor([&] { return alive.isNull(); });
    }
    static void saveShot(QWidget* dialog, const char* name) {
        const QDir dir(QStringLiteral(DTU_ARTIFACTS_DIR));
        ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(dialog->grab().save(path)) << path.toStdString();
        std::printf("screenshot: %s\n", qPrintable(path));
    }
};

}  // namespace dtu::uitest
