#include "run/calibration_state.h"

#include "base/engvalue.h"

#include <algorithm>

CalibrationState CompletedCalibration(bool single, const SweepPlan &plan,
                                      const SetupSettings &settings, const QDateTime &endedAt, int calSource)
{
    CalibrationState state;
    state.valid = true;
    state.single = single;
    state.plan = plan;
    state.plan.StepIndex = 0;
    state.settings = settings;
    state.endedAt = endedAt;
    state.calSource = calSource;
    return state;
}

CalibrationItem CalibrationDifference(const CalibrationState &calibration, bool single,
                                      const SweepPlan &plan, const SetupSettings &settings, int calSource)
{
    if (!calibration.valid)
        return calibration.interrupted ? CalibrationItem::Cancelled : CalibrationItem::NotCalibrated;
    const SweepPlan &was = calibration.plan;
    const SetupSettings &set = calibration.settings;
    if (calibration.single != single)
        return CalibrationItem::Mode;
    if (was.Start != plan.Start)
        return CalibrationItem::Start;
    if (!single) {
        if (was.Stop != plan.Stop)
            return CalibrationItem::Stop;
        if (was.Steps != plan.Steps)
            return CalibrationItem::Steps;
    }
    // The calibration's levels belong to the frequencies the analyser was tuned to.
    const int last = single ? 0 : std::clamp(int(plan.Steps), 0, kMaxStepSlot);
    for (int i = 0; i <= last; ++i) {
        if (was.tuneHz(i) != plan.tuneHz(i))
            return CalibrationItem::Ifs;
    }
    if (set.rbwText != settings.rbwText)
        return CalibrationItem::Rbw;
    if (set.vbwText != settings.vbwText || set.vbwIndex != settings.vbwIndex)
        return CalibrationItem::Vbw;
    if (set.averageText != settings.averageText)
        return CalibrationItem::Average;
    if (set.rfAttText != settings.rfAttText)
        return CalibrationItem::RfAtt;
    if (set.refLevelText != settings.refLevelText)
        return CalibrationItem::RefLevel;
    if (set.rangeText != settings.rangeText)
        return CalibrationItem::Range;
    if (calibration.calSource != calSource)
        return CalibrationItem::CalSource;
    return CalibrationItem::None;
}

QString CalibrationItemText(CalibrationItem item)
{
    switch (item) {
    case CalibrationItem::None: return {};
    case CalibrationItem::NotCalibrated: return QStringLiteral("Calibration");
    case CalibrationItem::Cancelled: return QStringLiteral("Calibration");
    case CalibrationItem::Mode: return QStringLiteral("Mode");
    case CalibrationItem::Start: return QStringLiteral("Start");
    case CalibrationItem::Stop: return QStringLiteral("Stop");
    case CalibrationItem::Steps: return QStringLiteral("Steps");
    case CalibrationItem::Rbw: return QStringLiteral("RBW");
    case CalibrationItem::Vbw: return QStringLiteral("VBW");
    case CalibrationItem::Average: return QStringLiteral("Average");
    case CalibrationItem::RfAtt: return QStringLiteral("RF Att");
    case CalibrationItem::RefLevel: return QStringLiteral("Ref Lvl");
    case CalibrationItem::Range: return QStringLiteral("Range");
    case CalibrationItem::Ifs: return QStringLiteral("IF");
    case CalibrationItem::CalSource: return QStringLiteral("Calibration source");
    }
    return {};
}

QString CalibrationFrequencyText(double hz)
{
    QString text = FormatValue(2, fvPrefix | fvHz, hz);
    // The number ends where the unit begins; drop the zeros of its fraction, then a bare point.
    qsizetype end = 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == u'.' || text[end] == u'-'))
        ++end;
    if (text.left(end).contains(u'.')) {
        qsizetype cut = end;
        while (cut > 0 && text[cut - 1] == u'0')
            --cut;
        if (cut > 0 && text[cut - 1] == u'.')
            --cut;
        text.remove(cut, end - cut);
    }
    return text;
}

QString CalibratedText(const CalibrationState &calibration)
{
    if (!calibration.valid)
        return QStringLiteral("Not calibrated");
    const SweepPlan &plan = calibration.plan;
    const int points = calibration.single ? 1 : plan.Steps + 1;
    QString range = CalibrationFrequencyText(plan.Start);
    if (!calibration.single)
        range += QStringLiteral(" to ") + CalibrationFrequencyText(plan.Stop);
    return QStringLiteral("Calibrated: %1, %2 %3, %4")
        .arg(range)
        .arg(points)
        .arg(points == 1 ? QStringLiteral("point") : QStringLiteral("points"))
        .arg(calibration.endedAt.time().toString(QStringLiteral("HH:mm")));
}

QString CalibrationRefusalText()
{
    return QStringLiteral("The settings changed since the calibration. Please calibrate again.");
}

QString CalibrationRefusalText(CalibrationItem item)
{
    if (item == CalibrationItem::Cancelled)
        return QStringLiteral("The last calibration was cancelled. Please calibrate again.");
    if (item == CalibrationItem::Ifs)
        return QStringLiteral("The DUT's kind or LO changed since the calibration: the analyser would be tuned to other "
                              "frequencies. Please calibrate again.");
    if (item == CalibrationItem::CalSource)
        return QStringLiteral("The calibration's noise source changed since the calibration. Please calibrate again.");
    return CalibrationRefusalText();
}

CalibrationState StartedCalibration()
{
    CalibrationState state;
    state.interrupted = true;
    return state;
}
