#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <memory>

#include "app_icon.h"
#include "main_window.h"
#include "pc_settings_file.h"
#include "session.h"

#ifdef DTUCONF_HAVE_SIM
#include "pty_server.h"
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dtuconf"));
    QApplication::setApplicationVersion(QStringLiteral(DTUCONF_VERSION));
    QApplication::setWindowIcon(dtu::applicationIcon());  // every window and dialog shows it

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configuration tool for 4G data terminals"));
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
    parser.process(app);
    const QString kind = parser.value(demoKind);
    if (parser.isSet(demoKind) && kind != QStringLiteral("dtu") && kind != QStringLiteral("rtu")) {
        std::fprintf(stderr, "dtuconf-gui: --demo-kind expects dtu or rtu\n");
        return 2;
    }

#ifdef DTUCONF_HAVE_SIM
    std::unique_ptr<dtu::sim::PtyServer> simulated;  // outlives the session's port
#endif
    dtu::Session session;
    dtu::MainWindow window(session, dtu::loadPcSettingsFile());
    QObject::connect(&window, &dtu::MainWindow::closing,
                     [](const dtu::PcSettings& s) { dtu::savePcSettingsFile(s); });

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
