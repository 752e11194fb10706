#pragma once
// The four noise levels of one step: the noise source off and on, measured once without the
// DUT (the calibration) and once with it. One shape for every use: the levels of a step in
// dBm as the passes store them, the calculator's linear milliwatts, the texts of its fields.

#include <QString>

template <typename Value>
struct FourLevels
{
    Value n2off{};   ///< without the DUT, source off
    Value n2on{};    ///< without the DUT, source on
    Value n12off{};  ///< with the DUT, source off
    Value n12on{};   ///< with the DUT, source on

    /// Each level through `f`, in the order above: a conversion that fails stops at the first
    /// level that does not convert.
    template <typename F>
    auto map(F f) const -> FourLevels<decltype(f(n2off))>
    {
        // A braced list is evaluated from left to right.
        return {f(n2off), f(n2on), f(n12off), f(n12on)};
    }
};

/// The levels as numbers: dBm unless the name of the variable says otherwise.
using StepLevels = FourLevels<double>;
/// The levels as the calculator's fields show them ("-75.55", "-70.250 dBm").
using LevelTexts = FourLevels<QString>;
