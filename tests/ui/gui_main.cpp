#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

// Widget tests run on the offscreen platform unless told otherwise (QT_QPA_PLATFORM=xcb under
// a display server works too), with the settings folders of Qt's test mode.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
