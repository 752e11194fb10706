#pragma once
// The limits the window applies: a limits file (noise/limits.h) read as the entry fields read
// frequencies, and its path kept in config.ini's section [Limits] (File=), written only once
// limits were loaded, so that a config.ini of a program that never used them stays as it was.
// Widget-free.

#include "app/core/config.h"
#include "noise/limits.h"

#include <QString>
#include <optional>

/// A limits file read, or why not, without the file's name: "line 4: 'nf_uper' is not a limit
/// kind ...", "File do not exists !", "the file holds no limit".
struct LimitsFileResult
{
    std::optional<LimitSet> limits;
    QString error;
};

/// Reads the limits file at `path` (at most 1 MiB), frequencies as the entry fields read them.
LimitsFileResult ReadLimitsFile(const QString &path);

/// [Limits] File= of the settings file; empty when the section or the key is absent.
QString ReadLimitsConfig(const QString &path = ConfigFilePath());

/// Sets [Limits] File= to `limitsFile` when it is not empty or the file has the key already
/// (then empty when the limits were cleared); false, with an operator-readable
/// `errorMessage`, when the file cannot be written.
bool WriteLimitsConfig(const QString &limitsFile, QString *errorMessage, const QString &path = ConfigFilePath());
