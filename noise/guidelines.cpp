#include "noise/guidelines.h"

#include "base/engvalue.h"
#include "base/errors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString Db(int decimals, double valueDb)
{
    return FormatValue(decimals, fvDb, valueDb);
}

QString Dbm(double valueDbm)
{
    return FormatValue(1, fvDbm, valueDbm);
}

/// A frequency as the program shows it, with its prefix.
QString Frequency(double hz)
{
    return FormatValue(2, fvPrefix | fvHz, hz);
}

}  // namespace

double AnalyserNoiseShare(const SystemNoise &noise)
{
    if (!noise.valid || noise.g1 <= 0 || noise.f12 <= 1)
        return std::numeric_limits<double>::quiet_NaN();
    return ((noise.f2 - 1.0) / noise.g1) / (noise.f12 - 1.0);
}

QList<GuidelineFinding> CheckGuidelines(const GuidelineInputs &in)
{
    QList<GuidelineFinding> findings;
    const StepLevels &l = in.levels;

    const double yCalibrationDb = l.n2on - l.n2off;
    if (yCalibrationDb < kMinYFactorDb) {
        findings.append({GuidelineKind::LowCalibrationYFactor,
                         QStringLiteral("Low Y-factor in the calibration (%1): the analyser's own "
                                        "noise is high for this ENR.")
                             .arg(Db(1, yCalibrationDb))});
    }

    const double yMeasurementDb = l.n12on - l.n12off;
    if (yMeasurementDb < kMinYFactorDb) {
        if (in.lossBeforeDb > 0)
            findings.append({GuidelineKind::LowMeasurementYFactor,
                             QStringLiteral("Low Y-factor with the DUT (%1): behind the loss before "
                                            "the DUT the noise source's ENR is only %2; use a noise "
                                            "source with a higher ENR or a smaller loss.")
                                 .arg(Db(1, yMeasurementDb), Db(2, in.enrDb - in.lossBeforeDb))});
        else
            findings.append({GuidelineKind::LowMeasurementYFactor,
                             QStringLiteral("Low Y-factor with the DUT (%1): the system's noise is "
                                            "high for this ENR; use a noise source with a higher ENR.")
                                 .arg(Db(1, yMeasurementDb))});
    }

    const double share = AnalyserNoiseShare(in.systemNoise ? *in.systemNoise
                                                           : DeriveSystemNoise(l, in.roomTemperatureK, in.enrDb));
    if (share > kMaxAnalyserShare) {
        findings.append({GuidelineKind::AnalyserNoiseDominates,
                         QStringLiteral("The analyser adds %1 % of the system's excess noise: the "
                                        "DUT's gain is too low for this analyser; a preamplifier "
                                        "in front of the analyser would help.")
                             .arg(std::lround(share * 100.0))});
    }

    const double highestDbm = std::max({l.n2off, l.n2on, l.n12off, l.n12on});
    if (in.refLevelDbm - highestDbm < kMinHeadroomDb) {
        findings.append({GuidelineKind::NearReferenceLevel,
                         QStringLiteral("The level %1 lies within 10 dB of the reference level "
                                        "(%2): the analyser may compress; raise the reference "
                                        "level or the attenuation.")
                             .arg(Dbm(highestDbm), Dbm(in.refLevelDbm))});
    }

    if (in.tableMode && (in.frequencyHz < in.tableLowHz || in.frequencyHz > in.tableHighHz)) {
        findings.append({GuidelineKind::EnrExtrapolated,
                         QStringLiteral("%1 lies outside the ENR table (%2 to %3), so the ENR is "
                                        "extrapolated; add table rows that cover it.")
                             .arg(Frequency(in.frequencyHz), Frequency(in.tableLowHz),
                                  Frequency(in.tableHighHz))});
    }
    if (in.lossOutsideTable) {
        findings.append({GuidelineKind::LossExtrapolated,
                         QStringLiteral("%1 lies outside a loss table, so its end value is taken; "
                                        "add points that cover it.")
                             .arg(Frequency(in.frequencyHz))});
    }
    return findings;
}

bool EnrTableRangeHz(const EnrRows &rows, double &lowHz, double &highHz)
{
    bool any = false;
    for (const EnrRow &row : rows) {
        const QString cell = row.FrequencyText.trimmed();
        if (cell.isEmpty() || cell.contains(u' '))
            continue;
        double hz = 0;
        try {
            hz = ParseValue(cell + QStringLiteral(" GHz"));
        } catch (const AppError &) {
            continue;  // not a number: the lookup refuses the table anyway, the range skips it
        }
        if (!any || hz < lowHz)
            lowHz = hz;
        if (!any || hz > highHz)
            highHz = hz;
        any = true;
    }
    return any;
}
