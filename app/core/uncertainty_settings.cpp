#include "app/core/uncertainty_settings.h"

#include <QLocale>

#include <cmath>

const std::array<UncertaintyField, kUncertaintyFieldCount> &UncertaintyFields()
{
    // A limit of error beyond 10 dB or a VSWR beyond 20 is a typing slip rather than a port or an
    // instrument anyone measures noise with.
    static const std::array<UncertaintyField, kUncertaintyFieldCount> fields{{
        {&UncertaintyInputs::enrUncertaintyDb, "EnrDb", "e_UncEnr", "ENR of the noise source [dB]:", 0, 10},
        {&UncertaintyInputs::nfUncertaintyDb, "NoiseFigureDb", "e_UncNf", "Noise figure reading [dB]:", 0, 10},
        {&UncertaintyInputs::gainUncertaintyDb, "GainDb", "e_UncGain", "Gain reading [dB]:", 0, 10},
        {&UncertaintyInputs::sourceVswr, "VswrSource", "e_VswrSource", "VSWR noise source output:", 1, 20},
        {&UncertaintyInputs::dutInputVswr, "VswrDutIn", "e_VswrDutIn", "VSWR DUT input:", 1, 20},
        {&UncertaintyInputs::dutOutputVswr, "VswrDutOut", "e_VswrDutOut", "VSWR DUT output:", 1, 20},
        {&UncertaintyInputs::analyserInputVswr, "VswrAnalyser", "e_VswrAnalyser", "VSWR analyser input:", 1, 20},
    }};
    return fields;
}

QString UncertaintyValueText(double value)
{
    return QString::number(value, 'g', 6);
}

std::optional<double> ParseUncertaintyValue(const QString &text, const UncertaintyField &field)
{
    QString t = text.trimmed();
    if (field.highest <= 10 && t.endsWith(QStringLiteral("dB"), Qt::CaseInsensitive))
        t = t.chopped(2).trimmed();
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v) || v < field.lowest || v > field.highest)
        return std::nullopt;
    return v;
}

UncertaintyTexts UncertaintyFieldTexts(const UncertaintyInputs &inputs)
{
    UncertaintyTexts texts;
    for (int i = 0; i < kUncertaintyFieldCount; ++i)
        texts[size_t(i)] = UncertaintyValueText(inputs.*(UncertaintyFields()[size_t(i)].member));
    return texts;
}

bool ParseUncertaintyTexts(const UncertaintyTexts &texts, UncertaintyInputs &inputs, QString *error)
{
    UncertaintyInputs parsed = inputs;
    for (int i = 0; i < kUncertaintyFieldCount; ++i) {
        const UncertaintyField &f = UncertaintyFields()[size_t(i)];
        const std::optional<double> v = ParseUncertaintyValue(texts[size_t(i)], f);
        if (!v) {
            if (error) {
                *error = QStringLiteral("'%1' is no valid value for \"%2\" (%3 to %4).")
                             .arg(texts[size_t(i)].trimmed(), QString::fromLatin1(f.caption).chopped(1),
                                  UncertaintyValueText(f.lowest), UncertaintyValueText(f.highest));
            }
            return false;
        }
        parsed.*(f.member) = *v;
    }
    inputs = parsed;
    return true;
}

bool SameUncertaintyInputs(const UncertaintyInputs &a, const UncertaintyInputs &b)
{
    for (const UncertaintyField &f : UncertaintyFields()) {
        if (a.*(f.member) != b.*(f.member))
            return false;
    }
    return true;
}
