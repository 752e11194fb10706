// Measurement files at byte level: the layout, the round trip, the refused contents, the
// ".mea" name rule, and a save that fails leaving the old file as it was.

#include "base/errors.h"
#include "common/working_folder.h"
#include "results/measurement_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <sys/resource.h>

namespace {

QString sample(const char *name)
{
    return QStringLiteral(TESSARY_TEST_DATA "/mea/") + QLatin1String(name);
}

void writeChecked(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Little-endian readers built from single bytes, independent of the host's byte order.
quint64 le(const QByteArray &b, int offset, int size)
{
    quint64 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | quint8(b[offset + i]);
    return v;
}

double leDouble(const QByteArray &b, int offset)
{
    const quint64 bits = le(b, offset, 8);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

float leFloat(const QByteArray &b, int offset)
{
    const quint32 bits = quint32(le(b, offset, 4));
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

qint32 leInt(const QByteArray &b, int offset)
{
    return qint32(quint32(le(b, offset, 4)));
}

void setLe(QByteArray &b, int offset, quint64 v, int size)
{
    for (int i = 0; i < size; ++i, v >>= 8)
        b[offset + i] = char(v & 0xFF);
}

void setDouble(QByteArray &b, int offset, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    setLe(b, offset, bits, 8);
}

/// A record with a distinct value in every field.
MeasurementRecord distinctRecord()
{
    MeasurementRecord r;
    for (int i = 0; i < kRecordSlots; ++i) {
        r.N2off[i] = -75.5 - i;
        r.N2on[i] = -70.25 + i / 7.0;
        r.N12off[i] = -54.125 - i / 3.0;
        r.N12on[i] = -49.0625 + i;
        r.GainDb[i] = 21.0 + i / 11.0;
        r.NoiseFigureDb[i] = i == 7 ? -1.0 : 1.84 + i / 13.0;
    }
    r.Enr = 3.5645;
    r.T0 = 290;
    r.RoomTemperature = 294.15;
    r.SweepPlan.Start = 400e6;
    r.SweepPlan.Stop = 500e6;
    r.SweepPlan.Step = 33333333;
    r.SweepPlan.StepIndex = 4;
    r.SweepPlan.Steps = 3;
    r.MeasurementHeader.RbwIndex = 7;
    r.MeasurementHeader.VbwIndex = -1;
    r.MeasurementHeader.StepsCount = 3;
    r.MeasurementHeader.AverageIndex = 2;
    r.MeasurementHeader.EnrSource = 2;
    r.MeasurementHeader.StartSingle = 400e6f;
    r.MeasurementHeader.StopSingle = 433.5e6f;
    r.MeasurementHeader.NoiseSourceText = QByteArray("ENR table 2 (NS4A.tab) \xB5\xB0\xE4");
    return r;
}

bool sameRecord(const MeasurementRecord &a, const MeasurementRecord &b)
{
    return a.N2off == b.N2off && a.N2on == b.N2on && a.N12off == b.N12off && a.N12on == b.N12on
           && a.GainDb == b.GainDb && a.NoiseFigureDb == b.NoiseFigureDb && a.Enr == b.Enr && a.T0 == b.T0
           && a.RoomTemperature == b.RoomTemperature && a.SweepPlan.Start == b.SweepPlan.Start
           && a.SweepPlan.Stop == b.SweepPlan.Stop && a.SweepPlan.Step == b.SweepPlan.Step
           && a.SweepPlan.StepIndex == b.SweepPlan.StepIndex && a.SweepPlan.Steps == b.SweepPlan.Steps
           && a.MeasurementHeader.RbwIndex == b.MeasurementHeader.RbwIndex
           && a.MeasurementHeader.VbwIndex == b.MeasurementHeader.VbwIndex
           && a.MeasurementHeader.StepsCount == b.MeasurementHeader.StepsCount
           && a.MeasurementHeader.AverageIndex == b.MeasurementHeader.AverageIndex
           && a.MeasurementHeader.EnrSource == b.MeasurementHeader.EnrSource
           && a.MeasurementHeader.StartSingle == b.MeasurementHeader.StartSingle
           && a.MeasurementHeader.StopSingle == b.MeasurementHeader.StopSingle
           && a.MeasurementHeader.NoiseSourceText == b.MeasurementHeader.NoiseSourceText;
}

/// Limits the size of files this process may write, for as long as it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails with EFBIG
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

}  // namespace

class TestMeasurementFile : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void reservedBytesAreZero();
    void roundTrip();
    void longTextIsCut();
    void designedSample();
    void reservedBytesAreIgnored();
    void refused_data();
    void refused();
    void accepted_data();
    void accepted();
    void fileName_data();
    void fileName();
    void loadStatus_data();
    void loadStatus();
    void pipeIsRefusedWithoutWaiting();
    void saveAndLoad();
    void failedSaveKeepsTheOldFile();
    void randomBytesNeverCrash();
};

void TestMeasurementFile::layout()
{
    const MeasurementRecord r = distinctRecord();
    const QByteArray b = EncodeMeasurementRecord(r);
    QCOMPARE(b.size(), 5040);
    for (int i = 0; i < kRecordSlots; ++i) {
        QCOMPARE(leDouble(b, 0 + 8 * i), r.N2off[i]);
        QCOMPARE(leDouble(b, 808 + 8 * i), r.N2on[i]);
        QCOMPARE(leDouble(b, 1616 + 8 * i), r.N12off[i]);
        QCOMPARE(leDouble(b, 2424 + 8 * i), r.N12on[i]);
        QCOMPARE(leDouble(b, 3232 + 8 * i), r.GainDb[i]);
        QCOMPARE(leDouble(b, 4040 + 8 * i), r.NoiseFigureDb[i]);
    }
    QCOMPARE(leDouble(b, 4888), 3.5645);
    QCOMPARE(leDouble(b, 4896), 290.0);
    QCOMPARE(leDouble(b, 4904), 294.15);
    QCOMPARE(leDouble(b, 4920), 400e6);
    QCOMPARE(leDouble(b, 4928), 500e6);
    QCOMPARE(leDouble(b, 4936), 33333333.0);
    QCOMPARE(leInt(b, 4944), 4);
    QCOMPARE(leInt(b, 4948), 3);
    QCOMPARE(leInt(b, 4960), 7);
    QCOMPARE(leInt(b, 4964), -1);
    QCOMPARE(leInt(b, 4968), 3);
    QCOMPARE(leInt(b, 4972), 2);
    QCOMPARE(leInt(b, 4976), 2);
    QCOMPARE(leFloat(b, 4980), 400e6f);
    QCOMPARE(leFloat(b, 4984), 433.5e6f);
    const QByteArray text = r.MeasurementHeader.NoiseSourceText;
    QCOMPARE(int(quint8(b[5004])), text.size());
    QCOMPARE(b.mid(5005, text.size()), text);
    // Windows-1252 single bytes: micro, degree, a-umlaut.
    QCOMPARE(b.mid(5005 + text.size() - 3, 3), QByteArray("\xB5\xB0\xE4"));
}

void TestMeasurementFile::reservedBytesAreZero()
{
    MeasurementRecord r = distinctRecord();
    r.MeasurementHeader.NoiseSourceText = "const. (5.52 dB)";
    const QByteArray b = EncodeMeasurementRecord(r);
    const struct
    {
        int from, to;
    } reserved[] = {{4848, 4888}, {4912, 4920}, {4952, 4960}, {4988, 5004}, {5005 + 16, 5040}};
    for (const auto &range : reserved)
        for (int i = range.from; i < range.to; ++i)
            QVERIFY2(b[i] == 0, qPrintable(QStringLiteral("byte %1").arg(i)));
}

void TestMeasurementFile::roundTrip()
{
    const MeasurementRecord r = distinctRecord();
    const std::optional<MeasurementRecord> back = DecodeMeasurementRecord(EncodeMeasurementRecord(r));
    QVERIFY(back);
    QVERIFY(sameRecord(*back, r));
    QCOMPARE(EncodeMeasurementRecord(*back), EncodeMeasurementRecord(r));
}

void TestMeasurementFile::longTextIsCut()
{
    MeasurementRecord r = distinctRecord();
    r.MeasurementHeader.NoiseSourceText = QByteArray(40, 'x');
    const QByteArray b = EncodeMeasurementRecord(r);
    QCOMPARE(b.size(), 5040);
    QCOMPARE(int(quint8(b[5004])), 32);
    QCOMPARE(DecodeMeasurementRecord(b)->MeasurementHeader.NoiseSourceText, QByteArray(32, 'x'));
}

void TestMeasurementFile::designedSample()
{
    const std::optional<MeasurementRecord> r = DecodeMeasurementRecord(ReadFileBytes(sample("designed.mea")));
    QVERIFY(r);
    QCOMPARE(r->SweepPlan.Start, 400e6);
    QCOMPARE(r->SweepPlan.Stop, 500e6);
    QCOMPARE(r->SweepPlan.Step, 10e6);
    QCOMPARE(r->SweepPlan.StepIndex, 11);
    QCOMPARE(r->SweepPlan.Steps, 10);
    QCOMPARE(r->MeasurementHeader.RbwIndex, 7);
    QCOMPARE(r->MeasurementHeader.VbwIndex, 2);
    QCOMPARE(r->MeasurementHeader.StepsCount, 10);
    QCOMPARE(r->MeasurementHeader.AverageIndex, 2);
    QCOMPARE(r->MeasurementHeader.EnrSource, 0);
    QCOMPARE(r->MeasurementHeader.StartSingle, 400e6f);
    QCOMPARE(r->MeasurementHeader.StopSingle, 500e6f);
    QCOMPARE(r->MeasurementHeader.NoiseSourceText, QByteArray("const. (5.52 dB)"));
    QCOMPARE(r->N2off[0], -75.55);
    QCOMPARE(r->N12on[0], -49.06);
    QVERIFY(std::abs(r->GainDb[0] - 21.14) < 0.01);
    QVERIFY(std::abs(r->NoiseFigureDb[0] - 1.84) < 0.01);
    QCOMPARE(r->T0, 290.0);
    // Encoding it again gives the file byte for byte.
    QCOMPARE(EncodeMeasurementRecord(*r), ReadFileBytes(sample("designed.mea")));
}

void TestMeasurementFile::reservedBytesAreIgnored()
{
    const std::optional<MeasurementRecord> garbage = DecodeMeasurementRecord(ReadFileBytes(sample("reserved_garbage.mea")));
    const std::optional<MeasurementRecord> designed = DecodeMeasurementRecord(ReadFileBytes(sample("designed.mea")));
    QVERIFY(garbage && designed);
    QVERIFY(sameRecord(*garbage, *designed));
}

void TestMeasurementFile::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = ReadFileBytes(sample("designed.mea"));
    QVERIFY(good.size() == 5040);
    QTest::newRow("5039 bytes") << ReadFileBytes(sample("short.mea"));
    QTest::newRow("5041 bytes") << ReadFileBytes(sample("long.mea"));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("Steps 100") << ReadFileBytes(sample("steps_100.mea"));
    QTest::newRow("StepsCount -1") << ReadFileBytes(sample("stepscount_minus1.mea"));
    QTest::newRow("text length 33") << ReadFileBytes(sample("text_length_33.mea"));
    QTest::newRow("NaN gain") << ReadFileBytes(sample("nan_gain.mea"));
    QTest::newRow("infinite StartSingle") << ReadFileBytes(sample("inf_start_single.mea"));

    QByteArray b = good;
    setLe(b, 4948, quint32(-1), 4);
    QTest::newRow("Steps -1") << b;
    b = good;
    setLe(b, 4968, 100, 4);
    QTest::newRow("StepsCount 100") << b;
    b = good;
    b[5004] = char(255);
    QTest::newRow("text length 255") << b;
    b = good;
    setDouble(b, 0, std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("NaN in N2off[0]") << b;
    b = good;
    setDouble(b, 4040 + 8 * 100, -std::numeric_limits<double>::infinity());
    QTest::newRow("-inf in the calculator's noise figure") << b;
    b = good;
    setDouble(b, 4888, std::numeric_limits<double>::infinity());
    QTest::newRow("infinite Enr") << b;
    b = good;
    setDouble(b, 4936, std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("NaN Step") << b;
    b = good;
    setLe(b, 4984, 0x7FC00000, 4);
    QTest::newRow("NaN StopSingle") << b;
}

void TestMeasurementFile::refused()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!DecodeMeasurementRecord(bytes));
}

void TestMeasurementFile::accepted_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = ReadFileBytes(sample("designed.mea"));
    QByteArray b = good;
    setLe(b, 4948, 0, 4);
    setLe(b, 4968, 0, 4);
    QTest::newRow("Steps and StepsCount 0") << b;
    b = good;
    setLe(b, 4948, 99, 4);
    setLe(b, 4968, 99, 4);
    QTest::newRow("Steps and StepsCount 99") << b;
    b = good;
    b[5004] = 32;
    QTest::newRow("text length 32") << b;
    b = good;
    setLe(b, 4976, 77, 4);
    setLe(b, 4944, quint32(-5), 4);
    QTest::newRow("EnrSource 77, StepIndex -5") << b;
    b = good;
    setDouble(b, 3232, 1e308);
    setDouble(b, 4040, -1e308);
    QTest::newRow("huge but finite numbers") << b;
}

void TestMeasurementFile::accepted()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(DecodeMeasurementRecord(bytes));
}

void TestMeasurementFile::fileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("run1") << "run1" << "run1.mea";
    QTest::newRow("run1.mea") << "run1.mea" << "run1.mea";
    QTest::newRow("RUN1.MEA") << "RUN1.MEA" << "RUN1.MEA.mea";
    QTest::newRow("run1.Mea") << "run1.Mea" << "run1.Mea.mea";
    QTest::newRow("run1.mea.bak") << "run1.mea.bak" << "run1.mea.bak.mea";
    QTest::newRow("folder/run1") << "/tmp/x.mea/run1" << "/tmp/x.mea/run1.mea";
}

void TestMeasurementFile::fileName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(MeasurementFileName(chosen), saved);
}

void TestMeasurementFile::loadStatus_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<MeasurementLoadStatus>("status");
    QTest::newRow("designed") << sample("designed.mea") << MeasurementLoadStatus::Loaded;
    QTest::newRow("single frequency") << sample("single.mea") << MeasurementLoadStatus::Loaded;
    QTest::newRow("missing") << sample("no_such_file.mea") << MeasurementLoadStatus::Missing;
    QTest::newRow("a folder") << QStringLiteral(TESSARY_TEST_DATA "/mea") << MeasurementLoadStatus::Missing;
    QTest::newRow("5039 bytes") << sample("short.mea") << MeasurementLoadStatus::Corrupt;
    QTest::newRow("5041 bytes") << sample("long.mea") << MeasurementLoadStatus::Corrupt;
    QTest::newRow("Steps 100") << sample("steps_100.mea") << MeasurementLoadStatus::Corrupt;
    QTest::newRow("NaN gain") << sample("nan_gain.mea") << MeasurementLoadStatus::Corrupt;
    QTest::newRow("not a measurement") << sample("make_samples.py") << MeasurementLoadStatus::Corrupt;
}

void TestMeasurementFile::loadStatus()
{
    QFETCH(QString, path);
    QFETCH(MeasurementLoadStatus, status);
    QCOMPARE(LoadMeasurementFile(path).status, status);
}

void TestMeasurementFile::pipeIsRefusedWithoutWaiting()
{
    // Opening a pipe would wait for a writer that never comes.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("run1.mea"));
    QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QCOMPARE(LoadMeasurementFile(fifo).status, MeasurementLoadStatus::Corrupt);
}

void TestMeasurementFile::saveAndLoad()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("run1.mea"));
    const MeasurementRecord r = distinctRecord();
    SaveMeasurementFile(path, r);
    QCOMPARE(QFileInfo(path).size(), 5040);
    QCOMPARE(ReadFileBytes(path), EncodeMeasurementRecord(r));
    const MeasurementLoadResult back = LoadMeasurementFile(path);
    QCOMPARE(back.status, MeasurementLoadStatus::Loaded);
    QVERIFY(sameRecord(back.record, r));
    // Saving over it replaces it; nothing else is left in the folder.
    MeasurementRecord other = r;
    other.GainDb[0] = 99;
    SaveMeasurementFile(path, other);
    QCOMPARE(LoadMeasurementFile(path).record.GainDb[0], 99.0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("run1.mea")});
}

void TestMeasurementFile::failedSaveKeepsTheOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("run1.mea"));
    const QByteArray old = ReadFileBytes(sample("designed.mea"));
    writeChecked(path, old);
    bool thrown = false;
    {
        // The disk "fills up" after 1000 bytes: the write fails part-way.
        const FileSizeLimit limit(1000);
        try {
            SaveMeasurementFile(path, distinctRecord());
        } catch (const EFileError &e) {
            thrown = true;
            QVERIFY(!e.message().isEmpty());
        }
    }
    QVERIFY(thrown);
    QCOMPARE(ReadFileBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("run1.mea")});

    // A folder that does not exist.
    QVERIFY_THROWS_EXCEPTION(EFileError, SaveMeasurementFile(dir.filePath(QStringLiteral("none/run1.mea")), distinctRecord()));
}

void TestMeasurementFile::randomBytesNeverCrash()
{
    // Arbitrary 5040-byte files: most are refused, and those that pass (the step counts and
    // text length forced into bounds) decode to a record within its bounds.
    const QByteArray good = ReadFileBytes(sample("designed.mea"));
    int accepted = 0;
    for (quint32 seed = 1; seed <= 400; ++seed) {
        QRandomGenerator rng(seed);
        QByteArray b(5040, '\0');
        for (int i = 0; i < b.size(); ++i)
            b[i] = char(rng.bounded(256));
        const qint32 steps = leInt(b, 4948);
        if (steps < 0 || steps > 99)
            QVERIFY(!DecodeMeasurementRecord(b));
        if (seed % 2 == 0) {
            setLe(b, 4948, rng.bounded(100), 4);
            setLe(b, 4968, rng.bounded(100), 4);
            b[5004] = char(rng.bounded(33));
        }
        const std::optional<MeasurementRecord> r = DecodeMeasurementRecord(b);
        if (!r)
            continue;
        ++accepted;
        QVERIFY(r->SweepPlan.Steps >= 0 && r->SweepPlan.Steps <= 99);
        QVERIFY(r->MeasurementHeader.StepsCount >= 0 && r->MeasurementHeader.StepsCount <= 99);
        QVERIFY(r->MeasurementHeader.NoiseSourceText.size() <= 32);
        QVERIFY(std::isfinite(r->GainDb[r->SweepPlan.Steps]));
        QCOMPARE(EncodeMeasurementRecord(*r).size(), 5040);
    }
    // Random doubles are finite most of the time, so a good share of the forced files pass.
    QVERIFY2(accepted > 50, qPrintable(QString::number(accepted)));
}

QTEST_MAIN(TestMeasurementFile)
#include "tst_measurement_file.moc"
