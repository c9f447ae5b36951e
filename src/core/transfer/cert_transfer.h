#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_params.h"
#include "text/language.h"

namespace dtu {

// The certificates travel as one blob: the CA file, 00 3B, the client certificate, 00 3B, the
// client key. Each file gives at most its first 4096 bytes; the device keeps 8192 bytes.
inline constexpr std::size_t kCertFileReadMax = 4096;
inline constexpr std::size_t kCertFileImportMax = 4000;
inline constexpr std::size_t kCertBlobCapacity = 8192;
inline constexpr std::size_t kCertChunkSize = 512;
inline constexpr std::size_t kCertChunkFrameSize = 524;
inline constexpr std::size_t kCertPathMax = 256;  // bytes of a stored path, terminator included
inline constexpr std::array<std::uint8_t, 2> kCertSeparator{0x00, 0x3B};

enum class CertTimer : std::uint8_t {
    Tick = 1,             // sends the next chunk once the previous one was acknowledged
    AckTimeout = 2,       // a chunk not acknowledged in time
    ChecksumPoll = 3,     // looks for the checksums the device reported
    ChecksumTimeout = 4,  // no checksums in time
};

inline constexpr int kCertTickMs = 50;
inline constexpr int kCertAckTimeoutMs = 2000;
inline constexpr int kCertChecksumPollMs = 100;
inline constexpr int kCertChecksumTimeoutMs = 2000;

// Texts of the certificate transfer.
namespace certText {
inline constexpr FormLabel kCaRequired{"CA文件是必需的，请导入！！！",
                                       "The CA file is required: import one."};
inline constexpr std::string_view kFileHuge = "file is huge!!!";
inline constexpr std::string_view kOpenFailed = "open failed";
inline constexpr FormLabel kSaved{"保存成功", "Saved"};
inline constexpr FormLabel kSaveTimedOut{"保存超时", "Save timed out"};
inline constexpr FormLabel kReadOk{"读取成功", "Read"};
inline constexpr FormLabel kReadTimedOut{"读取超时", "Read timed out"};
}  // namespace certText

// The checksum shown beside a certificate file: the sum of its first 4096 bytes, modulo 65536.
std::uint16_t fileChecksum16(std::span<const std::uint8_t> bytes);
// A checksum of a file or of the device, as it is shown: four lower-case hex digits.
std::string checksumText(std::uint16_t checksum);
// After a save the device must hold exactly the files just sent: what is said when the
// checksums it reports are not the files' (given here).
std::string checksumMismatchText(const std::array<std::uint16_t, 3>& files, Language lang);

// The three files, in the order of the blob and of their paths in the record.
enum class CertFile : std::uint8_t { Ca, ClientCert, ClientKey };

// Whether a file of this size may be imported as `which`; the refusal text otherwise. An empty
// client certificate or key is no file at all, but the CA is required: an empty one is refused
// here rather than at the save.
std::optional<std::string> certImportRefusal(std::uint64_t fileSize, CertFile which, Language lang);

// Whether a path (UTF-8) can be kept in the record: GBK like every text there, and at most 255
// bytes so that its field keeps a terminator. The refusal text otherwise.
std::optional<std::string> certPathRefusal(std::string_view path, Language lang);

// The record's field that keeps a file's path.
TextField certPathField(CertFile which);
// The stored path (UTF-8), empty when none is stored. Bytes that are not GBK (a damaged file)
// show as "\xNN" and so name no file.
std::string certPath(const DeviceParams& params, CertFile which);
// Stores a path (UTF-8); false, and the record untouched, when certPathRefusal refuses it.
bool setCertPath(DeviceParams& params, CertFile which, std::string_view path);

enum class CertBlobError {
    None,
    NoCa,      // the CA file is missing or empty
    TooLarge,  // the files need more than kCertBlobCapacity bytes
};

struct CertBlob {
    CertBlobError error = CertBlobError::None;
    std::vector<std::uint8_t> bytes;  // the blob, without the zero bytes that follow it
    std::size_t needed = 0;           // with TooLarge: the length the blob would have
};

// The blob from the three files' contents; an absent file is nullopt. A blob that would not fit
// the device is refused whole, never cut.
CertBlob buildCertBlob(std::optional<std::span<const std::uint8_t>> ca,
                       std::optional<std::span<const std::uint8_t>> clientCert,
                       std::optional<std::span<const std::uint8_t>> clientKey);

// Why a blob was refused, for the user; empty when it was not.
std::string certBlobErrorText(const CertBlob& blob, Language lang);

// The chunk at offset: 88 3A, 0x84 (0x04 for the last chunk), 02 05, item BB of 514 bytes
// (offset, big-endian 16 bits, then 512 blob bytes, zeros past the blob's end), 45 2E.
std::array<std::uint8_t, kCertChunkFrameSize> certChunkFrame(std::span<const std::uint8_t> blob,
                                                             std::size_t offset);
std::size_t certChunkCount(std::size_t blobLength);

struct CertResult {
    bool ok = false;
    std::string text;
    bool checksumRead = false;                 // the result of a checksum read rather than a save
    std::array<std::uint16_t, 3> checksums{};  // with a successful checksum read
};

class CertEffects {
public:
    virtual ~CertEffects() = default;
    virtual void writeBytes(std::span<const std::uint8_t> bytes) = 0;
    // A timer fires every ms until stopped; starting a running timer restarts it. The two
    // time-outs count from when the bytes written before them have left the line.
    virtual void startTimer(CertTimer timer, int ms) = 0;
    virtual void stopTimer(CertTimer timer) = 0;
    virtual void progress(std::uint32_t done, std::uint32_t total) = 0;
    virtual void statusText(const std::string& text) = 0;
    virtual void finished(const CertResult& result) = 0;
};

// Writes the blob in acknowledged chunks, one outstanding at a time, and reads back the
// device's checksums. Acknowledgements and checksums are not seen here directly: the answer
// handling of the link stores them in the record (certChunkAcked, certChecksums), and the
// timers look there.
class CertTransfer {
public:
    enum class State { Idle, Saving, ReadingChecksums };

    CertTransfer(CertEffects& effects, DeviceParams& params) : m_fx(effects), m_params(params) {}

    // Keeps a blob from buildCertBlob in certBlob and sends it; false (nothing sent, nothing
    // kept) while busy or for an empty blob.
    bool save(std::vector<std::uint8_t> blob);
    // Asks the device for its checksums; false while busy.
    bool readChecksums();
    void onTimer(CertTimer timer);
    // Ends a running transfer from outside (the window closed, the port failed).
    void abort(const std::string& text);

    // The language of the status texts.
    void setLanguage(Language lang) { m_lang = lang; }

    State state() const { return m_state; }
    bool busy() const { return m_state != State::Idle; }
    std::size_t sendOffset() const { return m_sendOffset; }

private:
    void onTick();
    void finish(bool ok, FormLabel text, bool checksums = false);
    void finish(bool ok, std::string text, bool checksums = false);
    void stopAll();

    CertEffects& m_fx;
    DeviceParams& m_params;
    State m_state = State::Idle;
    Language m_lang = Language::Chinese;
    std::vector<std::uint8_t> m_blob;
    std::size_t m_sendOffset = 0;
};

}  // namespace dtu
