#include "helper_dialogue.h"

QList<QByteArray> setupCommands(const SetupTexts &t)
{
    return {
        "*OPC?",
        "MMEM:SEL:HWS ON;*OPC?",
        "MMEM:SEL:TRAC OFF;*OPC?",
        "MMEM:SEL:LIN:ALL OFF;*OPC?",
        "MMEM:COMM 'FSP Korrvel';*OPC?",
        "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\KORVEL';*OPC?",
        "*RST;*OPC?",
        "FREQ:CENT " + t.startHz + ";*OPC?",
        "FREQ:SPAN 0;*OPC?",
        "BAND:VID " + t.vbw + ";*OPC?",
        "BAND:RES " + t.rbw + ";*OPC?",
        "INIT:CONT OFF;*OPC?",
        "SWE:COUN " + t.average + ";*OPC?",
        "SWE:TIME " + t.sweepTime + ";*OPC?",
        "DISP:TRAC:MODE AVER;*OPC?",
        "INP:ATT " + t.attenuation + ";*OPC?",
        "DISP:TRAC:Y:RLEV " + t.refLevel + ";*OPC?",
        "DISP:TRAC:Y " + t.range + ";*OPC?",
        "CALC:UNIT:POW dbm;*OPC?",
        "DIAG:SERV:NSO OFF;*OPC?",
        "SYST:PSAV:HOLD 1;*OPC?",
        "SYST:PSAV: ON;*OPC?",
        "SYST:DISP:UPD OFF;*OPC?",
    };
}

bool runSetup(PortClient &client, const SetupTexts &texts, QString *why)
{
    for (const QByteArray &command : setupCommands(texts)) {
        const QByteArray answer = client.ask(command);
        if (answer != "1") {
            if (why)
                *why = QStringLiteral("'%1' answered '%2'").arg(QString::fromLatin1(command),
                                                                 QString::fromLatin1(answer));
            return false;
        }
    }
    return true;
}

namespace {

bool sendAll(PortClient &client, const QList<QByteArray> &lines, QList<QByteArray> *sent)
{
    for (const QByteArray &line : lines) {
        if (!client.send(line))
            return false;
        if (sent)
            sent->append(line);
    }
    return true;
}

bool expectAnswer(PortClient &client, const char *what, QByteArray *answer, QString *why)
{
    const std::optional<QByteArray> line = client.readLine(3000);
    if (!line || line->isEmpty()) {
        if (why)
            *why = QStringLiteral("no answer %1").arg(QLatin1String(what));
        return false;
    }
    if (answer)
        *answer = *line;
    return true;
}

/// The answer 1 of an "*OPC?" that ends the settling sweeps.
bool expectOne(PortClient &client, const char *what, QString *why)
{
    QByteArray answer;
    if (!expectAnswer(client, what, &answer, why))
        return false;
    if (answer != "1" && why)
        *why = QStringLiteral("'%1' %2").arg(QString::fromLatin1(answer), QLatin1String(what));
    return answer == "1";
}

} // namespace

bool runPass(PortClient &client, bool measurement, const QList<PassFrequency> &frequencies,
             const QByteArray &average, QList<PassReadings> *readings, QString *why,
             QList<QByteArray> *sent)
{
    if (!sendAll(client, {"SWE:TIME?"}, sent) || !expectAnswer(client, "to SWE:TIME?", nullptr, why))
        return false;
    const QByteArray wai = measurement ? "; *WAI" : "";
    for (const PassFrequency &f : frequencies) {
        PassReadings step;
        const QByteArray marker = measurement ? f.marker : f.plain;
        if (!sendAll(client,
                     {"DIAG:SERV:NSO OFF" + wai, "CALC:MARK1:STAT ON", "FREQ:CENT " + f.plain,
                      "CALC:MARK1:X " + marker, "SWE:COUN 3", "INIT:IMM; *WAI; *OPC?"},
                     sent) ||
            !expectOne(client, "to the settling sweeps (source off)", why))
            return false;
        if (!sendAll(client, {"SWE:COUN " + average, "INIT:IMM;*WAI", "CALC:MARK1:Y?"}, sent) ||
            !expectAnswer(client, "to CALC:MARK1:Y? (source off)", &step.off, why))
            return false;
        if (!sendAll(client, {"DIAG:SERV:NSO ON" + wai, "SWE:COUN 3", "INIT:IMM; *WAI; *OPC?"}, sent) ||
            !expectOne(client, "to the settling sweeps (source on)", why))
            return false;
        if (!sendAll(client, {"SWE:COUN " + average, "INIT:IMM;*WAI", "CALC:MARK1:Y?"}, sent) ||
            !expectAnswer(client, "to CALC:MARK1:Y? (source on)", &step.on, why))
            return false;
        if (readings)
            readings->append(step);
    }
    return true;
}
