// The FSP family's SCPI dialect: every text the program sends to such an analyser. Each line
// goes out followed by CR LF.
#include "analyser/analyser_dialect.h"

#include "base/engvalue.h"

#include <array>

namespace {

// ---- Connection --------------------------------------------------------------------------
/// Identification query of the analyser search (lower case, as the analyser accepts it).
constexpr char Identify[] = "*idn?";
/// Brings back the settings that the set-up stored, at the disconnect.
constexpr char RestoreState[] = "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";

// ---- Set-up (each confirmed by *OPC?) -------------------------------------------------------
constexpr char Opc[] = "*OPC?";
constexpr char SelectHardwareSettings[] = "MMEM:SEL:HWS ON;*OPC?";
constexpr char DeselectTraces[] = "MMEM:SEL:TRAC OFF;*OPC?";
constexpr char DeselectLimitLines[] = "MMEM:SEL:LIN:ALL OFF;*OPC?";
constexpr char StateComment[] = "MMEM:COMM 'FSP Korrvel';*OPC?";
constexpr char StoreState[] = "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";
constexpr char Reset[] = "*RST;*OPC?";
constexpr char CentrePrefix[] = "FREQ:CENT ";  ///< + frequency in plain Hz
constexpr char ZeroSpan[] = "FREQ:SPAN 0;*OPC?";
constexpr char VideoBandwidthPrefix[] = "BAND:VID ";
constexpr char ResolutionBandwidthPrefix[] = "BAND:RES ";
constexpr char SingleSweep[] = "INIT:CONT OFF;*OPC?";
constexpr char SweepCountPrefix[] = "SWE:COUN ";
constexpr char SweepTimePrefix[] = "SWE:TIME ";
constexpr char AverageTrace[] = "DISP:TRAC:MODE AVER;*OPC?";
constexpr char AttenuationPrefix[] = "INP:ATT ";
constexpr char RefLevelPrefix[] = "DISP:TRAC:Y:RLEV ";
constexpr char RangePrefix[] = "DISP:TRAC:Y ";
constexpr char PowerUnitDbm[] = "CALC:UNIT:POW dbm;*OPC?";
constexpr char NoiseSourceOffConfirmed[] = "DIAG:SERV:NSO OFF;*OPC?";
constexpr char PowerSaveHoldoff[] = "SYST:PSAV:HOLD 1;*OPC?";
constexpr char PowerSaveOn[] = "SYST:PSAV: ON;*OPC?";
constexpr char DisplayUpdateOff[] = "SYST:DISP:UPD OFF;*OPC?";
/// Suffix that makes the analyser confirm a set-up command.
constexpr char OpcSuffix[] = ";*OPC?";
/// Commands 1 to 6 (index 0 to 5) store the analyser's own settings.
constexpr int kStoreStateIndex = 5;

// ---- Per-frequency dialogue of the passes (sent without waiting) ----------------------------
constexpr char SweepTimeQuery[] = "SWE:TIME?";
constexpr char NoiseSourceOff[] = "DIAG:SERV:NSO OFF";
constexpr char NoiseSourceOn[] = "DIAG:SERV:NSO ON";
/// The measurement pass lets the analyser finish everything before switching the source.
constexpr char NoiseSourceOffWait[] = "DIAG:SERV:NSO OFF; *WAI";
constexpr char NoiseSourceOnWait[] = "DIAG:SERV:NSO ON; *WAI";
constexpr char MarkerOn[] = "CALC:MARK1:STAT ON";
constexpr char MarkerXPrefix[] = "CALC:MARK1:X ";
constexpr char SettlingSweeps[] = "SWE:COUN 3";
constexpr int kSettlingSweepCount = 3;  ///< the count of SettlingSweeps
/// Runs the sweeps of the last count; the answer 1 says they have ended.
constexpr char SweepAndConfirm[] = "INIT:IMM; *WAI; *OPC?";
/// Runs the averaged sweep; nothing is answered.
constexpr char Sweep[] = "INIT:IMM;*WAI";
constexpr char MarkerLevelQuery[] = "CALC:MARK1:Y?";

// One entry per item of cb_vbw: a zero-span sweep must last long enough for the video filter
// to settle, so the narrower the filter the longer the sweep.
constexpr std::array<const char *, 7> kSweepTimes = {"40ms", "12ms", "4ms", "1.2ms", "0.4ms", "0.12ms", "0.12ms"};

QByteArray confirmed(const char *prefix, const QByteArray &parameter)
{
    return QByteArray(prefix) + parameter + OpcSuffix;
}

/// A frequency as the analyser takes it: shortest decimal text in Hz, no exponent.
QByteArray PlainHz(double hz)
{
    return ShortestDecimal(hz).toLatin1();
}

}  // namespace

QString FspDialect::DeviceName() const
{
    return QStringLiteral("FSP");
}

QByteArray FspDialect::Identify() const
{
    return QByteArray(::Identify);
}

QByteArray FspDialect::SweepTimeForVbw(int vbwIndex)
{
    if (vbwIndex < 0 || vbwIndex >= int(kSweepTimes.size()))
        return QByteArray(kSweepTimes[0]);
    return QByteArray(kSweepTimes[std::size_t(vbwIndex)]);
}

QList<QByteArray> FspDialect::SetupCommands(const SetupSettings &s) const
{
    QList<QByteArray> c;
    c.reserve(kSetupCommandCount);
    c << Opc << SelectHardwareSettings << DeselectTraces << DeselectLimitLines << StateComment << StoreState
      << Reset;
    c << confirmed(CentrePrefix, PlainHz(s.startHz));
    c << ZeroSpan;
    c << confirmed(VideoBandwidthPrefix, CommandText(s.vbwText));
    c << confirmed(ResolutionBandwidthPrefix, CommandText(s.rbwText));
    c << SingleSweep;
    c << confirmed(SweepCountPrefix, CommandText(s.averageText));
    c << confirmed(SweepTimePrefix, SweepTimeForVbw(s.vbwIndex));
    c << AverageTrace;
    c << confirmed(AttenuationPrefix, CommandText(s.rfAttText));
    c << confirmed(RefLevelPrefix, CommandText(s.refLevelText));
    c << confirmed(RangePrefix, CommandText(s.rangeText));
    c << PowerUnitDbm << NoiseSourceOffConfirmed << PowerSaveHoldoff << PowerSaveOn << DisplayUpdateOff;
    return c;
}

int FspDialect::StoreStateIndex() const
{
    return kStoreStateIndex;
}

QByteArray FspDialect::RestoreState() const
{
    return QByteArray(::RestoreState);
}

QByteArray FspDialect::SweepTimeQuery() const
{
    return QByteArray(::SweepTimeQuery);
}

double FspDialect::ParseSweepTime(const QByteArray &reply) const
{
    return ReadReplyNumber(QString::fromLatin1(reply));
}

int FspDialect::SettlingSweepCount() const
{
    return kSettlingSweepCount;
}

QList<QByteArray> FspDialect::SourceOffAndSettle(PassKind pass, double hz) const
{
    const bool measurement = pass == PassKind::Measurement;
    // The calibration puts the marker at the plain frequency; the measurement at two decimals
    // with the unit, which from 1 GHz on is the scientific form of the value text.
    const QByteArray marker = measurement ? FormatValue(2, fvHz, hz).toLatin1() : PlainHz(hz);
    return {measurement ? NoiseSourceOffWait : NoiseSourceOff,
            MarkerOn,
            CentrePrefix + PlainHz(hz),
            MarkerXPrefix + marker,
            SettlingSweeps,
            SweepAndConfirm};
}

QList<QByteArray> FspDialect::Reading(const QString &averageText) const
{
    return {SweepCountPrefix + averageText.toLatin1(), Sweep, MarkerLevelQuery};
}

QList<QByteArray> FspDialect::SourceOnAndSettle(PassKind pass) const
{
    return {pass == PassKind::Measurement ? NoiseSourceOnWait : NoiseSourceOn, SettlingSweeps, SweepAndConfirm};
}

double FspDialect::ParseReading(const QByteArray &reply) const
{
    return ReadReplyNumber(QString::fromLatin1(reply));
}

const AnalyserDialect &DefaultDialect()
{
    static const FspDialect fsp;
    return fsp;
}
