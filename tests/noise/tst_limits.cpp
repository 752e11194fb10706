// Limit lines: the file's lines and the refusal of a malformed one by its number, the straight
// line between points, a one-point kind, the span rule, equality, and the verdict's text.

#include "base/engvalue.h"
#include "noise/limits.h"

#include <QTest>

#include <cmath>

namespace {

double ReadHz(const QString &text) { return ParseValue(text); }

LimitSet Parsed(const QByteArray &text)
{
    const LimitsParseResult r = ParseLimits(text, ReadHz);
    if (!r.limits)
        qFatal("limits refused: %s", qPrintable(r.error));
    return *r.limits;
}

const QByteArray kLimits =
    "# NF rises from 2 dB at 400 MHz to 3 dB at 500 MHz\n"
    "nf_upper, 500 MHz, 3\n"
    "nf_upper, 400 MHz, 2.0 dB\n"
    "\n"
    "  gain_lower , 1 GHz , 20\r\n"
    "gain_upper, 400 MHz, 25\n"
    "gain_upper, 450 MHz, 24\n";

}  // namespace

class TestLimits : public QObject
{
    Q_OBJECT

private slots:
    void limitAt_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("expected");  // NaN: the kind does not apply
        const double none = std::nan("");
        QTest::newRow("first point") << int(LimitKind::NfUpper) << 400e6 << 2.0;
        QTest::newRow("last point") << int(LimitKind::NfUpper) << 500e6 << 3.0;
        QTest::newRow("linear in frequency") << int(LimitKind::NfUpper) << 425e6 << 2.25;
        QTest::newRow("below the span") << int(LimitKind::NfUpper) << 399.99e6 << none;
        QTest::newRow("above the span") << int(LimitKind::NfUpper) << 500.01e6 << none;
        QTest::newRow("one point is flat below") << int(LimitKind::GainLower) << 1e6 << 20.0;
        QTest::newRow("one point is flat above") << int(LimitKind::GainLower) << 18e9 << 20.0;
        QTest::newRow("a kind without points") << int(LimitKind::NfLower) << 450e6 << none;
        QTest::newRow("gain upper beyond its span") << int(LimitKind::GainUpper) << 460e6 << none;
    }
    void limitAt()
    {
        QFETCH(int, kind);
        QFETCH(double, hz);
        QFETCH(double, expected);
        const std::optional<double> limit = LimitAt(Parsed(kLimits), LimitKind(kind), hz);
        if (std::isnan(expected)) {
            QVERIFY(!limit.has_value());
        } else {
            QVERIFY(limit.has_value());
            QCOMPARE(*limit, expected);
        }
    }

    void stepAgainstLimits_data()
    {
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("gainDb");  // NaN: none
        QTest::addColumn<double>("nfDb");    // NaN: none
        QTest::addColumn<bool>("tested");
        QTest::addColumn<bool>("pass");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("broken");  // the traces whose limits break: "nf", "gain"
        const double none = std::nan("");
        QTest::newRow("inside") << 425e6 << 22.0 << 2.2 << true << true << "" << "";
        QTest::newRow("equal to the interpolated limit passes") << 425e6 << 25.0 - 0.5 << 2.25 << true << true << "" << "";
        QTest::newRow("equal to the lower limit passes") << 480e6 << 20.0 << 2.0 << true << true << "" << "";
        QTest::newRow("NF above") << 500e6 << 22.0 << 3.42 << true << false << "NF upper 3.00 dB exceeded by 0.42 dB" << "nf";
        QTest::newRow("gain below") << 480e6 << 18.9 << 2.0 << true << false << "Gain lower 20.00 dB missed by 1.10 dB" << "gain";
        QTest::newRow("the worst of two") << 500e6 << 19.5 << 4.0 << true << false << "NF upper 3.00 dB exceeded by 1.00 dB" << "nf gain";
        QTest::newRow("no noise figure fails") << 450e6 << 22.0 << none << true << false << "NF upper 2.50 dB: no noise figure" << "nf";
        QTest::newRow("only the flat gain applies") << 2e9 << 25.0 << 9.0 << true << true << "" << "";
    }
    void stepAgainstLimits()
    {
        QFETCH(double, hz);
        QFETCH(double, gainDb);
        QFETCH(double, nfDb);
        QFETCH(bool, tested);
        QFETCH(bool, pass);
        QFETCH(QString, text);
        auto value = [](double v) { return std::isnan(v) ? std::nullopt : std::optional<double>(v); };
        const StepLimitResult r = CheckStepLimits(Parsed(kLimits), hz, value(gainDb), value(nfDb));
        QCOMPARE(r.tested, tested);
        QCOMPARE(r.pass, pass);
        QCOMPARE(StepLimitText(r), text);
        QFETCH(QString, broken);
        QCOMPARE(r.breaksNoiseFigure(), broken.contains(QStringLiteral("nf")));
        QCOMPARE(r.breaksGain(), broken.contains(QStringLiteral("gain")));
    }

    void segments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("startHz");
        QTest::addColumn<double>("stopHz");
        QTest::addColumn<QList<double>>("pieces");  // fromHz, fromDb, toHz, toDb of each piece
        QTest::newRow("points within the span") << QByteArray("nf_upper, 420 MHz, 2\nnf_upper, 480 MHz, 3\n") << 400e6 << 500e6
                                                << QList<double>{420e6, 2, 480e6, 3};
        QTest::newRow("cut to the span") << QByteArray("nf_upper, 300 MHz, 1\nnf_upper, 500 MHz, 3\nnf_upper, 700 MHz, 1\n") << 400e6
                                         << 600e6 << QList<double>{400e6, 2, 500e6, 3, 500e6, 3, 600e6, 2};
        QTest::newRow("one point is flat") << QByteArray("nf_upper, 1 GHz, 2\n") << 400e6 << 500e6
                                           << QList<double>{400e6, 2, 500e6, 2};
        QTest::newRow("outside the span") << QByteArray("nf_upper, 600 MHz, 2\nnf_upper, 700 MHz, 3\n") << 400e6 << 500e6
                                          << QList<double>{};
        QTest::newRow("single frequency within") << QByteArray("nf_upper, 400 MHz, 2\nnf_upper, 500 MHz, 3\n") << 450e6 << 450e6
                                                 << QList<double>{450e6, 2.5, 450e6, 2.5};
        QTest::newRow("single frequency outside") << QByteArray("nf_upper, 400 MHz, 2\nnf_upper, 500 MHz, 3\n") << 100e6
                                                  << 100e6 << QList<double>{};
        QTest::newRow("another kind") << QByteArray("gain_lower, 400 MHz, 2\n") << 400e6 << 500e6 << QList<double>{};
    }
    void segments()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, startHz);
        QFETCH(double, stopHz);
        QFETCH(QList<double>, pieces);
        QList<double> got;
        for (const LimitSegment &s : LimitSegments(Parsed(text), LimitKind::NfUpper, startHz, stopHz))
            got << s.fromHz << s.fromDb << s.toHz << s.toDb;
        QCOMPARE(got, pieces);
    }

    void verdict()
    {
        const LimitSet limits = Parsed("nf_upper, 400 MHz, 3\nnf_upper, 500 MHz, 3\n");
        QList<StepLimitResult> steps;
        const double nf[] = {2.0, 3.5, 3.0, 4.0, 2.9, 3.1, 1.0, 1.0, 1.0, 1.0, 1.0};
        for (int i = 0; i < 11; ++i)
            steps << CheckStepLimits(limits, 400e6 + i * 10e6, 20.0, nf[i]);
        steps << CheckStepLimits(limits, 600e6, 20.0, 9.0);  // outside: not tested
        const LimitVerdict v = VerdictOf(steps);
        QCOMPARE(v.tested, 11);
        QCOMPARE(v.failed, 3);
        QCOMPARE(VerdictText(v, true), QStringLiteral("FAIL: 3 of 11 points"));
        QCOMPARE(VerdictText(VerdictOf(steps.mid(6)), true), QStringLiteral("PASS"));
        QCOMPARE(VerdictText(v, false), QString());
    }

    void malformedLineRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown kind") << QByteArray("# c\nnf_upper, 400 MHz, 3\nnf_uper, 400 MHz, 3\n") << 3
                                      << "line 3: 'nf_uper' is not a limit kind (nf_upper, nf_lower, gain_upper, gain_lower)";
        QTest::newRow("two fields") << QByteArray("nf_upper, 400 MHz\n") << 1
                                    << "line 1: expected \"kind, frequency, value\", found 2 field(s)";
        QTest::newRow("bad frequency") << QByteArray("\n\ngain_lower, 4x0 MHz, 3\n") << 3
                                       << "line 3: frequency '4x0 MHz': '4x0 ' ist kein gültiger Gleitkommawert";
        QTest::newRow("zero frequency") << QByteArray("gain_lower, 0 MHz, 3\n") << 1
                                        << "line 1: frequency '0 MHz' is not a positive frequency";
        QTest::newRow("bad value") << QByteArray("gain_lower, 1 MHz, three\n") << 1
                                   << "line 1: value 'three' is not a number of dB";
        QTest::newRow("infinite value") << QByteArray("gain_lower, 1 MHz, inf\n") << 1
                                        << "line 1: value 'inf' is not a number of dB";
        QTest::newRow("repeated frequency") << QByteArray("nf_upper, 400 MHz, 3\nnf_lower, 400 MHz, 1\nnf_upper, 0.4 GHz, 2\n") << 3
                                            << "line 3: nf_upper at 0.4 GHz was already given on line 1";
    }
    void malformedLineRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(QString, error);
        const LimitsParseResult r = ParseLimits(text, ReadHz);
        QVERIFY(!r.limits.has_value());
        QCOMPARE(r.errorLine, line);
        QCOMPARE(r.error, error);
    }

    void formattedLimitsReadBack()
    {
        const LimitSet limits = Parsed(kLimits + "nf_lower, 433.33 MHz, 0.1\n");
        const LimitsParseResult again = ParseLimits(FormatLimits(limits), ReadHz);
        QVERIFY(again.limits.has_value());
        QVERIFY(*again.limits == limits);
        QVERIFY(Parsed("# only a comment\n\n").empty());
    }
};

QTEST_GUILESS_MAIN(TestLimits)
#include "tst_limits.moc"
