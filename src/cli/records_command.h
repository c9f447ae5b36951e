#pragma once

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "provisioning_db.h"

namespace dtu::cli {

// records [--record DB] [--imei X] [--csv | --json] [--import-journal FILE]: what the
// provisioning record holds, or a journal of rows loaded into it.
int runRecords(const std::vector<std::string>& args);

// The Qt application the record and the ports need, unless there is one.
std::unique_ptr<QCoreApplication> ensureApp();

// The --record value, and the production folder the default lives in.
std::optional<RecordTarget> recordTarget(const Args& args, std::string& error);

// Loads a journal into the record and says so on stderr (a line for what was loaded, one for
// what was not); false when nothing could be loaded.
bool loadJournal(ProvisioningDb& db, const QString& path);

}  // namespace dtu::cli
