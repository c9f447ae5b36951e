// The parameter history's cost: what keeping an entry adds to a read (the record kept already,
// and a record not kept before), and listing one device's entries, with what changed, in a
// record of 100 000 entries. Goals: under 5 ms and under 50 ms.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

#include "history_recorder.h"
#include "param_history.h"

namespace {

using namespace dtu;

constexpr int kEntries = 100000;
constexpr int kDevices = 1000;

std::string imeiOf(int device) {
    return std::to_string(861234050000000LL + device);
}

DeviceParams deviceRecord(int device, std::uint16_t port) {
    DeviceParams p;
    p.setText(fields::imei, std::string_view(imeiOf(device)));
    p.setText(fields::deviceModel, std::string_view("DTU-4G-C1"));
    p.set(fields::serverAPort, port);
    return p;
}

HistoryEntry readEntry() {
    HistoryEntry e;
    e.station = "bench";
    e.port = "pts/0";
    e.kind = HistoryKind::Read;
    e.result = std::string(kHistoryOk);
    return e;
}

struct Record {
    QTemporaryDir dir;
    RecordTarget target;
    std::unique_ptr<ParamHistory> history = std::make_unique<ParamHistory>();
    Record() {
        target.file = dir.filePath("provisioning.sqlite");
        QString error;
        if (!history->open(target, ProvisioningDb::Mode::Append, error))
            qFatal("%s", qPrintable(error));
    }
};

void recordAdds(benchmark::State& state, bool newRecord) {
    Record r;
    const DeviceParams base = deviceRecord(1, 6000);
    HistoryEntry e = readEntry();
    setHistoryIdentity(e, base);
    std::uint16_t port = 6000;
    for (auto _ : state) {
        const DeviceParams p = newRecord ? deviceRecord(1, ++port) : base;
        QString message;
        if (!recordHistory(*r.history, e, p, message)) state.SkipWithError(qPrintable(message));
    }
}

void BM_RecordReadKeptAlready(benchmark::State& state) {
    recordAdds(state, false);
}
void BM_RecordReadNewRecord(benchmark::State& state) {
    recordAdds(state, true);
}

// 100 000 entries of 1000 devices, each device's entries alternating between two records so
// that every listed entry has a change to show.
void BM_ListOneDevice(benchmark::State& state) {
    Record r;
    {
        // Written in one transaction of a connection of its own: filling is not what is measured.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(r.target.file);
        db.open();
        db.transaction();
        QSqlQuery rec(db), entry(db);
        rec.prepare("INSERT INTO param_records (sha256, params) VALUES (?, ?)");
        entry.prepare(
            "INSERT INTO history (time, station, port, imei, mac, model, firmware_version, kind, "
            "result, params_sha256) VALUES (?, 'bench', 'pts/0', ?, NULL, 'DTU-4G-C1', NULL, "
            "'read', 'ok', ?)");
        std::vector<QString> hashes;
        for (int d = 0; d < kDevices; ++d) {
            for (std::uint16_t port : {6000, 7001}) {
                const auto bytes = *historyRecord(deviceRecord(d, port));
                const QByteArray blob(reinterpret_cast<const char*>(bytes.data()),
                                      static_cast<qsizetype>(bytes.size()));
                const QString hash = QString::fromLatin1(
                    QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toHex());
                rec.addBindValue(hash);
                rec.addBindValue(blob);
                rec.exec();
                hashes.push_back(hash);
            }
        }
        for (int i = 0; i < kEntries; ++i) {
            const int d = i % kDevices;
            entry.addBindValue(QStringLiteral("2026-01-01T00:00:00.000Z"));
            entry.addBindValue(QString::fromStdString(imeiOf(d)));
            entry.addBindValue(hashes[2 * d + (i / kDevices) % 2]);
            entry.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase("fill");
    const QString imei = QString::fromStdString(imeiOf(kDevices / 2));
    for (auto _ : state) {
        QString error;
        const auto listed = r.history->list(imei, 50, error);
        if (!listed || listed->size() != 50 || listed->front().changes.empty())
            state.SkipWithError("the device's entries were not listed");
        benchmark::DoNotOptimize(listed);
    }
}

BENCHMARK(BM_RecordReadKeptAlready)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordReadNewRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListOneDevice)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
