#include "file_io.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace dtu {

namespace {

constexpr qint64 kChunk = 1024 * 1024;

// Writes until every byte is out or the system refuses one: a short write (a full disk, a file
// size limit) is retried, so its reason is the system's own.
bool writeAll(QFileDevice& file, const char* data, qint64 size, std::string& why) {
    while (size > 0) {
        const qint64 n = file.write(data, size);
        if (n <= 0) {
            why = file.errorString().toStdString();
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool copyBytes(QFile& in, QFileDevice& out, qint64 count, std::string& why) {
    QByteArray buffer;
    while (count > 0) {
        buffer.resize(std::min(count, kChunk));
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n <= 0) {
            why = n < 0 ? in.errorString().toStdString() : "the file ended early";
            return false;
        }
        if (!writeAll(out, buffer.constData(), n, why)) return false;
        count -= n;
    }
    return true;
}

// The old file whole, with the edit, in a new file that replaces it only when complete.
bool spliceAtomic(const QString& path, qint64 size, const IniSplice& splice, std::string& why) {
    QFile in(path);
    QSaveFile out(path);
    if (!in.open(QIODevice::ReadOnly)) {
        why = in.errorString().toStdString();
        return false;
    }
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        why = out.errorString().toStdString();
        return false;
    }
    const auto offset = static_cast<qint64>(splice.offset);
    const auto rest = offset + static_cast<qint64>(splice.length);
    if (!copyBytes(in, out, offset, why) ||
        !writeAll(out, splice.text.data(), static_cast<qint64>(splice.text.size()), why) ||
        !in.seek(rest) || !copyBytes(in, out, size - rest, why)) {
        if (why.empty()) why = in.errorString().toStdString();
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        why = out.errorString().toStdString();
        return false;
    }
    return true;
}

// The file rewritten from the edit on, for a folder that takes no new files; on a failure the
// old bytes are written back.
bool spliceInPlace(const QString& path, qint64 size, const IniSplice& splice, std::string& why) {
    QFile file(path);
    const auto offset = static_cast<qint64>(splice.offset);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !file.seek(offset)) {
        why = file.errorString().toStdString();
        return false;
    }
    const QByteArray oldTail = file.read(size - offset);
    if (oldTail.size() != size - offset) {
        why = file.errorString().toStdString();
        return false;
    }
    const QByteArray newTail =
        QByteArray(splice.text.data(), static_cast<qsizetype>(splice.text.size())) +
        oldTail.mid(static_cast<qsizetype>(splice.length));
    if (file.seek(offset) && writeAll(file, newTail.constData(), newTail.size(), why) &&
        file.resize(offset + newTail.size()))
        return true;
    if (why.empty()) why = file.errorString().toStdString();
    std::string ignored;
    if (!file.seek(offset) || !writeAll(file, oldTail.constData(), oldTail.size(), ignored) ||
        !file.resize(size))
        why += "; the file could not be put back as it was";
    return false;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readFileHead(const std::string& path, std::size_t maxBytes,
                                                      std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    const QByteArray data = file.read(static_cast<qint64>(maxBytes));
    if (file.error() != QFileDevice::NoError) {
        error = path + ": " + file.errorString().toStdString();
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::string& error,
                                                  std::size_t maxBytes) {
    // One byte past the limit catches an oversize file (or an endless device) without taking
    // it all into memory.
    auto data = readFileHead(path, maxBytes + 1, error);
    if (data && data->size() > maxBytes) {
        error = path + ": file is larger than " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    return data;
}

bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes,
                     std::string& error) {
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered: every write reaches the system here, where its result is seen. A buffered
    // rest would be written by commit(), which does not notice when that write comes up short.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    std::string why;
    if (!writeAll(file, reinterpret_cast<const char*>(bytes.data()),
                  static_cast<qint64>(bytes.size()), why)) {
        error = path + ": " + why;
        file.cancelWriting();  // the new file is removed, the old one stays
        return false;
    }
    if (!file.commit()) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

bool appendToFile(const std::string& path, std::string_view bytes, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::Append | QIODevice::Unbuffered)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    const qint64 before = file.size();
    std::string why;
    if (!writeAll(file, bytes.data(), static_cast<qint64>(bytes.size()), why)) {
        error = path + ": " + why;
        if (!file.resize(before)) error += "; the file could not be put back as it was";
        return false;
    }
    return true;
}

bool scanFile(const std::string& path, IniScan& scan, std::string& error) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) {
        scan.finish();
        return true;
    }
    if (!info.isFile()) {
        error = path + ": not a regular file";
        return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0) {
            error = path + ": " + file.errorString().toStdString();
            return false;
        }
        if (n == 0) break;
        scan.feed(std::string_view(buffer.constData(), static_cast<std::size_t>(n)));
    }
    scan.finish();
    return true;
}

bool spliceFile(const std::string& path, std::uint64_t scannedSize, const IniSplice& splice,
                std::string& error) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    const auto size = static_cast<std::uint64_t>(info.exists() ? info.size() : 0);
    if (size != scannedSize) {
        error = path + ": changed while it was being updated; left as it is";
        return false;
    }
    if (splice.length == 0 && splice.offset == size) return appendToFile(path, splice.text, error);
    std::string why;
    // Where the folder takes no new files but the file may be written, it is written in place.
    const bool inPlace = !QFileInfo(info.absolutePath()).isWritable() && info.isWritable();
    const bool ok = inPlace ? spliceInPlace(name, static_cast<qint64>(size), splice, why)
                            : spliceAtomic(name, static_cast<qint64>(size), splice, why);
    if (!ok) error = path + ": " + why;
    return ok;
}

IniDocument readIniFile(const std::string& path) {
    std::string error;
    const auto bytes = readFile(path, error, 16 * 1024 * 1024);
    if (!bytes) return {};
    return IniDocument::parse(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

bool writeIniFile(const std::string& path, const IniDocument& doc, std::string& error) {
    const std::string text = doc.toText();
    return writeFileAtomic(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), error);
}

}  // namespace dtu
