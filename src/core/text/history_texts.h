#pragma once

#include <array>

#include "params/form_values.h"
#include "production/param_history.h"

namespace dtu::historyText {

// The words of the parameter history window in both languages.

inline constexpr FormLabel kMenuItem{"参数历史", "History"};
inline constexpr FormLabel kTitle{"参数历史", "Parameter history"};
inline constexpr FormLabel kAllDevices{"所有设备", "All devices"};
inline constexpr FormLabel kLoad{"载入", "Load"};
inline constexpr FormLabel kClose{"关闭", "Close"};

// The entry list's columns.
inline constexpr std::array<FormLabel, 7> kEntryColumns = {{
    {"时间", "Time"},
    {"类型", "Kind"},
    {"IMEI", "IMEI"},
    {"型号", "Model"},
    {"版本", "Version"},
    {"结果", "Result"},
    {"改动的参数", "Changed fields"},
}};
// The differences' columns: the field, its value in the entry, in the form.
inline constexpr std::array<FormLabel, 3> kDifferenceColumns = {{
    {"参数", "Field"},
    {"记录中的值", "Entry value"},
    {"界面中的值", "Form value"},
}};

// Indexed by HistoryKind.
inline constexpr std::array<FormLabel, 4> kKinds = {{
    {"读取", "Read"},
    {"保存", "Save"},
    {"恢复", "Restore"},
    {"批量", "Batch"},
}};

inline constexpr FormLabel kNoRecordKept{"该记录未保存参数（加密配置）",
                                         "This entry keeps no parameters (locked configuration)"};
inline constexpr FormLabel kSameAsForm{"与界面相同", "Same as the form"};
inline constexpr FormLabel kNoDevice{"未读取设备，显示所有设备",
                                     "No device read yet: every device is shown"};

}  // namespace dtu::historyText
