#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "params/field_value.h"
#include "params/read_back.h"
#include "text/language.h"

namespace dtu {

// The steps one device goes through in a provisioning batch, in this order (the optional ones
// only when asked for). The firmware goes before the save, so that a reset it brings cannot
// undo the save, and the device is read again after it: the new firmware's values are the
// ones the plan's row changes.
enum class ProvisionStep : std::uint8_t {
    Plan,      // the plan row (a value a field cannot take); no port is touched
    Open,      // open the port
    Probe,     // find the line's rate
    Read,      // read the parameters and the device's identity
    Match,     // find the plan row by the IMEI the device reported
    Firmware,  // upgrade the firmware
    Reread,    // read again, once the new firmware runs
    Save,      // save the base (or the device's values) with the row's values
    Certs,     // save the certificates and check the device's checksums of them
    ReadBack,  // read the parameters back
    Verify,    // compare them with what was saved
    Done,
};

// The step's name in the progress and in the provisioning record.
std::string_view provisionStepName(ProvisionStep step);

// Interrupted: the batch was stopped (a signal) and the device ended between steps, or in one
// when told to stop at once.
enum class ProvisionResult { Running, Succeeded, Failed, Skipped, Interrupted };

// The result as the provisioning record writes it: ok, failed, interrupted (nothing for the
// others, which are never rows).
std::string_view provisionResultName(ProvisionResult result);
std::optional<ProvisionResult> provisionResultFromName(std::string_view name);

struct ProvisionOptions {
    bool probe = false;        // find the rate first
    bool matchByImei = false;  // the row is given once the device reported its IMEI
    bool firmware = false;
    bool certs = false;
    Language lang = Language::Chinese;  // of the save's refusal texts
};

// What a device says about itself, as the provisioning record keeps it.
struct DeviceIdentity {
    std::string imei;
    std::string iccid;
    std::string mac;  // 12 lower-case hex digits; empty while the device has reported none
    std::string model;
    std::string firmwareVersion;
};
DeviceIdentity deviceIdentity(const DeviceParams& params);

// A read that comes this often without an answer after the firmware has failed: the device
// restarts with its new firmware and may be a while about it.
inline constexpr int kRereadAttempts = 5;

// One device's way through the steps and the rules of their failures: the driver runs the
// step that step() names and reports how it went; a step that fails ends the device there,
// with the step and the reason.
class Provisioning {
public:
    // base: the parameter set every device gets, or none for the device's own read values;
    // row: the plan row's values (with matchByImei, given by assignRow instead).
    Provisioning(ProvisionOptions options, std::optional<DeviceParams> base,
                 std::vector<FieldAssignment> row = {});

    ProvisionStep step() const { return m_step; }
    ProvisionResult result() const { return m_result; }
    ProvisionStep failedStep() const { return m_failedStep; }
    const std::string& reason() const { return m_reason; }
    // Times the current step has been started (a reread that found no device yet).
    int attempt() const { return m_attempt; }

    // The current step went well: open, probe, firmware, save, certificates.
    void succeed();
    // A read went well; device is the record as the device answered it.
    void succeed(const DeviceParams& device);
    // The match found the device's row.
    void assignRow(std::vector<FieldAssignment> row);
    // The match found no row for the device: it is left alone, which is no failure.
    void skip(std::string reason);
    // The current step failed.
    void fail(std::string reason);
    // The batch stops: the device ends where it is, and failedStep() names the step it did not
    // finish (the next one, when it is stopped between steps).
    void interrupt(std::string reason);

    // The parameter set the save sends; set from the save step on.
    const DeviceParams& record() const { return m_record; }
    bool saved() const { return m_saved; }
    const DeviceIdentity& identity() const { return m_identity; }
    const std::vector<ReadBackMismatch>& mismatches() const { return m_mismatches; }

private:
    void toSave(const DeviceParams& device);
    void end(ProvisionResult result, std::string reason);
    void moveTo(ProvisionStep step);

    ProvisionOptions m_options;
    std::optional<DeviceParams> m_base;
    std::vector<FieldAssignment> m_row;
    DeviceParams m_device;  // the last read, before the row is known
    DeviceParams m_record;
    DeviceIdentity m_identity;
    std::vector<ReadBackMismatch> m_mismatches;
    ProvisionStep m_step = ProvisionStep::Open;
    ProvisionStep m_failedStep = ProvisionStep::Done;
    ProvisionResult m_result = ProvisionResult::Running;
    std::string m_reason;
    int m_attempt = 1;
    bool m_saved = false;
};

// The reason a verification gives: the fields that came back otherwise, the first few with
// their values.
std::string mismatchText(const std::vector<ReadBackMismatch>& mismatches);

}  // namespace dtu
