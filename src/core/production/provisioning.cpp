#include "production/provisioning.h"

#include <algorithm>
#include <cstdio>

#include "link/command_flow.h"
#include "params/item_codec.h"

namespace dtu {

namespace f = fields;

std::string_view provisionStepName(ProvisionStep step) {
    switch (step) {
        case ProvisionStep::Plan:
            return "plan";
        case ProvisionStep::Open:
            return "open";
        case ProvisionStep::Probe:
            return "probe";
        case ProvisionStep::Read:
            return "read";
        case ProvisionStep::Match:
            return "match";
        case ProvisionStep::Firmware:
            return "firmware";
        case ProvisionStep::Reread:
            return "reread";
        case ProvisionStep::Save:
            return "save";
        case ProvisionStep::Certs:
            return "certs";
        case ProvisionStep::ReadBack:
            return "readback";
        case ProvisionStep::Verify:
            return "verify";
        case ProvisionStep::Done:
            return "done";
    }
    return "?";
}

std::string_view provisionResultName(ProvisionResult result) {
    switch (result) {
        case ProvisionResult::Succeeded:
            return "ok";
        case ProvisionResult::Failed:
            return "failed";
        case ProvisionResult::Interrupted:
            return "interrupted";
        case ProvisionResult::Running:
        case ProvisionResult::Skipped:
            break;
    }
    return {};
}

std::optional<ProvisionResult> provisionResultFromName(std::string_view name) {
    for (const ProvisionResult r :
         {ProvisionResult::Succeeded, ProvisionResult::Failed, ProvisionResult::Interrupted})
        if (name == provisionResultName(r)) return r;
    return std::nullopt;
}

DeviceIdentity deviceIdentity(const DeviceParams& p) {
    DeviceIdentity id;
    id.imei = std::string(p.textView(f::imei));
    id.iccid = std::string(p.textView(f::iccid));
    id.model = std::string(p.textView(f::deviceModel));
    id.firmwareVersion = std::string(p.textView(f::firmwareVersion));
    const auto mac = p.bytes(f::macAddress);
    if (std::any_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b != 0; })) {
        char text[13];
        std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3],
                      mac[4], mac[5]);
        id.mac = text;
    }
    return id;
}

Provisioning::Provisioning(ProvisionOptions options, std::optional<DeviceParams> base,
                           std::vector<FieldAssignment> row)
    : m_options(options), m_base(std::move(base)), m_row(std::move(row)) {}

void Provisioning::moveTo(ProvisionStep step) {
    m_step = step;
    m_attempt = 1;
}

void Provisioning::succeed() {
    if (m_result != ProvisionResult::Running) return;
    switch (m_step) {
        case ProvisionStep::Open:
            moveTo(m_options.probe ? ProvisionStep::Probe : ProvisionStep::Read);
            break;
        case ProvisionStep::Probe:
            moveTo(ProvisionStep::Read);
            break;
        case ProvisionStep::Firmware:
            moveTo(ProvisionStep::Reread);
            break;
        case ProvisionStep::Save:
            m_saved = true;
            moveTo(m_options.certs ? ProvisionStep::Certs : ProvisionStep::ReadBack);
            break;
        case ProvisionStep::Certs:
            moveTo(ProvisionStep::ReadBack);
            break;
        default:
            // The reads report what they read, the match its row.
            break;
    }
}

void Provisioning::succeed(const DeviceParams& device) {
    if (m_result != ProvisionResult::Running) return;
    switch (m_step) {
        case ProvisionStep::Read:
            m_identity = deviceIdentity(device);
            m_device = device;
            if (m_options.matchByImei) {
                moveTo(ProvisionStep::Match);
            } else if (m_options.firmware) {
                moveTo(ProvisionStep::Firmware);
            } else {
                toSave(device);
            }
            break;
        case ProvisionStep::Reread:
            m_identity = deviceIdentity(device);
            toSave(device);
            break;
        case ProvisionStep::ReadBack:
            m_identity = deviceIdentity(device);
            moveTo(ProvisionStep::Verify);
            m_mismatches = compareReadBack(m_record, device);
            if (m_mismatches.empty()) {
                moveTo(ProvisionStep::Done);
                m_result = ProvisionResult::Succeeded;
            } else {
                fail(mismatchText(m_mismatches));
            }
            break;
        default:
            break;
    }
}

void Provisioning::assignRow(std::vector<FieldAssignment> row) {
    if (m_result != ProvisionResult::Running || m_step != ProvisionStep::Match) return;
    m_row = std::move(row);
    if (m_options.firmware)
        moveTo(ProvisionStep::Firmware);
    else
        toSave(m_device);
}

void Provisioning::toSave(const DeviceParams& device) {
    m_record = m_base ? *m_base : device;
    for (const auto& a : m_row) {
        if (const std::string why = setFieldValue(m_record, *a.field, a.value); !why.empty()) {
            moveTo(ProvisionStep::Plan);
            fail("column " + a.field->name + ": " + why);
            return;
        }
    }
    moveTo(ProvisionStep::Save);
    // What the save would refuse fails here, before anything is sent.
    const SaveFrame frame = buildSaveFrame(m_record);
    if (frame.error != SaveFrameError::None) fail(saveRefusalText(frame, m_options.lang));
}

void Provisioning::skip(std::string reason) {
    if (m_result != ProvisionResult::Running || m_step != ProvisionStep::Match) return;
    end(ProvisionResult::Skipped, std::move(reason));
}

void Provisioning::fail(std::string reason) {
    if (m_result != ProvisionResult::Running) return;
    if (m_step == ProvisionStep::Reread && m_attempt < kRereadAttempts) {
        ++m_attempt;
        return;
    }
    m_failedStep = m_step;
    end(ProvisionResult::Failed, std::move(reason));
}

void Provisioning::interrupt(std::string reason) {
    if (m_result != ProvisionResult::Running) return;
    m_failedStep = m_step;
    end(ProvisionResult::Interrupted, std::move(reason));
}

void Provisioning::end(ProvisionResult result, std::string reason) {
    m_result = result;
    m_reason = std::move(reason);
    m_step = ProvisionStep::Done;
}

std::string mismatchText(const std::vector<ReadBackMismatch>& mismatches) {
    constexpr std::size_t kShown = 3;
    std::string s = "read back otherwise: ";
    for (std::size_t i = 0; i < mismatches.size() && i < kShown; ++i) {
        const auto& m = mismatches[i];
        if (i) s += "; ";
        s += m.field->name + " saved " + m.saved + ", read back " + m.readBack;
    }
    if (mismatches.size() > kShown)
        s += "; and " + std::to_string(mismatches.size() - kShown) + " more";
    return s;
}

}  // namespace dtu
