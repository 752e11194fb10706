#include "analyser/analyser_setup.h"

#include "analyser/command_channel.h"
#include "analyser/commands.h"
#include "base/engvalue.h"

#include <array>

namespace {

// One entry per item of cb_vbw: a zero-span sweep must last long enough for the video filter
// to settle, so the narrower the filter the longer the sweep.
constexpr std::array<const char *, 7> kSweepTimes = {"40ms", "12ms", "4ms", "1.2ms", "0.4ms", "0.12ms", "0.12ms"};

QByteArray confirmed(const char *prefix, const QByteArray &parameter)
{
    return QByteArray(prefix) + parameter + Cmd::OpcSuffix;
}

}  // namespace

QByteArray CommandText(const QString &text)
{
    return text.toLatin1();
}

QByteArray SweepTimeForVbw(int vbwIndex)
{
    if (vbwIndex < 0 || vbwIndex >= int(kSweepTimes.size()))
        return QByteArray(kSweepTimes[0]);
    return QByteArray(kSweepTimes[std::size_t(vbwIndex)]);
}

QList<QByteArray> SetupCommands(const SetupSettings &s)
{
    QList<QByteArray> c;
    c.reserve(kSetupCommandCount);
    c << Cmd::Opc << Cmd::SelectHardwareSettings << Cmd::DeselectTraces << Cmd::DeselectLimitLines
      << Cmd::StateComment << Cmd::StoreState << Cmd::Reset;
    c << confirmed(Cmd::CentrePrefix, ShortestDecimal(s.startHz).toLatin1());
    c << Cmd::ZeroSpan;
    c << confirmed(Cmd::VideoBandwidthPrefix, CommandText(s.vbwText));
    c << confirmed(Cmd::ResolutionBandwidthPrefix, CommandText(s.rbwText));
    c << Cmd::SingleSweep;
    c << confirmed(Cmd::SweepCountPrefix, CommandText(s.averageText));
    c << confirmed(Cmd::SweepTimePrefix, SweepTimeForVbw(s.vbwIndex));
    c << Cmd::AverageTrace;
    c << confirmed(Cmd::AttenuationPrefix, CommandText(s.rfAttText));
    c << confirmed(Cmd::RefLevelPrefix, CommandText(s.refLevelText));
    c << confirmed(Cmd::RangePrefix, CommandText(s.rangeText));
    c << Cmd::PowerUnitDbm << Cmd::NoiseSourceOffConfirmed << Cmd::PowerSaveHoldoff << Cmd::PowerSaveOn
      << Cmd::DisplayUpdateOff;
    return c;
}

bool RunSetup(CommandChannel &channel, const SetupSettings &settings, bool &stateSaved)
{
    const QList<QByteArray> commands = SetupCommands(settings);
    for (int i = 0; i < commands.size(); ++i) {
        if (!channel.SendCommand(commands[i], 1))
            return false;
        if (i == kStoreStateCommandIndex)
            stateSaved = true;
    }
    stateSaved = true;
    return true;
}
