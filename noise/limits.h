#pragma once
// Limit lines for the noise figure and the gain, and the verdict of a measurement against them.
//
// A limits file is UTF-8 text, one point a line: `kind, frequency, value`, where kind is one of
// nf_upper, nf_lower, gain_upper, gain_lower, the frequency is read as the entry fields read it
// ("400", "400M", "1.2 GHz") and the value is in dB ("3.5" or "3.5 dB"). Blank lines and lines
// whose first non-blank character is "#" are skipped. The points of one kind are sorted by
// frequency and joined by straight lines, linear in frequency; a kind with one point is flat over
// every frequency; outside the span of its points a kind does not apply. A value equal to its
// limit passes. Plain arithmetic on numbers and text; no widgets, safe from any thread.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

enum class LimitKind { NfUpper, NfLower, GainUpper, GainLower };
inline constexpr int kLimitKinds = 4;

/// "nf_upper", "nf_lower", "gain_upper", "gain_lower": the kind as the file names it.
QString LimitKindName(LimitKind kind);
/// "NF upper", ...: the kind as a label or a column title shows it.
QString LimitKindTitle(LimitKind kind);
/// The four kinds in the order of the file's description.
inline constexpr std::array<LimitKind, kLimitKinds> kLimitKindsInOrder = {LimitKind::NfUpper, LimitKind::NfLower,
                                                                         LimitKind::GainUpper, LimitKind::GainLower};
/// True for nf_upper and nf_lower.
inline constexpr bool IsNoiseFigureLimit(LimitKind kind) { return kind == LimitKind::NfUpper || kind == LimitKind::NfLower; }

struct LimitPoint
{
    double frequencyHz = 0;
    double valueDb = 0;
};

/// The points of every kind, each list sorted by frequency without repeats.
struct LimitSet
{
    std::array<QList<LimitPoint>, kLimitKinds> points;

    const QList<LimitPoint> &of(LimitKind kind) const { return points[size_t(kind)]; }
    bool empty() const;
    bool operator==(const LimitSet &other) const;
};

/// Reads a typed frequency as the entry fields read it and gives Hz; throws AppError (with the
/// field's own message) when the text is not a frequency.
using FrequencyReader = std::function<double(const QString &typed)>;

struct LimitsParseResult
{
    std::optional<LimitSet> limits;  ///< set when the text was sound
    int errorLine = 0;               ///< 1-based line of the first fault
    QString error;                   ///< "line 4: 'nf_uper' is not a limit kind (nf_upper, ...)"
};

/// The limits `text` holds, or the first malformed line with its number. A frequency that is
/// not positive and finite, a value that is not a finite number, a line without exactly three
/// fields and a frequency given twice for one kind are all refused.
LimitsParseResult ParseLimits(const QByteArray &text, const FrequencyReader &readFrequency);

/// The text of a limits file holding `limits`, frequencies in Hz: ParseLimits reads it back to
/// the same set with any reader that reads a bare number "<n> Hz" as n.
QByteArray FormatLimits(const LimitSet &limits);

/// The limit of `kind` at `frequencyHz`, or nothing where that kind does not apply.
std::optional<double> LimitAt(const LimitSet &limits, LimitKind kind, double frequencyHz);

/// One step against the limits in force at its frequency.
struct StepLimitResult
{
    std::array<std::optional<double>, kLimitKinds> limitDb;  ///< each kind in force, dB
    bool tested = false;  ///< at least one kind applies at this frequency
    bool pass = true;     ///< every kind in force holds (a missing value never holds)
    /// The kind broken by the most, and by how many dB beyond its limit; nothing when the step
    /// passes or the value is missing (then `missing` is set).
    std::optional<LimitKind> worstKind;
    double worstExcessDb = 0;
    bool missing = false;  ///< a kind applies but the step has no value for it
    /// Each kind in force that the step breaks (beyond it, or without a value for it).
    std::array<bool, kLimitKinds> broken{};

    /// True when a kind of the noise figure (`noiseFigure`) or of the gain is broken.
    bool breaksNoiseFigure() const { return broken[size_t(LimitKind::NfUpper)] || broken[size_t(LimitKind::NfLower)]; }
    bool breaksGain() const { return broken[size_t(LimitKind::GainUpper)] || broken[size_t(LimitKind::GainLower)]; }
};

/// Checks one step: `gainDb` and `noiseFigureDb` are nothing where the evaluation gave none.
/// Equality passes; so does a value within 1e-9 dB beyond its limit, which only absorbs the
/// rounding of the interpolation.
StepLimitResult CheckStepLimits(const LimitSet &limits, double frequencyHz,
                                std::optional<double> gainDb, std::optional<double> noiseFigureDb);

/// "NF upper 3.00 dB exceeded by 0.42 dB", "Gain lower 20.00 dB missed by 1.10 dB",
/// "NF upper 3.00 dB: no noise figure"; empty when the step passes.
QString StepLimitText(const StepLimitResult &result);

/// A straight piece of a limit line, from (fromHz, fromDb) to (toHz, toDb).
struct LimitSegment
{
    double fromHz = 0;
    double fromDb = 0;
    double toHz = 0;
    double toDb = 0;
};

/// The line of `kind` as far as it applies between `startHz` and `stopHz`, for a graph over
/// that span: the pieces between its points cut to the span, a one-point kind flat over the
/// whole span. For a single frequency (start equal to stop) one flat piece at the limit there,
/// when the kind applies. Nothing for a kind without points or a span that is not finite.
QList<LimitSegment> LimitSegments(const LimitSet &limits, LimitKind kind, double startHz, double stopHz);

/// The verdict of a whole measurement.
struct LimitVerdict
{
    int tested = 0;  ///< steps at which some limit applies
    int failed = 0;  ///< of those, the steps that break one
    bool pass() const { return failed == 0; }
};

LimitVerdict VerdictOf(const QList<StepLimitResult> &steps);

/// "PASS", or "FAIL: 3 of 11 points"; empty without limits.
QString VerdictText(const LimitVerdict &verdict, bool haveLimits);
