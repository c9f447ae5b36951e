// Read and save against the simulated device paced to the line rate: how close the tool comes
// to the time the bytes themselves need on the wire (10 bits per byte, both directions), with
// the requests written whole and in 32-byte pieces.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <string>

#include "pty_server.h"
#include "session.h"

namespace {

using namespace dtu;

struct Measure {
    double elapsedMs = 0;
    std::uint64_t lineBytes = 0;
    int runs = 0;
    bool ok = true;
};

// One management command, from the first byte written to its answer handled.
bool runCommand(Session& session, PendingCommand which, bool (*start)(CommandFlow&)) {
    QEventLoop loop;
    bool answered = false;
    auto c = QObject::connect(&session, &Session::commandDone, [&](PendingCommand cmd, bool ok) {
        if (cmd != which) return;
        answered = ok;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (start(session.flow())) loop.exec();
    QObject::disconnect(c);
    return answered;
}

void measure(Session& session, const sim::PtyServer& device, PendingCommand which,
             bool (*start)(CommandFlow&), int runs, Measure& m) {
    for (int i = 0; i < runs; ++i) {
        const auto before = device.counters();
        QElapsedTimer t;
        t.start();
        m.ok = runCommand(session, which, start) && m.ok;
        m.elapsedMs += static_cast<double>(t.nsecsElapsed()) / 1e6;
        const auto after = device.counters();
        m.lineBytes += (after.bytesIn - before.bytesIn) + (after.bytesOut - before.bytesOut);
        ++m.runs;
    }
}

// A device in service: a polling table of 24 entries and the usual texts filled in.
void configure(DeviceParams& p) {
    namespace f = fields;
    p.set(f::modbusItemCount, 24);
    for (std::uint32_t i = 0; i < 24; ++i) {
        const auto rec = f::modbusItem(i);
        p.set(rec.slaveAddress, static_cast<std::uint8_t>(1 + i / 8));
        p.set(rec.functionCode, 3);
        p.set(rec.startRegister, static_cast<std::uint16_t>(i * 2));
        p.set(rec.registerCount, 2);
        p.setText(rec.jsonName, "sensor_" + std::to_string(i) + "_value");
    }
    p.setText(f::serverBHost, "backup.example.org");
    p.set(f::mqttEnable, 1);
    p.setText(f::mqttHost, "mqtt.example.org");
    p.setText(f::mqttClientId, "dtu-000123");
    p.setText(f::mqttPublishTopic1, "plant/line1/dtu-000123/up");
    p.setText(f::mqttSubscribeTopic, "plant/line1/dtu-000123/down");
}

void report(const char* what, int baud, const Measure& m) {
    const double elapsed = m.elapsedMs / m.runs;
    const double bytes = static_cast<double>(m.lineBytes) / m.runs;
    const double bound = bytes * 10.0 * 1000.0 / baud;
    std::printf(
        "%-12s %7d baud  %6.0f bytes  elapsed %8.1f ms  wire bound %8.1f ms  ratio %.3f%s\n", what,
        baud, bytes, elapsed, bound, elapsed / bound, m.ok ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool allOk = true;
    for (const int baud : {9600, 115200}) {
        sim::SimOptions options;
        options.baud = baud;
        options.lineRate = true;
        std::string error;
        const auto device = sim::PtyServer::start(options, error);
        if (!device) {
            std::fprintf(stderr, "link_bench: %s\n", error.c_str());
            return 1;
        }
        Session session;
        session.setFactoryRecordDir({});
        if (!session.openPort(QString::fromStdString(device->path()), baud, 0, 0)) {
            std::fprintf(stderr, "link_bench: cannot open %s\n", device->path().c_str());
            return 1;
        }
        const int runs = baud >= 115200 ? 10 : 3;
        Measure read, save, readPieces, savePieces;
        // The first read makes the parameters known, so that saving is allowed; then the device
        // is given a configuration of working size, so that reads carry it back.
        runCommand(session, PendingCommand::Read, [](CommandFlow& f) { return f.read(); });
        configure(session.params());
        runCommand(session, PendingCommand::Save, [](CommandFlow& f) { return f.save(); });
        measure(
            session, *device, PendingCommand::Read, [](CommandFlow& f) { return f.read(); }, runs,
            read);
        measure(
            session, *device, PendingCommand::Save, [](CommandFlow& f) { return f.save(); }, runs,
            save);
        session.flow().setPieces(true);
        measure(
            session, *device, PendingCommand::Read, [](CommandFlow& f) { return f.read(); }, runs,
            readPieces);
        measure(
            session, *device, PendingCommand::Save, [](CommandFlow& f) { return f.save(); }, runs,
            savePieces);
        report("read", baud, read);
        report("save", baud, save);
        report("read pieces", baud, readPieces);
        report("save pieces", baud, savePieces);
        allOk = allOk && read.ok && save.ok && readPieces.ok && savePieces.ok;
        session.closePort();
    }
    return allOk ? 0 : 1;
}
