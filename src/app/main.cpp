#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "app_icon.h"
#include "history_dialog.h"
#include "main_window.h"
#include "pc_settings_file.h"
#include "session.h"

#ifdef DTUCONF_HAVE_SIM
#include "pty_server.h"
#endif

namespace {

// --help and --version only print, so they need no window system: a package build or a
// terminal without a display can ask for them.
bool asksForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all" || a == "--version" ||
            a == "-v")
            return true;
    }
    return false;
}

// Runs work once the event loop is back after the first paint of any widget, so that what the
// window does not need to show itself (opening the record) does not delay it.
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(std::function<void()> work) : m_work(std::move(work)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_work) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, this, std::exchange(m_work, nullptr));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_work;
};

}  // namespace

int main(int argc, char** argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The desktop tool that configures 4G cellular data terminals (DTU and RTU) over a serial "
        "port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Start with the built-in simulated device open."));
    parser.addOption(demo);
    const QCommandLineOption demoKind(
        QStringLiteral("demo-kind"),
        QStringLiteral("The simulated device of --demo: dtu (default) or rtu, with inputs, relays, "
                       "analogue inputs and counters. Implies --demo."),
        QStringLiteral("kind"));
    parser.addOption(demoKind);

    if (asksForText(argc, argv)) {
        QCoreApplication text(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("dtuconf-gui"));
        QCoreApplication::setApplicationVersion(QStringLiteral(DTUCONF_VERSION));
        parser.process(text);  // prints and exits
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dtuconf"));  // names the settings folder
    QApplication::setApplicationVersion(QStringLiteral(DTUCONF_VERSION));
    QApplication::setWindowIcon(dtu::applicationIcon());  // every window and dialog shows it
    // The desktop's own file chooser speaks the desktop's language; Qt's follows the window's.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "dtuconf-gui: %s\nTry 'dtuconf-gui --help'.\n",
                     parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    const QString kind = parser.value(demoKind);
    if (parser.isSet(demoKind) && kind != QStringLiteral("dtu") && kind != QStringLiteral("rtu")) {
        std::fprintf(stderr, "dtuconf-gui: --demo-kind expects dtu or rtu\n");
        return 2;
    }

#ifdef DTUCONF_HAVE_SIM
    std::unique_ptr<dtu::sim::PtyServer> simulated;  // outlives the session's port
#endif
    dtu::Session session;
    std::unique_ptr<dtu::WindowHistory> history;  // outlives the window that shows it
    const dtu::PcSettings settings = dtu::loadPcSettingsFile();
    dtu::MainWindow window(session, settings);
    // The record is opened after the first paint: its driver and file cost the window's start.
    const AfterFirstPaint openHistory([&] {
        history = std::make_unique<dtu::WindowHistory>(session, settings);
        window.setHistory(history.get());
    });
    QObject::connect(&window, &dtu::MainWindow::closing, [&window](const dtu::PcSettings& s) {
        // The window is going away: a settings file that could not be saved is said now.
        std::string error;
        if (dtu::savePcSettingsFile(s, error)) return;
        QMessageBox box(QMessageBox::Warning, QStringLiteral("dtuconf"),
                        (s.language == 1 ? QStringLiteral("The settings were not saved: ")
                                         : QStringLiteral("设置未保存：")) +
                            QString::fromStdString(error),
                        QMessageBox::Ok, &window);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });

    if (parser.isSet(demo) || parser.isSet(demoKind)) {
#ifdef DTUCONF_HAVE_SIM
        std::string error;
        dtu::sim::SimOptions options;  // 9600 baud, like the baud list's default
        if (kind == QStringLiteral("rtu")) options.kind = dtu::sim::DeviceKind::Rtu;
        simulated = dtu::sim::PtyServer::start(options, error);
        if (!simulated) {
            std::fprintf(stderr, "dtuconf-gui: cannot start the simulated device: %s\n",
                         error.c_str());
            return 1;
        }
        window.choosePort(QString::fromStdString(simulated->path()), 4);  // "9600"
        window.togglePort();
#else
        std::fprintf(stderr, "dtuconf-gui: this build has no simulated device\n");
        return 2;
#endif
    }
    window.show();
    return QApplication::exec();
}
