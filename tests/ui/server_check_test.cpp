// The test-connection buttons of the main window and the MQTT dialog, against a closed port and
// a broker started on loopback: the lines land in the receive box while the window stays live.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "mqtt_dialog.h"
#include "support/mqtt_broker.h"
#include "window_fixture.h"

namespace dtu {
namespace {

class ServerCheckButtons : public uitest::Window {
protected:
    // The button of that top-level window (the dialog's is also the main window's child).
    QPushButton* checkButton(QWidget* top) {
        for (auto* b : top->findChildren<QPushButton*>(QStringLiteral("serverCheckButton")))
            if (b->window() == top) return b;
        ADD_FAILURE() << "no test connection button";
        return nullptr;
    }
};

TEST_F(ServerCheckButtons, MainWindowAndMqttDialogWriteTheirLinesToTheReceiveBox) {
    test::MqttBroker broker;
    ASSERT_TRUE(broker.running()) << broker.error();

    // Server A as typed, on a port nothing listens on.
    const QString closed = QString::number(test::freeLoopbackPort());
    find<QComboBox>("workMode")->setCurrentIndex(0);
    find<QCheckBox>("serverAEnable")->setChecked(true);
    type("serverAHost", QStringLiteral("127.0.0.1"));
    type("serverAPort", closed);
    find<QComboBox>("serverAProtocol")->setCurrentIndex(0);
    QPushButton* button = checkButton(window.get());
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), QStringLiteral("测试连接"));
    click(button);
    EXPECT_TRUE(receiveBoxHas(QStringLiteral("服务器A TCP 127.0.0.1:%1: 连接被拒绝").arg(closed)))
        << receiveBox().toStdString();

    // The dialog tries its own MQTT settings, the main window's box unticked or not.
    auto* dialog = new MqttDialog(session, {}, window.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    auto edit = [&](const char* name, const QString& text) {
        dialog->findChild<QLineEdit*>(QString::fromLatin1(name))->setText(text);
    };
    edit("host", QStringLiteral("127.0.0.1"));
    edit("port", QString::number(broker.port()));
    edit("userName", QString::fromLatin1(test::MqttBroker::kUser));
    edit("password", QString::fromLatin1(test::MqttBroker::kPassword));
    edit("clientId", QStringLiteral("dialog-check"));
    edit("keepAlive", QStringLiteral("60"));
    click(checkButton(dialog));
    EXPECT_TRUE(receiveBoxHas(QStringLiteral("MQTT 127.0.0.1:%1: 成功 (").arg(broker.port())))
        << receiveBox().toStdString();

    menuAction(QStringLiteral("English"))->trigger();
    EXPECT_EQ(button->text(), QStringLiteral("Test connection"));
}

}  // namespace
}  // namespace dtu
