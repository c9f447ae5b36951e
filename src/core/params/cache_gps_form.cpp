#include "params/cache_gps_form.h"

#include "params/form_values.h"

namespace dtu {

namespace f = fields;

void DataCacheForm::open(const DeviceParams& p) {
    count = std::to_string(static_cast<std::int32_t>(p.get(f::dataCacheCount)));
    intervalMs = std::to_string(p.get(f::dataCacheIntervalMs));
    lengthPrefix = p.get(f::dataCacheLengthPrefix) == 1;
    timePrefix = p.get(f::dataCacheTimePrefix) == 1;
}

void DataCacheForm::accept(DeviceParams& p) const {
    p.set(f::dataCacheCount, formNumber(count));
    p.set(f::dataCacheIntervalMs, static_cast<std::uint8_t>(formNumber(intervalMs)));
    p.set(f::dataCacheLengthPrefix, lengthPrefix ? 1 : 0);
    p.set(f::dataCacheTimePrefix, timePrefix ? 1 : 0);
}

std::array<std::string_view, 3> gpsModeEntries(Language lang) {
    if (lang == Language::English) return {"Off", "Once at power-on", "Periodic"};
    return {"不启用", "开机上传一次", "定时上传"};
}

void GpsUploadForm::open(const DeviceParams& p) {
    const int m = p.get(f::gpsMode);
    mode = m < static_cast<int>(gpsModeEntries(Language::Chinese).size()) ? m : -1;
    interval = std::to_string(p.get(f::gpsInterval));
}

void GpsUploadForm::accept(DeviceParams& p) const {
    if (mode >= 0) p.set(f::gpsMode, static_cast<std::uint8_t>(mode));
    p.set(f::gpsInterval, static_cast<std::uint16_t>(formNumber(interval)));
}

}  // namespace dtu
