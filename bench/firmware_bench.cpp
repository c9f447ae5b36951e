// A firmware upgrade against the simulated device paced to the line rate: how close the
// stop-and-wait transfer comes to the time its frames need on the wire (10 bits per byte, both
// directions).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <string>

#include "firmware_upgrade.h"
#include "pty_server.h"
#include "session.h"

int main(int argc, char** argv) {
    using namespace dtu;
    QCoreApplication app(argc, argv);
    constexpr int kBaud = kFirmwareLineBaud;
    constexpr std::uint32_t kImageSize = 256 * 1024;

    sim::SimOptions options;
    options.baud = kBaud;
    options.lineRate = true;
    std::string error;
    const auto device = sim::PtyServer::start(options, error);
    if (!device) {
        std::fprintf(stderr, "firmware_bench: %s\n", error.c_str());
        return 1;
    }
    Session session;
    session.setFactoryRecordDir({});
    if (!session.openPort(QString::fromStdString(device->path()), kBaud, 0, 0)) {
        std::fprintf(stderr, "firmware_bench: cannot open %s\n", device->path().c_str());
        return 1;
    }

    FirmwareImage image{0x01, std::vector<std::uint8_t>(kImageSize)};
    for (std::uint32_t i = 0; i < kImageSize; ++i)
        image.data[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);

    FirmwareUpgrader upgrader(session);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&upgrader, &FirmwareUpgrader::finished, [&](bool success, const QString&) {
        ok = success;
        loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);

    const auto before = device->counters();
    QElapsedTimer t;
    t.start();
    if (upgrader.start(image, false)) loop.exec();
    const double elapsedMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const auto after = device->counters();

    const double bytes =
        static_cast<double>((after.bytesIn - before.bytesIn) + (after.bytesOut - before.bytesOut));
    const double boundMs = bytes * 10.0 * 1000.0 / kBaud;
    std::printf(
        "firmware %u bytes, %u blocks at %d baud  %.0f line bytes  elapsed %.1f ms  "
        "wire bound %.1f ms  ratio %.3f%s\n",
        kImageSize, image.blockCount(), kBaud, bytes, elapsedMs, boundMs, elapsedMs / boundMs,
        ok ? "" : "  (FAILED)");
    std::printf("  of which the device's %d ms pause to change its line rate\n",
                kFirmwareSwitchPauseMs);
    session.closePort();
    return ok ? 0 : 1;
}
