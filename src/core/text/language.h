#pragma once

#include <cstdint>
#include <string_view>

namespace dtu {

// The interface language: one choice for the whole program, remembered in the PC settings.
enum class Language : std::uint8_t { Chinese = 0, English = 1 };

// Entries of the text table (1..122). Windows and the command line ask for a text by id, so
// both languages show the same words.
enum TextId : int {
    kTextDevice = 1,
    kTextTools = 2,
    kTextFirmwareUpgrade = 3,
    kTextImportConfig = 4,
    kTextExportConfig = 5,
    kTextSerial = 6,
    kTextBaudRate = 7,
    kTextParity = 8,
    kTextDataBits = 9,
    kTextStopBits = 10,
    kTextOpen = 11,
    kTextClose = 12,
    kTextWorkMode = 13,
    kTextServer = 14,
    kTextAddressPort = 15,
    kTextProtocol = 16,
    kTextSet = 17,
    kTextHeartbeat = 18,
    kTextRegisterPacket = 19,
    kTextData = 20,
    kTextSerialParameters = 21,
    kTextPackTime = 22,
    kTextSms = 23,
    kTextPhone = 24,
    kTextMore = 25,
    kTextSendToSerial = 26,
    kTextSerialFilter = 27,
    kTextRelay = 28,
    kTextNetBreakCache = 29,
    kTextRebootWhenNetBreak = 30,
    kTextMinute = 31,
    kTextUserCode = 32,
    kTextEdgeComputing = 33,
    kTextModel = 34,
    kTextVersion = 35,
    kTextOperator = 36,
    kTextSignal = 37,
    kTextStatus = 38,
    kTextRead = 39,
    kTextSave = 40,
    kTextRestart = 41,
    kTextDefault = 42,
    kTextRx = 43,
    kTextTx = 44,  // not shown anywhere
    kTextClear = 45,
    kTextSaveFailedTryAgain = 46,
    kTextSend = 47,
    kTextConnected = 48,
    kTextNotConnected = 49,
    kTextGuide = 50,
    kTextSaveFailed = 51,
    kTextSaveOk = 52,
    kTextReadFailed = 53,
    kTextReadOk = 54,
    kTextRestartFailed = 55,
    kTextRestartOk = 56,
    kTextDefaultFailed = 57,
    kTextDefaultOk = 58,
    kTextTime = 59,
    kTextMode = 60,
    kTextRegisterOnConnect = 61,
    kTextRegisterEveryPacket = 62,
    kTextRegisterBoth = 63,
    kTextDisable = 64,
    kTextModbusPoll = 65,
    kTextMoreProtocols = 66,  // empty in English
    kTextFailed = 67,
    kTextSuccess = 68,
    kTextNetMode = 69,
    kTextSmsMode = 70,
    kTextSmsData = 71,
    kTextSmsProtocol = 72,
    kTextSmsPdu = 73,
    kTextOk = 74,
    kTextCancel = 75,
    kTextPort = 76,
    kTextUserName = 77,
    kTextPassword = 78,
    kTextWill = 79,
    kTextSubscribeTopic = 80,
    kTextPublishTopic = 81,
    kTextCloudOptionA = 82,
    kTextCloudOptionB = 83,
    kTextGetMqttStatus = 84,
    kTextEnable = 85,
    kTextSendInterval = 86,
    kTextFilterData = 87,
    kTextNetBreak = 88,
    kTextTest = 89,
    kTextCacheSize = 90,
    kTextCacheItems = 91,
    kTextCacheSendInterval = 92,
    kTextWithDataSize = 93,
    kTextWithTime = 94,
    kTextSerialNumber = 95,
    kTextAddress = 96,
    kTextFunctionCode = 97,
    kTextStartRegister = 98,
    kTextRegisterCount = 99,
    kTextDataType = 100,
    kTextDecimals = 101,
    kTextJsonName = 102,
    kTextThreshold1 = 103,
    kTextThreshold2 = 104,
    kTextCacheAddress = 105,
    kTextUploadModbusRtu = 106,
    kTextUploadJsonImei = 107,
    kTextUploadCloudJson = 108,
    kTextRelayNoFollow = 109,
    kTextRelayFollow = 110,
    kTextRelayInverse = 111,
    kTextTimeoutKeep = 112,
    kTextTimeoutClear00 = 113,
    kTextTimeoutClearFF = 114,
    kTextAdd = 115,
    kTextDelete = 116,
    kTextTimedUpload = 117,
    kTextTimeout = 118,
    kTextChangeUpload = 119,
    kTextUploadType = 120,
    kTextPollInterval = 121,
    kTextCommandDelay = 122,
};

inline constexpr int kTextCount = 122;

// Text `index` (1..kTextCount) in UTF-8; an index outside the table gives an empty text.
std::string_view langText(Language lang, int index);

// A text of its own (not a numbered entry) in both languages. An empty English text means the
// text reads the same in both.
struct FormLabel {
    std::string_view chinese;
    std::string_view english;
};

constexpr std::string_view inLanguage(FormLabel label, Language lang) {
    return lang == Language::English && !label.english.empty() ? label.english : label.chinese;
}

// The language stored as a number (settings file): 1 is English, anything else Chinese.
constexpr Language languageFromInt(int value) {
    return value == 1 ? Language::English : Language::Chinese;
}

}  // namespace dtu
