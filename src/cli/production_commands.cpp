#include "production_commands.h"

#include <QDateTime>
#include <QEventLoop>
#include <algorithm>
#include <iostream>

#include "cloud_registration.h"
#include "common.h"
#include "label_print.h"
#include "pc_settings_file.h"
#include "print_probe.h"
#include "production/label.h"
#include "production/registration.h"
#include "session.h"

namespace dtu::cli {

namespace {

bool english(Language lang) {
    return lang == Language::English;
}

std::optional<quint16> portNumber(const std::string& text) {
    const auto hp = parseHostPort("h:" + text);
    if (!hp) return std::nullopt;
    return hp->port;
}

// The receive box's line without its CR LF.
std::string line(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return std::string(text);
}

bool macReported(const Session& session) {
    const auto mac = session.params().bytes(fields::macAddress);
    return std::any_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b != 0; });
}

int runLabel(const ProductionJob& job, Session& session) {
    PrintServiceProbe probe;
    bool present = false;
    QEventLoop loop;
    QObject::connect(&probe, &PrintServiceProbe::finished, &loop, [&](bool answered) {
        present = answered;
        loop.quit();
    });
    probe.start(job.printHost, job.printPort);
    loop.exec();
    const std::string service =
        job.printHost.toString().toStdString() + ":" + std::to_string(job.printPort);
    if (!present) return fail(kExitFailed, "no print service answers on " + service);

    const LabelPrintResult r =
        printLabel(job.dir, labelRequest(session.params(), job.model, job.withLogo), job.printHost,
                   job.printPort, QDateTime::currentDateTime(), job.lang);
    if (r.refusal == LabelRefusal::LogoMissing || r.refusal == LabelRefusal::TemplateMissing) {
        // The window's message names no folder; a script's reader wants the path and why.
        return fail(kExitFile, r.refusalText.toStdString() + " (cannot open " +
                                   r.readError.toStdString() + ")");
    }
    if (r.refusal != LabelRefusal::None) return fail(kExitFile, r.refusalText.toStdString());
    const bool en = english(job.lang);
    if (!r.historyLine.isEmpty())
        std::cout << r.historyLine.toStdString() << "\n";
    else if (r.historyDuplicate)
        std::cout << (en ? "history.txt already holds this device and model\n"
                         : "history.txt 中已有此设备和型号\n");
    for (const QString& e : r.fileErrors) fail(kExitFile, e.toStdString());
    if (!r.sendError.isEmpty())
        return fail(kExitFailed, "sending to " + service + ": " + r.sendError.toStdString());
    std::cout << (en ? "Label sent: " : "标签已发送：") << r.datagrams
              << (en ? " datagrams, " : " 个数据包，") << r.bytes
              << (en ? " bytes to " : " 字节，至 ") << service << "\n";
    return r.fileErrors.isEmpty() ? kExitOk : kExitFile;
}

int runRegister(const ProductionJob& job, Session& session) {
    CloudRegistration registration;
    RegistrationResult result = RegistrationResult::Failed;
    QEventLoop loop;
    QObject::connect(&registration, &CloudRegistration::finished, &loop, [&](RegistrationResult r) {
        result = r;
        loop.quit();
    });
    const auto mac = session.params().bytes(fields::macAddress);
    registration.start(job.cloudHost, job.cloudPort, mac.first<6>());
    loop.exec();
    std::cout << line(registrationText(result)) << "\n";
    return result == RegistrationResult::Failed ? kExitFailed : kExitOk;
}

}  // namespace

bool isProductionCommand(const std::string& name) {
    return name == "label" || name == "register";
}

QString productionDirOption(const Args& args) {
    if (auto dir = args.value("--production-dir")) return QString::fromStdString(*dir);
    return productionDir(loadPcSettingsFile());
}

int prepareProduction(const std::string& command, const Args& args, Language lang,
                      ProductionJob& job) {
    const PcSettings settings = loadPcSettingsFile();
    const std::string settingsFile = pcSettingsPath().toStdString();
    job.command = command;
    job.lang = lang;
    job.dir = productionDirOption(args);

    if (command == "label") {
        job.printHost = QHostAddress(QString::fromStdString(settings.printHost));
        if (job.printHost.isNull())
            return fail(kExitFile, settingsFile + ": printhost must be an IP address");
        const auto port =
            portNumber(args.value("--print-port").value_or(std::to_string(settings.printPort)));
        if (!port)
            return args.value("--print-port")
                       ? fail(kExitUsage, "--print-port: a port from 1 to 65535")
                       : fail(kExitFile, settingsFile + ": printport must be from 1 to 65535");
        job.printPort = *port;

        const auto model = args.value("--model");
        if (!model) return fail(kExitUsage, "label needs --model NAME");
        job.model = *model;
        job.withLogo = !args.flag("--no-logo");
        // As in the window, a label carries one of the listed models.
        const auto models = loadModelList(job.dir);
        const std::string listPath = (job.dir + '/' +
                                      QString::fromUtf8(productionFile::kModels.data(),
                                                        qsizetype(productionFile::kModels.size())))
                                         .toStdString();
        if (models.empty()) return fail(kExitFile, listPath + " lists no models");
        if (std::find(models.begin(), models.end(), job.model) == models.end()) {
            std::string known;
            for (const auto& m : models) known += (known.empty() ? "" : ", ") + m;
            return fail(kExitUsage,
                        "'" + job.model + "' is not in " + listPath + " (" + known + ")");
        }
    } else {
        HostPort server{settings.cloudHost, 0};
        if (auto v = args.value("--server")) {
            const auto hp = parseHostPort(*v);
            if (!hp) return fail(kExitUsage, "--server: HOST:PORT");
            server = *hp;
        } else if (settings.cloudPort < 1 || settings.cloudPort > 65535) {
            return fail(kExitFile, settingsFile + ": cloudport must be from 1 to 65535");
        } else {
            server.port = static_cast<std::uint16_t>(settings.cloudPort);
        }
        job.cloudHost = QString::fromStdString(server.host);
        job.cloudPort = server.port;
    }
    return kExitOk;
}

int runProduction(const ProductionJob& job, Session& session) {
    if (!macReported(session)) return fail(kExitFailed, "the device did not report its MAC");
    return job.command == "label" ? runLabel(job, session) : runRegister(job, session);
}

}  // namespace dtu::cli
