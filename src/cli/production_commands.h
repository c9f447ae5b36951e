#pragma once

#include <QHostAddress>
#include <QString>
#include <string>

#include "args.h"
#include "text/language.h"

namespace dtu {
class Session;
}

namespace dtu::cli {

// label --model NAME [--no-logo] [--print-port N]; register [--server HOST:PORT]
bool isProductionCommand(const std::string& name);

// The production folder: --production-dir, or the one the PC settings name.
QString productionDirOption(const Args& args);

// What a production command will do, with its options and settings checked before the port
// opens.
struct ProductionJob {
    std::string command;
    Language lang = Language::Chinese;
    QString dir;
    std::string model;
    bool withLogo = true;
    QHostAddress printHost;
    quint16 printPort = 0;
    QString cloudHost;
    quint16 cloudPort = 0;
};

// Reads the settings, applies the options and, for a label, checks the model against the
// model list; kExitOk, or the exit code after saying why.
int prepareProduction(const std::string& command, const Args& args, Language lang,
                      ProductionJob& job);

// Runs a prepared command on a session that has just read the device; returns the exit code.
int runProduction(const ProductionJob& job, Session& session);

}  // namespace dtu::cli
