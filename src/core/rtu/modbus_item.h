#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// One entry of the Modbus poll table: a register range of a slave that the device polls as a
// Modbus master, with how its value is typed, scaled, named and watched.
struct ModbusItem {
    std::uint8_t slaveAddress = 1;
    std::uint8_t functionCode = 3;
    std::uint16_t startRegister = 0;
    std::uint16_t registerCount = 1;
    std::uint8_t dataType = 0;  // index into kModbusDataTypes
    std::uint8_t decimals = 0;
    std::string jsonName;       // the stored bytes (GBK or the device's UTF-8), no terminator
    std::uint32_t scaleK = 0;   // coefficient k in ten-thousandths
    std::uint32_t offsetB = 0;  // offset b in ten-thousandths: bit 31 sign, bits 0..30 magnitude
    std::int32_t threshold1 = 0;
    std::int32_t threshold2 = 0;
    std::uint8_t emergencyData = 0;  // 1: a change of this entry triggers the emergency upload
    friend bool operator==(const ModbusItem&, const ModbusItem&) = default;
};

// A new entry at index n: slave 1, function 3, one register from 0, BYTE, name "k<n>"; k, b and
// the emergency mark start at 0 rather than at whatever the slot held before.
ModbusItem newModbusItem(std::size_t n);

// Entry i (0..63) of the record, and back. The writer leaves the entry's unused bytes alone;
// it refuses (false, entry untouched) a name longer than kJsonNameMax bytes.
ModbusItem readModbusItem(const DeviceParams& params, std::uint32_t i);
bool writeModbusItem(DeviceParams& params, std::uint32_t i, const ModbusItem& item);

// --- data types ---

struct ModbusDataType {
    std::string_view chinese;  // also what a poll file holds
    std::string_view english;
};

inline constexpr std::array<ModbusDataType, 11> kModbusDataTypes{{
    {"BYTE", "BYTE"},
    {"无符号整型(16bit)", "UINT(16bit)"},
    {"浮点型(ABCD)", "Float(ABCD)"},
    {"浮点型(CDAB)", "Float(CDAB)"},
    {"整型(32bit高在前)", "INT(32bitBigE)"},
    {"整型(32bit高在后(reg))", "INT(32bitLittleE)"},
    {"bool", "bool"},
    {"整型(32bit高在后(byte))", "INT(32bitLittleE1)"},
    {"有符号整型(16bit)", "INT(16bit)"},
    {"浮点型(BADC)", "Float(BADC)"},
    {"浮点型(DCBA)", "Float(DCBA)"},
}};

// The type's name; a value beyond the table (a newer device's type) as its number.
std::string dataTypeText(std::uint8_t type, Language lang = Language::Chinese);
// The index of a name in either language; 0 ("BYTE") for any other text, as the table reads
// its cells.
std::uint8_t dataTypeFromText(std::string_view name);
// Strict: a Chinese or English name, or a number 0..255; nullopt for anything else.
std::optional<std::uint8_t> findDataType(std::string_view text);

// --- cache addresses ---

// Where each entry's data lies in the device's register cache: entries in order from 0, each
// taking two bytes per register for functions 3 and 4 and one bit per register (whole bytes)
// for any other function.
std::vector<std::uint32_t> cacheAddresses(std::span<const ModbusItem> items);

// --- k and b as text ---

// Ten-thousandths as a decimal with four places, exactly: 12345678 shows 1234.5678.
std::string scaleKText(std::uint32_t k);
// Sign and magnitude: 0x80003A98 shows -1.5000, 0x80000000 shows -0.0000.
std::string offsetBText(std::uint32_t b);

// What the table makes of a typed k or b: the decimal number at the start of the text (leading
// blanks, a sign, digits, a point and digits), 0 when there is none, in ten-thousandths with
// the further places dropped. k keeps the low 32 bits; b takes its sign into bit 31 and keeps
// the low 31 bits of the magnitude. Exact decimal arithmetic, so what shows reads back alike.
std::uint32_t scaleKFromText(std::string_view text);
std::uint32_t offsetBFromText(std::string_view text);

// Strict forms for files: a whole decimal with at most four places that the field holds
// exactly (k: 0 to 429496.7295, b: -214748.3647 to 214748.3647, "-0" kept); surrounding
// blanks allowed; nullopt for anything else.
std::optional<std::uint32_t> parseScaleK(std::string_view text);
std::optional<std::uint32_t> parseOffsetB(std::string_view text);

// --- names and prefix ---

// How the poll names and the upload prefix are stored: GBK, or the device's 3-byte UTF-8
// form of GBK text. A choice of the PC, not of the record.
enum class NameEncoding : std::uint8_t { Gbk, DeviceUtf8 };

// A stored name as text (UTF-8) when it is clean text in that encoding, converting back to
// exactly the same bytes; nullopt otherwise.
std::optional<std::string> storedNameText(std::string_view stored, NameEncoding enc);
// A stored name for display, never failing: what the bytes can be read as, the rest as "\xNN".
std::string storedNameDisplay(std::string_view stored, NameEncoding enc);

enum class NameError : std::uint8_t { None, NotGbk, TooLong };

struct EncodedName {
    NameError error = NameError::None;
    std::string bytes;  // with None: what is stored
};

// The text (UTF-8) as stored, refused when it holds a character GBK lacks (or a zero, which
// would end it early) or takes more than
// maxBytes after conversion. A name is never cut: a cut could split a character.
EncodedName encodeName(std::string_view text, NameEncoding enc, std::size_t maxBytes);

// The refusal of encodeName in the window's language, naming the control and the limit.
std::string nameRefusal(NameError error, std::string_view chineseLabel,
                        std::string_view englishLabel, std::size_t maxBytes, NameEncoding enc,
                        Language lang);

}  // namespace dtu
