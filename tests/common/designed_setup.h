#pragma once
// What the analyser must receive when it is set up from the designed Options page: the exact
// command lines, in order, without their CR LF; and what it receives for one frequency of a pass.

#include "analyser/analyser_setup.h"

#include <QByteArray>
#include <QList>

/// The set-up for the designed Options page (start 400 MHz).
inline const QList<QByteArray> &DesignedSetupCommands()
{
    static const QList<QByteArray> setup = {
        "*OPC?",
        "MMEM:SEL:HWS ON;*OPC?",
        "MMEM:SEL:TRAC OFF;*OPC?",
        "MMEM:SEL:LIN:ALL OFF;*OPC?",
        "MMEM:COMM 'FSP Korrvel';*OPC?",
        "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?",
        "*RST;*OPC?",
        "FREQ:CENT 400000000;*OPC?",
        "FREQ:SPAN 0;*OPC?",
        "BAND:VID 10 Hz;*OPC?",
        "BAND:RES 3 MHz;*OPC?",
        "INIT:CONT OFF;*OPC?",
        "SWE:COUN 10;*OPC?",
        "SWE:TIME 4ms;*OPC?",
        "DISP:TRAC:MODE AVER;*OPC?",
        "INP:ATT 0 dB;*OPC?",
        "DISP:TRAC:Y:RLEV 0 dBm;*OPC?",
        "DISP:TRAC:Y 100 dB;*OPC?",
        "CALC:UNIT:POW dbm;*OPC?",
        "DIAG:SERV:NSO OFF;*OPC?",
        "SYST:PSAV:HOLD 1;*OPC?",
        "SYST:PSAV: ON;*OPC?",
        "SYST:DISP:UPD OFF;*OPC?",
    };
    return setup;
}

/// The per-frequency dialogue of a pass as the analyser sees it.
inline QList<QByteArray> FrequencyDialogue(bool measurement, const QByteArray &plainHz, const QByteArray &markerX,
                                           const QByteArray &average = "10")
{
    return {measurement ? "DIAG:SERV:NSO OFF; *WAI" : "DIAG:SERV:NSO OFF",
            "CALC:MARK1:STAT ON",
            "FREQ:CENT " + plainHz,
            "CALC:MARK1:X " + markerX,
            "SWE:COUN 3",
            "INIT:IMM; *WAI; *OPC?",
            "SWE:COUN " + average,
            "INIT:IMM;*WAI",
            "CALC:MARK1:Y?",
            measurement ? "DIAG:SERV:NSO ON; *WAI" : "DIAG:SERV:NSO ON",
            "SWE:COUN 3",
            "INIT:IMM; *WAI; *OPC?",
            "SWE:COUN " + average,
            "INIT:IMM;*WAI",
            "CALC:MARK1:Y?"};
}

/// The fields of the designed Options page as the set-up reads them.
inline SetupSettings DesignedSetupSettings()
{
    SetupSettings s;
    s.startHz = 400e6;
    s.vbwText = QStringLiteral("10 Hz");
    s.vbwIndex = 2;
    s.rbwText = QStringLiteral("3 MHz");
    s.averageText = QStringLiteral("10");
    s.rfAttText = QStringLiteral("0 dB");
    s.refLevelText = QStringLiteral("0 dBm");
    s.rangeText = QStringLiteral("100 dB");
    return s;
}
