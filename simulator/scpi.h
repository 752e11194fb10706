#pragma once
// SCPI text handling of the simulated analyser: splitting a received line into its commands,
// matching command headers in short or long form, reading numeric parameters with their unit
// suffixes, and writing numbers. Everything here is independent of the C locale: the decimal
// point is always ".".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scpi {

/// One command of a line: its header ("FREQ:CENT", "*OPC"), whether it ends in "?", and its
/// parameter text, blanks around it removed ("400000000.00 Hz").
struct Command
{
    std::string header;
    bool query = false;
    std::string params;
};

/// The commands of one line, split at ";" outside quoted strings, in order. Empty parts
/// (";;", a trailing ";") are dropped.
std::vector<Command> splitLine(std::string_view line);

/// Whether `header` names the command of `pattern`. The pattern is written in SCPI notation:
/// the upper-case part of a node is its short form, the whole node its long form, "[...]"
/// marks an optional node, and "#" after a node allows the numeric suffix 1 ("MARK1", "TRAC1").
/// Common commands ("*RST") compare as they are. Case does not matter; a leading or trailing
/// ":" of the header is ignored ("SYST:PSAV: ON" means "SYST:PSAV ON").
bool headerMatches(std::string_view pattern, std::string_view header);

/// The unit family a numeric parameter may carry.
enum class Unit { None, Frequency, Time, Decibel };

/// A numeric parameter: a decimal number with an optional exponent, then optionally (with or
/// without blanks) a unit suffix of its family: Hz, kHz, MHz, GHz; s, ms, us, ns; dB, dBm.
/// The value is returned in the base unit (Hz, s, dB). Not a finite number, or a suffix of
/// another family: nullopt.
std::optional<double> parseNumber(std::string_view text, Unit unit);

/// A whole number without unit ("10"), nullopt otherwise.
std::optional<long> parseInteger(std::string_view text);

/// "ON"/"1" and "OFF"/"0", any case; nullopt otherwise.
std::optional<bool> parseBool(std::string_view text);

/// `value` with `decimals` digits after the point: -75.55.
std::string formatFixed(double value, int decimals);

/// The analyser's exponent form with `decimals` digits after the point and a signed exponent of
/// at least two digits: -7.555012E+01, 4.000000E-03.
std::string formatScientific(double value, int decimals);

/// The shortest decimal text that reads back as `value`, without exponent: 400000000, 0.5.
std::string formatShortest(double value);

/// Upper-case copy (ASCII).
std::string upper(std::string_view text);

/// `text` without blanks (space, tab, CR, LF) at either end.
std::string_view trimmed(std::string_view text);

} // namespace scpi
