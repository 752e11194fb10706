#pragma once
// The seven inputs of the uncertainty as the operator edits them in "Options > Uncertainty ..."
// and as config.ini keeps them: their captions, keys, limits and text form. Widget-free.

#include "noise/uncertainty.h"

#include <QString>
#include <array>
#include <optional>

/// One input: where it lives in UncertaintyInputs, its config.ini key, the dialog's field and
/// caption, and the values it accepts.
struct UncertaintyField
{
    double UncertaintyInputs::*member;
    const char *key;        ///< key in [Uncertainty]
    const char *fieldName;  ///< objectName of the dialog's entry field
    const char *caption;    ///< label beside the field
    double lowest;
    double highest;
};

inline constexpr int kUncertaintyFieldCount = 7;
using UncertaintyTexts = std::array<QString, kUncertaintyFieldCount>;

/// The inputs in the order of the dialog: three limits of error in dB, then four VSWRs.
const std::array<UncertaintyField, kUncertaintyFieldCount> &UncertaintyFields();

/// The shortest text of a value, "." before the fraction: 0.2, 1.15.
QString UncertaintyValueText(double value);
/// The value of `text` when it is a number within the field's limits; a trailing "dB" is
/// allowed for the limits of error.
std::optional<double> ParseUncertaintyValue(const QString &text, const UncertaintyField &field);

UncertaintyTexts UncertaintyFieldTexts(const UncertaintyInputs &inputs);
/// All seven texts to inputs; false with an operator-readable `error` naming the first field
/// that is out of bounds or not a number (the inputs are then left as they were).
bool ParseUncertaintyTexts(const UncertaintyTexts &texts, UncertaintyInputs &inputs, QString *error);

bool SameUncertaintyInputs(const UncertaintyInputs &a, const UncertaintyInputs &b);
