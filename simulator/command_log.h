#pragma once
// The dialogue log: every received line, one a line, after the seconds since the simulator
// started ("12.345678 FREQ:CENT 400000000"), flushed at once so that a test can read it while
// the simulator runs.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

class CommandLog
{
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog &) = delete;
    CommandLog &operator=(const CommandLog &) = delete;

    /// Creates (or empties) the log file; false with `error` set when it cannot be written.
    bool open(const std::string &path, std::chrono::steady_clock::time_point start,
              std::string &error);
    /// Appends one line; does nothing while no file is open.
    void write(std::string_view line, std::chrono::steady_clock::time_point when);

private:
    std::FILE *m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};
