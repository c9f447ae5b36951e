#include "transfer/cert_transfer.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <utility>

#include "link/frame.h"
#include "text/gbk.h"

namespace dtu {

namespace f = fields;

std::uint16_t fileChecksum16(std::span<const std::uint8_t> bytes) {
    const auto head = bytes.first(std::min(bytes.size(), kCertFileReadMax));
    return static_cast<std::uint16_t>(std::accumulate(head.begin(), head.end(), std::uint32_t{0}));
}

std::string checksumText(std::uint16_t checksum) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(checksum));
    return text;
}

std::string checksumMismatchText(const std::array<std::uint16_t, 3>& files, Language lang) {
    return (lang == Language::English ? "The device's checksums differ from the files' ("
                                      : "设备校验和与文件不一致 (") +
           checksumText(files[0]) + " " + checksumText(files[1]) + " " + checksumText(files[2]) +
           ")";
}

std::optional<std::string> certImportRefusal(std::uint64_t fileSize, CertFile which,
                                             Language lang) {
    if (fileSize > kCertFileImportMax) return std::string(certText::kFileHuge);
    if (fileSize == 0 && which == CertFile::Ca)
        return lang == Language::English ? "The CA file is empty; import a CA file with content."
                                         : "CA文件是空的，请导入有内容的CA文件！！！";
    return std::nullopt;
}

std::optional<std::string> certPathRefusal(std::string_view path, Language lang) {
    const bool en = lang == Language::English;
    const auto gbk = utf8ToGbk(path);
    if (!gbk)
        return en ? "The path holds characters a parameter file cannot keep (only GBK "
                    "characters); move the file to another path."
                  : "路径含有参数文件无法保存的字符（只能使用GBK字符），请把文件放到其他路径下。";
    if (gbk->size() < kCertPathMax) return std::nullopt;
    return en ? "The path is longer than 255 bytes; move the file to a shorter path."
              : "路径超过 255 字节，请把文件放到较短的路径下。";
}

TextField certPathField(CertFile which) {
    switch (which) {
        case CertFile::Ca:
            break;
        case CertFile::ClientCert:
            return f::clientCertPath;
        case CertFile::ClientKey:
            return f::clientKeyPath;
    }
    return f::caPath;
}

std::string certPath(const DeviceParams& params, CertFile which) {
    return gbkToDisplay(params.text(certPathField(which)));
}

bool setCertPath(DeviceParams& params, CertFile which, std::string_view path) {
    if (certPathRefusal(path, Language::English)) return false;
    return params.setText(certPathField(which), *utf8ToGbk(path));
}

CertBlob buildCertBlob(std::optional<std::span<const std::uint8_t>> ca,
                       std::optional<std::span<const std::uint8_t>> clientCert,
                       std::optional<std::span<const std::uint8_t>> clientKey) {
    CertBlob blob;
    if (!ca || ca->empty()) {
        blob.error = CertBlobError::NoCa;
        return blob;
    }
    auto head = [](std::optional<std::span<const std::uint8_t>> file) {
        if (!file) return std::span<const std::uint8_t>{};
        return file->first(std::min(file->size(), kCertFileReadMax));
    };
    const auto parts = {head(ca), head(clientCert), head(clientKey)};
    blob.needed = 2 * kCertSeparator.size();
    for (const auto& part : parts) blob.needed += part.size();
    if (blob.needed > kCertBlobCapacity) {
        blob.error = CertBlobError::TooLarge;
        return blob;
    }
    blob.bytes.reserve(blob.needed);
    bool first = true;
    for (const auto& part : parts) {
        if (!first)
            blob.bytes.insert(blob.bytes.end(), kCertSeparator.begin(), kCertSeparator.end());
        first = false;
        blob.bytes.insert(blob.bytes.end(), part.begin(), part.end());
    }
    return blob;
}

std::string certBlobErrorText(const CertBlob& blob, Language lang) {
    switch (blob.error) {
        case CertBlobError::None:
            return {};
        case CertBlobError::NoCa:
            return std::string(inLanguage(certText::kCaRequired, lang));
        case CertBlobError::TooLarge:
            return lang == Language::English
                       ? "The certificates need " + std::to_string(blob.needed) +
                             " bytes, more than the 8192 bytes the device keeps; nothing was sent."
                       : "证书共需 " + std::to_string(blob.needed) +
                             " 字节，超过设备可保存的 8192 字节，未发送。";
    }
    return {};
}

std::array<std::uint8_t, kCertChunkFrameSize> certChunkFrame(std::span<const std::uint8_t> blob,
                                                             std::size_t offset) {
    std::array<std::uint8_t, kCertChunkFrameSize> frame{};
    const bool last = offset + kCertChunkSize >= blob.size();
    const std::size_t payload = kCertChunkFrameSize - kFrameOverhead;  // 517
    const std::size_t item = payload - 3;                              // 514
    frame[0] = FRAME_HEAD_1;
    frame[1] = FRAME_HEAD_2;
    frame[2] = last ? CMD_WRITE : CMD_WRITE_MORE;
    frame[3] = static_cast<std::uint8_t>(payload >> 8);
    frame[4] = static_cast<std::uint8_t>(payload);
    frame[5] = TAG_CERT_CHUNK;
    frame[6] = static_cast<std::uint8_t>(item >> 8);
    frame[7] = static_cast<std::uint8_t>(item);
    frame[8] = static_cast<std::uint8_t>(offset >> 8);
    frame[9] = static_cast<std::uint8_t>(offset);
    if (offset < blob.size()) {
        const std::size_t n = std::min(kCertChunkSize, blob.size() - offset);
        std::copy_n(blob.begin() + static_cast<std::ptrdiff_t>(offset), n, frame.begin() + 10);
    }
    frame[kCertChunkFrameSize - 2] = FRAME_TAIL_1;
    frame[kCertChunkFrameSize - 1] = FRAME_TAIL_2;
    return frame;
}

std::size_t certChunkCount(std::size_t blobLength) {
    return (blobLength + kCertChunkSize - 1) / kCertChunkSize;
}

bool CertTransfer::save(std::vector<std::uint8_t> blob) {
    if (busy() || blob.empty() || blob.size() > kCertBlobCapacity) return false;
    m_blob = std::move(blob);
    // The blob stays in the record (and so in an exported file) after the transfer.
    m_params.setBytes(f::certBlob, m_blob);
    m_sendOffset = 0;
    m_state = State::Saving;
    // Raised here so that the first tick sends the first chunk.
    m_params.set(f::certChunkAcked, 1);
    m_fx.startTimer(CertTimer::Tick, kCertTickMs);
    m_fx.progress(0, static_cast<std::uint32_t>(certChunkCount(m_blob.size())));
    return true;
}

bool CertTransfer::readChecksums() {
    if (busy()) return false;
    m_state = State::ReadingChecksums;
    for (std::uint32_t i = 0; i < f::certChecksums.count; ++i) m_params.set(f::certChecksums[i], 0);
    m_fx.writeBytes(singleTagRead(TAG_CERT_CHECKSUMS));
    m_fx.startTimer(CertTimer::ChecksumPoll, kCertChecksumPollMs);
    m_fx.startTimer(CertTimer::ChecksumTimeout, kCertChecksumTimeoutMs);
    return true;
}

void CertTransfer::onTimer(CertTimer timer) {
    switch (timer) {
        case CertTimer::Tick:
            if (m_state == State::Saving) return onTick();
            break;
        case CertTimer::AckTimeout:
            if (m_state == State::Saving) return finish(false, certText::kSaveTimedOut);
            break;
        case CertTimer::ChecksumPoll:
            // A CA checksum of 0 cannot be told from no answer yet.
            if (m_state != State::ReadingChecksums) break;
            if (m_params.get(f::certChecksums[0]) != 0) finish(true, certText::kReadOk, true);
            return;
        case CertTimer::ChecksumTimeout:
            if (m_state == State::ReadingChecksums)
                return finish(false, certText::kReadTimedOut, true);
            break;
    }
    m_fx.stopTimer(timer);
}

void CertTransfer::onTick() {
    if (m_params.get(f::certChunkAcked) != 1) return;
    m_fx.stopTimer(CertTimer::AckTimeout);
    m_params.set(f::certChunkAcked, 0);
    // The device has taken every chunk, the last one included: only now is the blob saved.
    if (m_sendOffset >= m_blob.size()) return finish(true, certText::kSaved);

    m_fx.writeBytes(certChunkFrame(m_blob, m_sendOffset));
    m_sendOffset += kCertChunkSize;
    m_fx.startTimer(CertTimer::AckTimeout, kCertAckTimeoutMs);
    const auto total = static_cast<std::uint32_t>(certChunkCount(m_blob.size()));
    const auto sent = static_cast<std::uint32_t>(m_sendOffset / kCertChunkSize);
    m_fx.progress(sent, total);
    char text[32];
    std::snprintf(text, sizeof text, "%u/%u", static_cast<unsigned>(sent),
                  static_cast<unsigned>(total));
    m_fx.statusText(text);
}

void CertTransfer::abort(const std::string& text) {
    if (busy()) finish(false, text, m_state == State::ReadingChecksums);
}

void CertTransfer::stopAll() {
    for (const CertTimer t : {CertTimer::Tick, CertTimer::AckTimeout, CertTimer::ChecksumPoll,
                              CertTimer::ChecksumTimeout})
        m_fx.stopTimer(t);
}

void CertTransfer::finish(bool ok, FormLabel text, bool checksums) {
    finish(ok, std::string(inLanguage(text, m_lang)), checksums);
}

void CertTransfer::finish(bool ok, std::string text, bool checksums) {
    stopAll();
    m_state = State::Idle;
    m_fx.statusText(text);
    CertResult result;
    result.ok = ok;
    result.text = std::move(text);
    result.checksumRead = checksums;
    if (checksums && ok)
        for (std::uint32_t i = 0; i < f::certChecksums.count; ++i)
            result.checksums[i] = m_params.get(f::certChecksums[i]);
    m_fx.finished(result);
}

}  // namespace dtu
