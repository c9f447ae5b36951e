#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "params/device_params.h"
#include "params/item_codec.h"
#include "rtu/poll_table.h"
#include "text/language.h"

namespace dtu {

// The edge computing block of the record: from modbusTimeout up to the user code, with the
// poll table, the upload target and the unused bytes between. The form edits a private copy
// of it and writes the whole copy back on OK.
inline constexpr std::uint32_t kEdgeBlockOffset = fields::modbusTimeout.offset;
inline constexpr std::uint32_t kEdgeBlockSize = 5796;
static_assert(kEdgeBlockOffset + kEdgeBlockSize == fields::userCodeEnable.offset);

// The edge computing form as plain values: edits as the UTF-8 text they hold, drop-downs as
// the selected entry (-1 for none), boxes as ticked or not. The dialog copies between its
// widgets and this struct; the table's own editing is PollTable's.
class PollForm {
public:
    PollTable table;
    std::string timeout;       // s
    std::string pollInterval;  // s
    std::string commandDelay;  // ms
    std::string mapStart;      // shown, not typed into
    int relayFollow = -1;      // kRelayFollows
    int timeoutAction = -1;    // kTimeoutActions
    bool utf8Names = false;    // names and prefix stored in the device's UTF-8 form
    // Upload
    std::string uploadInterval;  // s
    int uploadFormat = -1;       // kUploadFormats
    int changeUpload = -1;       // kChangeUploads
    bool timestamp = false;      // offered with format 1 only, kept otherwise
    bool jsonArray = false;
    std::string prefix;

    // Fills the form from the record. The copy it keeps has the upload target normalised.
    void open(const DeviceParams& params, bool utf8NamesSetting);

    // Checks the form and writes the whole edge block back into the record. A refusal (a name
    // or the prefix that does not fit in the chosen encoding, or a table that makes the save
    // frame larger than the device takes, `lock` being the suffix the save will carry) comes
    // back as its message in the window's language, and then nothing is written.
    std::optional<std::string> accept(DeviceParams& params, Language lang,
                                      const Lock& lock = std::nullopt) const;

    // The bytes the save frame takes with the form's values in the record as it was opened,
    // lock suffix included (more than kMaxSaveFrame when it would not fit); nullopt while a
    // value of the form is refused.
    std::optional<std::size_t> saveFrameBytes(const Lock& lock) const;

    bool timestampEnabled() const;
    NameEncoding nameEncoding() const {
        return utf8Names ? NameEncoding::DeviceUtf8 : NameEncoding::Gbk;
    }

private:
    // The record with the form's values, or the refusal.
    std::optional<std::string> edit(DeviceParams& p, Language lang) const;

    DeviceParams m_copy;
    // The prefix as opened: a stored prefix that is no clean text keeps its bytes while its
    // edit still shows what it showed.
    std::string m_prefixShown;
    bool m_prefixIsText = true;
};

// Texts of the form that the language table does not have.
struct PollText {
    std::string_view chinese;
    std::string_view english;
    std::string_view text(Language lang) const {
        return lang == Language::English ? english : chinese;
    }
};

inline constexpr PollText kPollFormTitle{
    "边缘计算-MODBUS主动轮询          注：支持的功能码：3 4；所有的功能码均映射到功能 3",
    "Modbus Poll"};
inline constexpr PollText kMapStartLabel{"寄存器开始映射地址", "ShadowAddr"};
inline constexpr PollText kTimestampLabel{"添加时间戳", "Timestamp"};
inline constexpr PollText kJsonArrayLabel{"统一为Json数组", "Json Array"};
inline constexpr PollText kPrefixLabel{"前缀(ID)", "prefix"};
inline constexpr PollText kChangeUploadLabel{"变化上传", "ChangeUpd"};
inline constexpr PollText kHelpLink{"点我必看?", "Prefix help?"};
inline constexpr PollText kUtf8NamesLabel{"JSON名 UTF-8 不勾是GB2312",
                                          "JSON names in UTF-8 (unticked: GB2312)"};
inline constexpr PollText kExportCsvLabel{"导出CSV", "Export CSV"};
inline constexpr PollText kImportCsvLabel{"导入CSV", "Import CSV"};

// "Save frame: N of 4096 bytes", the form's measure of its table.
std::string saveFrameUseText(std::size_t bytes, Language lang);

}  // namespace dtu
