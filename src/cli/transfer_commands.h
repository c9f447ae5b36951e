#pragma once

#include <QString>
#include <optional>
#include <string>

#include "args.h"
#include "text/language.h"
#include "transfer/firmware_image.h"

namespace dtu {
class Session;
}

namespace dtu::cli {

// flash FILE.bin [--factory-reset]; certs [--ca F] [--cert F] [--key F] [--checksums]
bool isTransferCommand(const std::string& name);

// What a transfer command will do, with its files read and checked before the port opens.
struct TransferJob {
    std::string command;
    std::optional<FirmwareImage> image;
    bool factoryReset = false;
    QString caPath, clientCertPath, clientKeyPath;  // empty: no such file
    bool saveCerts = false;
    bool readChecksums = false;
};

// Reads and checks the files of a transfer command; kExitOk, or the exit code after saying why.
int prepareTransfer(const std::string& command, const Args& args, Language lang, TransferJob& job);
// The two halves of it: the firmware image, and the certificate files of --ca, --cert and
// --key (with --checksums, or a read of the checksums only).
int prepareFirmware(const std::string& path, bool factoryReset, Language lang, TransferJob& job);
int prepareCerts(const Args& args, Language lang, TransferJob& job);

// Runs a prepared transfer on an open session; returns the exit code.
int runTransfer(const TransferJob& job, Session& session);

}  // namespace dtu::cli
