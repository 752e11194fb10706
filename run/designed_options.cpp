#include "run/designed_options.h"

QStringList RbwItems()
{
    return {QStringLiteral("1 kHz"),   QStringLiteral("3 kHz"),   QStringLiteral("10 kHz"), QStringLiteral("30 kHz"),
            QStringLiteral("100 kHz"), QStringLiteral("300 kHz"), QStringLiteral("1 MHz"),  QStringLiteral("3 MHz")};
}

QStringList VbwItems()
{
    return {QStringLiteral("1 Hz"),   QStringLiteral("3 Hz"),   QStringLiteral("10 Hz"), QStringLiteral("30 Hz"),
            QStringLiteral("100 Hz"), QStringLiteral("300 Hz"), QStringLiteral("1 kHz")};
}

QStringList AverageItems()
{
    return {QStringLiteral("1"),   QStringLiteral("3"),   QStringLiteral("10"),  QStringLiteral("30"),
            QStringLiteral("100"), QStringLiteral("300"), QStringLiteral("1000")};
}

QStringList RfAttItems()
{
    return {QStringLiteral("0 dB"), QStringLiteral("10 dB"), QStringLiteral("20 dB")};
}

QStringList BaudItems()
{
    return {QStringLiteral("110"),  QStringLiteral("300"),  QStringLiteral("600"),  QStringLiteral("1200"),
            QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200")};
}

QStringList BitsItems()
{
    return {QStringLiteral("7"), QStringLiteral("8")};
}

QString ItemText(const QStringList &items, int index)
{
    return index >= 0 && index < items.size() ? items[index] : QString();
}

HeaderSettingTexts SettingTextsOf(const MeasurementHeader &header)
{
    return {ItemText(RbwItems(), header.RbwIndex), ItemText(VbwItems(), header.VbwIndex),
            ItemText(AverageItems(), header.AverageIndex)};
}

SetupSettings DesignedOptions::setupSettings(double startHz)
{
    SetupSettings s;
    s.startHz = startHz;
    s.vbwText = ItemText(VbwItems(), vbwIndex);
    s.vbwIndex = vbwIndex;
    s.rbwText = ItemText(RbwItems(), rbwIndex);
    s.averageText = ItemText(AverageItems(), averageIndex);
    s.rfAttText = ItemText(RfAttItems(), rfAttIndex);
    s.refLevelText = refLevelText();
    s.rangeText = rangeText();
    return s;
}
