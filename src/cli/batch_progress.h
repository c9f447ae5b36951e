#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "device_provisioner.h"
#include "production/batch_plan.h"

namespace dtu::cli {

// One line of the progress and one row of the record: a device on a port, or a plan row that
// never got one.
struct BatchEntry {
    QString port;
    QString imei;
    std::unique_ptr<DeviceProvisioner> device;
    const PlanRow* row = nullptr;
    // Set once it is over.
    bool over = false;
    ProvisionResult result = ProvisionResult::Running;
    ProvisionStep failedStep = ProvisionStep::Done;
    QString reason;
    QDateTime started, ended;
    // The step now running, for its rate.
    ProvisionStep step = ProvisionStep::Open;
    quint32 done = 0, total = 0;
    QElapsedTimer stepClock;
    quint64 stepBytes = 0;
};

// How the entry ended, as the progress shows it (empty while it runs).
std::string resultText(const BatchEntry& e, bool stopped);

// Progress: on a terminal a table with a line per device, redrawn in place; otherwise a plain
// line per step and per result. Texts from devices and plans are shown with their control
// characters escaped.
class BatchProgress {
public:
    explicit BatchProgress(const std::vector<std::unique_ptr<BatchEntry>>& entries);

    bool terminal() const { return m_terminal; }
    // The batch stops: entries that never started say so.
    void stopped() { m_stopped = true; }

    // A device began a step.
    void stepped(const BatchEntry& e);
    // A device (or a row) is over.
    void ended(const BatchEntry& e);
    void draw();
    // A line about the whole batch, on stderr; on a terminal the table starts again below it.
    void note(const std::string& text);

private:
    const std::vector<std::unique_ptr<BatchEntry>>& m_entries;
    bool m_terminal;
    bool m_stopped = false;
    int m_drawn = 0;
};

}  // namespace dtu::cli
