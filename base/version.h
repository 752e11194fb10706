#pragma once
#include <QString>

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 10;
inline constexpr const char *kVersionSuffix = "";

/// "V" + major + "." + minor as exactly two digits + suffix: "V1.10".
QString VersionText();
