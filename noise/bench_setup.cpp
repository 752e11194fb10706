#include "noise/bench_setup.h"

#include "base/engvalue.h"

#include <cmath>

double LossSetting::lossDbAt(double frequencyHz, bool *outside) const
{
    if (outside)
        *outside = false;
    switch (mode) {
    case LossMode::Off:
        return 0;
    case LossMode::Fixed:
        return fixedDb;
    case LossMode::Table:
        break;
    }
    if (table.isEmpty())
        return 0;
    const LossPoint &first = table.front();
    const LossPoint &last = table.back();
    if (frequencyHz < first.frequencyHz || frequencyHz > last.frequencyHz) {
        if (outside)
            *outside = true;
        return frequencyHz < first.frequencyHz ? first.lossDb : last.lossDb;
    }
    for (qsizetype i = 1; i < table.size(); ++i) {
        const LossPoint &a = table[i - 1];
        const LossPoint &b = table[i];
        if (frequencyHz <= b.frequencyHz) {
            if (b.frequencyHz == a.frequencyHz)
                return b.lossDb;
            const double t = (frequencyHz - a.frequencyHz) / (b.frequencyHz - a.frequencyHz);
            return a.lossDb + t * (b.lossDb - a.lossDb);
        }
    }
    return last.lossDb;
}

bool BenchSetup::isDefault() const
{
    return lossBefore.isDefault() && lossAfter.isDefault() && dutType == DutType::Amplifier
        && loHz == 0 && !imageRejectionDb && calSource == kCalSourceAsMeasurement;
}

double IfFrequencyHz(DutType type, double loHz, double rfHz)
{
    switch (type) {
    case DutType::Amplifier:
        break;
    case DutType::DownConverter:
        return std::fabs(rfHz - loHz);
    case DutType::UpConverter:
        return rfHz + loHz;
    }
    return rfHz;
}

namespace {

QString HzText(double hz)
{
    static const struct { double scale; const char *unit; } units[] = {
        {1e12, "THz"}, {1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1, "Hz"}};
    for (const auto &u : units) {
        if (std::fabs(hz) >= u.scale || u.scale == 1)
            return ShortestDecimal(hz / u.scale) + u' ' + QLatin1String(u.unit);
    }
    return ShortestDecimal(hz) + QStringLiteral(" Hz");
}

QString StepText(int index, double rfHz)
{
    return QStringLiteral("Step %1 (%2)").arg(index + 1).arg(HzText(rfHz));
}

}  // namespace

IfPlan PlanIfs(DutType type, double loHz, const QList<double> &rfHz)
{
    IfPlan plan;
    if (type != DutType::Amplifier && !(loHz > 0)) {
        plan.refusal = QStringLiteral("The LO frequency must lie above 0 Hz for a converter.");
        return plan;
    }
    int side = 0;  // a down-converter's RFs: -1 below the LO, +1 above
    for (int i = 0; i < rfHz.size(); ++i) {
        const double rf = rfHz[i];
        const double ifHz = IfFrequencyHz(type, loHz, rf);
        if (!(ifHz > 0) || !std::isfinite(ifHz)) {
            plan.refusal = StepText(i, rf) + QStringLiteral(": the IF would be %1, at or below 0 Hz.").arg(HzText(ifHz));
            plan.ifHz.clear();
            return plan;
        }
        if (type == DutType::DownConverter) {
            const int s = rf > loHz ? 1 : -1;
            if (side != 0 && s != side) {
                plan.refusal = StepText(i, rf) + QStringLiteral(": the plan crosses the LO at %1.").arg(HzText(loHz));
                plan.ifHz.clear();
                return plan;
            }
            side = s;
        }
        plan.ifHz.append(ifHz);
    }
    return plan;
}

QString DutTypeText(DutType type)
{
    switch (type) {
    case DutType::Amplifier:
        break;
    case DutType::DownConverter:
        return QStringLiteral("Down-converter");
    case DutType::UpConverter:
        return QStringLiteral("Up-converter");
    }
    return QStringLiteral("Amplifier");
}

QString DutTypeKey(DutType type)
{
    switch (type) {
    case DutType::Amplifier:
        break;
    case DutType::DownConverter:
        return QStringLiteral("down");
    case DutType::UpConverter:
        return QStringLiteral("up");
    }
    return QStringLiteral("amplifier");
}

std::optional<DutType> DutTypeFromKey(const QString &key)
{
    const QString k = key.trimmed().toLower();
    if (k == QLatin1String("amplifier"))
        return DutType::Amplifier;
    if (k == QLatin1String("down"))
        return DutType::DownConverter;
    if (k == QLatin1String("up"))
        return DutType::UpConverter;
    return std::nullopt;
}

namespace {

QString LossSummary(const char *where, const LossSetting &loss)
{
    if (!loss.active())
        return QString();
    QString text = QStringLiteral("Loss %1 ").arg(QLatin1String(where));
    if (loss.mode == LossMode::Fixed)
        text += ShortestDecimal(loss.fixedDb) + QStringLiteral(" dB");
    else
        text += QStringLiteral("table (%1 points)").arg(loss.table.size());
    if (loss.temperatureK)
        text += QStringLiteral(" @ ") + ShortestDecimal(std::round(*loss.temperatureK * 100) / 100) + QStringLiteral(" K");
    return text;
}

}  // namespace

QString BenchSummaryText(const BenchSetup &bench)
{
    QStringList parts;
    if (QString t = LossSummary("before", bench.lossBefore); !t.isEmpty())
        parts << t;
    if (QString t = LossSummary("after", bench.lossAfter); !t.isEmpty())
        parts << t;
    if (bench.isConverter()) {
        QString t = DutTypeText(bench.dutType) + QStringLiteral(" LO ") + HzText(bench.loHz);
        t += bench.imageRejectionDb ? QStringLiteral(", image ") + ShortestDecimal(*bench.imageRejectionDb) + QStringLiteral(" dB")
                                    : QStringLiteral(", SSB");
        parts << t;
    }
    if (bench.calSource != kCalSourceAsMeasurement) {
        static const char *names[] = {"const.", "Table1", "Table2"};
        const int s = bench.calSource;
        parts << QStringLiteral("Calibration ENR ") + QLatin1String(s >= 0 && s <= 2 ? names[s] : "?");
    }
    return parts.join(QStringLiteral(" \u00b7 "));
}
