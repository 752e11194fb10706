#pragma once
// Every text the program sends to the analyser, in one place. Each goes out followed by CR LF.
//
// What the program relies on in return:
//   - "*idn?": any line, shown after "Device: ".
//   - a command ending in ";*OPC?" and "*OPC?" alone: one line (the analyser sends 1) once the
//     command has been carried out; its content is not read.
//   - "INIT:IMM; *WAI; *OPC?": one line once the sweeps have ended.
//   - "SWE:TIME?": the sweep time in seconds, shown as received.
//   - "CALC:MARK1:Y?": the level of marker 1 in dBm as a decimal number ("." as decimal point,
//     optional exponent).
//   - every other command: no answer; the analyser carries out the commands of one line, and
//     lines sent without waiting, in the order received, so the answer to "CALC:MARK1:Y?" is
//     the level of the sweeps started before it.

namespace Cmd {

// ---- Connection --------------------------------------------------------------------------
/// Identification query of the analyser search (lower case, as the analyser accepts it).
inline constexpr char Identify[] = "*idn?";
/// Brings back the settings that the set-up stored, at the disconnect.
inline constexpr char RestoreState[] = "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";

// ---- Set-up (each confirmed by *OPC?) -------------------------------------------------------
inline constexpr char Opc[] = "*OPC?";
inline constexpr char SelectHardwareSettings[] = "MMEM:SEL:HWS ON;*OPC?";
inline constexpr char DeselectTraces[] = "MMEM:SEL:TRAC OFF;*OPC?";
inline constexpr char DeselectLimitLines[] = "MMEM:SEL:LIN:ALL OFF;*OPC?";
inline constexpr char StateComment[] = "MMEM:COMM 'FSP Korrvel';*OPC?";
inline constexpr char StoreState[] = "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?";
inline constexpr char Reset[] = "*RST;*OPC?";
inline constexpr char CentrePrefix[] = "FREQ:CENT ";  ///< + frequency in plain Hz
inline constexpr char ZeroSpan[] = "FREQ:SPAN 0;*OPC?";
inline constexpr char VideoBandwidthPrefix[] = "BAND:VID ";
inline constexpr char ResolutionBandwidthPrefix[] = "BAND:RES ";
inline constexpr char SingleSweep[] = "INIT:CONT OFF;*OPC?";
inline constexpr char SweepCountPrefix[] = "SWE:COUN ";
inline constexpr char SweepTimePrefix[] = "SWE:TIME ";
inline constexpr char AverageTrace[] = "DISP:TRAC:MODE AVER;*OPC?";
inline constexpr char AttenuationPrefix[] = "INP:ATT ";
inline constexpr char RefLevelPrefix[] = "DISP:TRAC:Y:RLEV ";
inline constexpr char RangePrefix[] = "DISP:TRAC:Y ";
inline constexpr char PowerUnitDbm[] = "CALC:UNIT:POW dbm;*OPC?";
inline constexpr char NoiseSourceOffConfirmed[] = "DIAG:SERV:NSO OFF;*OPC?";
inline constexpr char PowerSaveHoldoff[] = "SYST:PSAV:HOLD 1;*OPC?";
inline constexpr char PowerSaveOn[] = "SYST:PSAV: ON;*OPC?";
inline constexpr char DisplayUpdateOff[] = "SYST:DISP:UPD OFF;*OPC?";
/// Suffix that makes the analyser confirm a set-up command.
inline constexpr char OpcSuffix[] = ";*OPC?";

// ---- Per-frequency dialogue of the passes (sent without waiting) ----------------------------
inline constexpr char SweepTimeQuery[] = "SWE:TIME?";
inline constexpr char NoiseSourceOff[] = "DIAG:SERV:NSO OFF";
inline constexpr char NoiseSourceOn[] = "DIAG:SERV:NSO ON";
/// The measurement pass lets the analyser finish everything before switching the source.
inline constexpr char NoiseSourceOffWait[] = "DIAG:SERV:NSO OFF; *WAI";
inline constexpr char NoiseSourceOnWait[] = "DIAG:SERV:NSO ON; *WAI";
inline constexpr char MarkerOn[] = "CALC:MARK1:STAT ON";
inline constexpr char MarkerXPrefix[] = "CALC:MARK1:X ";
inline constexpr char SettlingSweeps[] = "SWE:COUN 3";
/// Runs the sweeps of the last count; the answer 1 says they have ended.
inline constexpr char SweepAndConfirm[] = "INIT:IMM; *WAI; *OPC?";
/// Runs the averaged sweep; nothing is answered.
inline constexpr char Sweep[] = "INIT:IMM;*WAI";
inline constexpr char MarkerLevelQuery[] = "CALC:MARK1:Y?";

}  // namespace Cmd
