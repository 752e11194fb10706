#include "simulator/scpi.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace scpi {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char toUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

struct PatternNode
{
    std::string shortForm; // upper-case letters at the start of the node
    std::string longForm;  // the whole node, upper case
    bool optional = false;
    bool suffix = false;   // "#": the numeric suffix 1 may follow
};

std::vector<PatternNode> parsePattern(std::string_view pattern)
{
    std::vector<PatternNode> nodes;
    size_t i = 0;
    while (i < pattern.size()) {
        bool optional = false;
        std::string_view part;
        if (pattern[i] == '[') {
            const size_t close = pattern.find(']', i);
            part = pattern.substr(i + 1, close - i - 1);
            i = close + 1;
            optional = true;
        } else if (pattern[i] == ':') {
            ++i;
            continue;
        } else {
            size_t end = pattern.find_first_of(":[", i);
            if (end == std::string_view::npos)
                end = pattern.size();
            part = pattern.substr(i, end - i);
            i = end;
        }
        while (!part.empty() && part.front() == ':')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ':')
            part.remove_suffix(1);
        PatternNode node;
        node.optional = optional;
        if (!part.empty() && part.back() == '#') {
            node.suffix = true;
            part.remove_suffix(1);
        }
        for (char c : part) {
            if (c >= 'A' && c <= 'Z' && node.shortForm.size() == node.longForm.size())
                node.shortForm += c;
            node.longForm += toUpper(c);
        }
        nodes.push_back(node);
    }
    return nodes;
}

bool nodeMatches(const PatternNode &node, std::string_view input)
{
    size_t digits = input.size();
    while (digits > 0 && input[digits - 1] >= '0' && input[digits - 1] <= '9')
        --digits;
    const std::string name = upper(input.substr(0, digits));
    const std::string_view suffix = input.substr(digits);
    if (name != node.shortForm && name != node.longForm)
        return false;
    if (suffix.empty())
        return true;
    // Only the first window, trace and marker exist on this bench.
    return node.suffix && suffix == "1";
}

bool matchFrom(const std::vector<PatternNode> &pattern, size_t p,
               const std::vector<std::string_view> &input, size_t i)
{
    if (p == pattern.size())
        return i == input.size();
    const PatternNode &node = pattern[p];
    if (i < input.size() && nodeMatches(node, input[i]) && matchFrom(pattern, p + 1, input, i + 1))
        return true;
    return node.optional && matchFrom(pattern, p + 1, input, i);
}

struct Suffix
{
    const char *text;
    Unit unit;
    double factor;
};

// Upper-case forms. "MHZ" is megahertz by SCPI convention (not millihertz); "MAHZ" is the
// explicit spelling some instruments also take.
constexpr std::array<Suffix, 12> kSuffixes{{
    {"HZ", Unit::Frequency, 1.0},
    {"KHZ", Unit::Frequency, 1e3},
    {"MHZ", Unit::Frequency, 1e6},
    {"MAHZ", Unit::Frequency, 1e6},
    {"GHZ", Unit::Frequency, 1e9},
    {"S", Unit::Time, 1.0},
    {"MS", Unit::Time, 1e-3},
    {"US", Unit::Time, 1e-6},
    {"NS", Unit::Time, 1e-9},
    {"DB", Unit::Decibel, 1.0},
    {"DBM", Unit::Decibel, 1.0},
    {"DBMW", Unit::Decibel, 1.0},
}};

std::optional<double> readDouble(std::string_view &text)
{
    const char *first = text.data();
    const char *last = text.data() + text.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // from_chars would take "inf" and "nan"; a parameter must start with a digit or a point.
    if (first == last || !((*first >= '0' && *first <= '9') || *first == '.'))
        return std::nullopt;
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    text.remove_prefix(size_t(result.ptr - text.data()));
    return negative ? -value : value;
}

} // namespace

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = toUpper(c);
    return out;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<Command> splitLine(std::string_view line)
{
    std::vector<std::string_view> parts;
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            parts.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(line.substr(start));

    std::vector<Command> commands;
    for (std::string_view part : parts) {
        part = trimmed(part);
        if (part.empty())
            continue;
        size_t blank = 0;
        while (blank < part.size() && !isBlank(part[blank]))
            ++blank;
        std::string_view header = part.substr(0, blank);
        Command command;
        if (!header.empty() && header.back() == '?') {
            command.query = true;
            header.remove_suffix(1);
        }
        command.header = std::string(header);
        command.params = std::string(trimmed(part.substr(blank)));
        commands.push_back(std::move(command));
    }
    return commands;
}

bool headerMatches(std::string_view pattern, std::string_view header)
{
    while (!header.empty() && header.front() == ':')
        header.remove_prefix(1);
    while (!header.empty() && header.back() == ':')
        header.remove_suffix(1);
    if (!pattern.empty() && pattern.front() == '*')
        return upper(pattern) == upper(header);

    std::vector<std::string_view> input;
    size_t start = 0;
    for (size_t i = 0; i <= header.size(); ++i) {
        if (i == header.size() || header[i] == ':') {
            if (i == start)
                return false; // "FREQ::CENT"
            input.push_back(header.substr(start, i - start));
            start = i + 1;
        }
    }
    return matchFrom(parsePattern(pattern), 0, input, 0);
}

std::optional<double> parseNumber(std::string_view text, Unit unit)
{
    text = trimmed(text);
    std::optional<double> value = readDouble(text);
    if (!value)
        return std::nullopt;
    const std::string suffix = upper(trimmed(text));
    if (suffix.empty())
        return value;
    if (unit == Unit::None)
        return std::nullopt;
    for (const Suffix &s : kSuffixes) {
        if (suffix == s.text && s.unit == unit)
            return *value * s.factor;
    }
    return std::nullopt;
}

std::optional<long> parseInteger(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<bool> parseBool(std::string_view text)
{
    const std::string word = upper(trimmed(text));
    if (word == "ON" || word == "1")
        return true;
    if (word == "OFF" || word == "0")
        return false;
    return std::nullopt;
}

std::string formatFixed(double value, int decimals)
{
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string formatScientific(double value, int decimals)
{
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::scientific, decimals);
    std::string text(buffer.data(), result.ptr);
    for (char &c : text)
        c = toUpper(c);
    return text;
}

std::string formatShortest(double value)
{
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed);
    return std::string(buffer.data(), result.ptr);
}

} // namespace scpi
