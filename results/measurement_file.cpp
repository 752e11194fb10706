#include "results/measurement_file.h"

#include "base/errors.h"
#include "base/files.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace {

// Little-endian field helpers on a byte buffer of the file's size.

void putU32(QByteArray &b, int offset, quint32 v)
{
    qToLittleEndian(v, b.data() + offset);
}

void putI32(QByteArray &b, int offset, qint32 v)
{
    putU32(b, offset, quint32(v));
}

void putDouble(QByteArray &b, int offset, double v)
{
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    qToLittleEndian(bits, b.data() + offset);
}

void putFloat(QByteArray &b, int offset, float v)
{
    quint32 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(b, offset, bits);
}

quint32 getU32(const QByteArray &b, int offset)
{
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

qint32 getI32(const QByteArray &b, int offset)
{
    return qint32(getU32(b, offset));
}

double getDouble(const QByteArray &b, int offset)
{
    const quint64 bits = qFromLittleEndian<quint64>(b.constData() + offset);
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

float getFloat(const QByteArray &b, int offset)
{
    const quint32 bits = getU32(b, offset);
    float v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void putSlots(QByteArray &b, int offset, const MeasurementRecord::Slots &values)
{
    for (int i = 0; i < kRecordSlots; ++i)
        putDouble(b, offset + 8 * i, values[i]);
}

/// Reads 101 doubles; false when one of them is not finite.
bool getSlots(const QByteArray &b, int offset, MeasurementRecord::Slots &values)
{
    for (int i = 0; i < kRecordSlots; ++i) {
        values[i] = getDouble(b, offset + 8 * i);
        if (!std::isfinite(values[i]))
            return false;
    }
    return true;
}

bool inStepRange(qint32 v)
{
    return v >= 0 && v <= kMaxStepSlot;
}

}  // namespace

QByteArray EncodeMeasurementRecord(const MeasurementRecord &r)
{
    QByteArray b(kMeasurementFileSize, '\0');
    putSlots(b, MeaOffset::N2off, r.N2off);
    putSlots(b, MeaOffset::N2on, r.N2on);
    putSlots(b, MeaOffset::N12off, r.N12off);
    putSlots(b, MeaOffset::N12on, r.N12on);
    putSlots(b, MeaOffset::GainDb, r.GainDb);
    putSlots(b, MeaOffset::NoiseFigureDb, r.NoiseFigureDb);
    putDouble(b, MeaOffset::Enr, r.Enr);
    putDouble(b, MeaOffset::T0, r.T0);
    putDouble(b, MeaOffset::RoomTemperature, r.RoomTemperature);

    const SweepPlan &plan = r.SweepPlan;
    putDouble(b, MeaOffset::Start, plan.Start);
    putDouble(b, MeaOffset::Stop, plan.Stop);
    putDouble(b, MeaOffset::Step, plan.Step);
    putI32(b, MeaOffset::StepIndex, plan.StepIndex);
    putI32(b, MeaOffset::Steps, plan.Steps);

    const MeasurementHeader &h = r.MeasurementHeader;
    putI32(b, MeaOffset::RbwIndex, h.RbwIndex);
    putI32(b, MeaOffset::VbwIndex, h.VbwIndex);
    putI32(b, MeaOffset::StepsCount, h.StepsCount);
    putI32(b, MeaOffset::AverageIndex, h.AverageIndex);
    putI32(b, MeaOffset::EnrSource, h.EnrSource);
    putFloat(b, MeaOffset::StartSingle, h.StartSingle);
    putFloat(b, MeaOffset::StopSingle, h.StopSingle);

    const QByteArray text = h.NoiseSourceText.left(kMaxNoiseSourceText);
    b[MeaOffset::NoiseSourceText] = char(text.size());
    std::memcpy(b.data() + MeaOffset::NoiseSourceText + 1, text.constData(), size_t(text.size()));
    return b;
}

std::optional<MeasurementRecord> DecodeMeasurementRecord(const QByteArray &b)
{
    if (b.size() != kMeasurementFileSize)
        return std::nullopt;

    MeasurementRecord r;
    if (!getSlots(b, MeaOffset::N2off, r.N2off) || !getSlots(b, MeaOffset::N2on, r.N2on)
        || !getSlots(b, MeaOffset::N12off, r.N12off) || !getSlots(b, MeaOffset::N12on, r.N12on)
        || !getSlots(b, MeaOffset::GainDb, r.GainDb)
        || !getSlots(b, MeaOffset::NoiseFigureDb, r.NoiseFigureDb))
        return std::nullopt;
    r.Enr = getDouble(b, MeaOffset::Enr);
    r.T0 = getDouble(b, MeaOffset::T0);
    r.RoomTemperature = getDouble(b, MeaOffset::RoomTemperature);

    SweepPlan &plan = r.SweepPlan;
    plan.Start = getDouble(b, MeaOffset::Start);
    plan.Stop = getDouble(b, MeaOffset::Stop);
    plan.Step = getDouble(b, MeaOffset::Step);
    plan.StepIndex = getI32(b, MeaOffset::StepIndex);
    plan.Steps = getI32(b, MeaOffset::Steps);

    MeasurementHeader &h = r.MeasurementHeader;
    h.RbwIndex = getI32(b, MeaOffset::RbwIndex);
    h.VbwIndex = getI32(b, MeaOffset::VbwIndex);
    h.StepsCount = getI32(b, MeaOffset::StepsCount);
    h.AverageIndex = getI32(b, MeaOffset::AverageIndex);
    h.EnrSource = getI32(b, MeaOffset::EnrSource);
    h.StartSingle = getFloat(b, MeaOffset::StartSingle);
    h.StopSingle = getFloat(b, MeaOffset::StopSingle);

    const int length = quint8(b[MeaOffset::NoiseSourceText]);
    if (length > kMaxNoiseSourceText)
        return std::nullopt;
    h.NoiseSourceText = b.mid(MeaOffset::NoiseSourceText + 1, length);

    // The step selector, the graph and the report address slots 0..Steps and 0..StepsCount,
    // and every number ends up in arithmetic or on screen.
    const bool finite = std::isfinite(r.Enr) && std::isfinite(r.T0) && std::isfinite(r.RoomTemperature)
                        && std::isfinite(plan.Start) && std::isfinite(plan.Stop) && std::isfinite(plan.Step)
                        && std::isfinite(h.StartSingle) && std::isfinite(h.StopSingle);
    if (!finite || !inStepRange(plan.Steps) || !inStepRange(h.StepsCount))
        return std::nullopt;
    return r;
}

QString MeasurementFileName(const QString &chosen)
{
    if (chosen.endsWith(QStringLiteral(".mea"), Qt::CaseSensitive))
        return chosen;
    return chosen + QStringLiteral(".mea");
}

MeasurementLoadResult LoadMeasurementFile(const QString &path)
{
    MeasurementLoadResult result;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        result.status = MeasurementLoadStatus::Missing;
        return result;
    }
    // A pipe or a device is no measurement, and opening a pipe would wait for a writer.
    if (!info.isFile() || info.size() != kMeasurementFileSize) {
        result.status = MeasurementLoadStatus::Corrupt;
        return result;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString()));
    if (f.size() != kMeasurementFileSize) {
        result.status = MeasurementLoadStatus::Corrupt;
        return result;
    }
    const QByteArray bytes = f.read(kMeasurementFileSize);
    if (f.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("Read error on \"%1\". %2").arg(path, f.errorString()));
    std::optional<MeasurementRecord> record = DecodeMeasurementRecord(bytes);
    if (!record) {
        result.status = MeasurementLoadStatus::Corrupt;
        return result;
    }
    result.status = MeasurementLoadStatus::Loaded;
    result.record = std::move(*record);
    return result;
}

void SaveMeasurementFile(const QString &path, const MeasurementRecord &record)
{
    QString reason;
    if (!WriteFileAtomically(path, EncodeMeasurementRecord(record), &reason))
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, reason));
}
