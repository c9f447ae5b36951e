// The main window over a session, the way the program builds it, for the widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>

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

}  // namespace dtu::uitest
