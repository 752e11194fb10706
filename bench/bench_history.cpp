// The history with many runs: how long opening a database of 10,000 runs takes (the check of
// its pages included), listing them all and a filtered listing (what "File / History ..."
// shows), and how long recording one more run holds up the end of a pass.
//
//   bench_history [runs]     default 10000; the database is built in a temporary folder
#include "results/history_store.h"
#include "results/stored_measurement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

HistoryRun SampleRun(int n)
{
    MeasurementRecord record;
    record.SweepPlan.Start = 400e6;
    record.SweepPlan.Stop = 500e6;
    record.SweepPlan.Step = 10e6;
    record.SweepPlan.Steps = 10;
    for (int i = 0; i <= 10; ++i) {
        record.N2off[size_t(i)] = -90 + i * 0.01;
        record.N2on[size_t(i)] = -85 + i * 0.01;
        record.N12off[size_t(i)] = -70 + i * 0.01;
        record.N12on[size_t(i)] = -65 + i * 0.01;
        record.GainDb[size_t(i)] = 20;
        record.NoiseFigureDb[size_t(i)] = 3 + n % 7 * 0.1;
    }
    HistoryRun r;
    r.recordedAt = QDateTime(QDate(2026, 1, 1), QTime(8, 0), Qt::UTC).addSecs(qint64(n) * 97);
    r.dut = QStringLiteral("LNA %1").arg(n % 20);
    r.engineer = QStringLiteral("B. Meier");
    r.serial = QStringLiteral("SN-%1").arg(n, 6, 10, QLatin1Char('0'));
    r.startHz = 400e6;
    r.stopHz = 500e6;
    r.points = 11;
    r.worstNfDb = 3 + n % 7 * 0.1;
    r.verdict = n % 9 == 0 ? QStringLiteral("FAIL: 1 of 11 points") : QStringLiteral("PASS");
    r.limits = "nf_upper, 400000000 Hz, 3.5\n";
    r.calibration = QStringLiteral("fresh");
    // As a pass records it: the complete measurement.
    CompleteMeasurement complete;
    complete.record = record;
    complete.temperatureText = QStringLiteral("21 \u00B0C");
    complete.roomTemperatureK = 294.15;
    complete.measurementEnr.enrAllText = QStringLiteral("5.52 dB");
    complete.programVersion = QStringLiteral("V1.10");
    r.measurement = StoredMeasurementOf(complete);
    return r;
}

double Ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 10000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    QString error;
    {
        HistoryStore store(path);
        if (!store.open(&error)) {
            std::fprintf(stderr, "bench_history: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("filling %d runs ...\n", runs);
        QElapsedTimer fill;
        fill.start();
        for (int n = 0; n < runs; ++n) {
            if (!store.record(SampleRun(n), &error)) {
                std::fprintf(stderr, "bench_history: %s\n", qPrintable(error));
                return 1;
            }
        }
        std::printf("  filled in %.0f ms (%.2f ms a run, each its own transaction)\n", Ms(fill), Ms(fill) / runs);
    }

    QElapsedTimer t;
    t.start();
    HistoryStore store(path);
    if (!store.open(&error)) {
        std::fprintf(stderr, "bench_history: %s\n", qPrintable(error));
        return 1;
    }
    const double openMs = Ms(t);
    t.restart();
    const QList<HistoryRun> all = store.list({}, &error);
    const double listMs = Ms(t);
    t.restart();
    const QList<HistoryRun> some = store.list({QStringLiteral("SN-0012"), {}, {}, {}}, &error);
    const double filterMs = Ms(t);

    QList<double> recordMs;
    for (int i = 0; i < 50; ++i) {
        const HistoryRun run = SampleRun(runs + i);
        t.restart();
        if (!store.record(run, &error)) {
            std::fprintf(stderr, "bench_history: %s\n", qPrintable(error));
            return 1;
        }
        recordMs << Ms(t);
    }
    std::sort(recordMs.begin(), recordMs.end());

    std::printf("history of %d runs (%.1f MB)\n", runs, double(QFileInfo(path).size()) / 1e6);
    std::printf("  open, with its page check       %8.1f ms\n", openMs);
    std::printf("  list every run                  %8.1f ms (%lld rows)\n", listMs, qlonglong(all.size()));
    std::printf("  list by serial \"SN-0012\"        %8.1f ms (%lld rows)\n", filterMs, qlonglong(some.size()));
    std::printf("  record one run: median %.2f ms, worst of 50 %.2f ms\n", recordMs[recordMs.size() / 2],
                recordMs.back());
    return 0;
}
