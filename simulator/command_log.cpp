#include "simulator/command_log.h"

#include "simulator/scpi.h"

#include <cerrno>
#include <cstring>

CommandLog::~CommandLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool CommandLog::open(const std::string &path, std::chrono::steady_clock::time_point start,
                      std::string &error)
{
    m_file = std::fopen(path.c_str(), "we");
    if (!m_file) {
        error = "cannot write the log " + path + ": " + std::strerror(errno);
        return false;
    }
    m_start = start;
    return true;
}

void CommandLog::write(std::string_view line, std::chrono::steady_clock::time_point when)
{
    if (!m_file)
        return;
    const double seconds = std::chrono::duration<double>(when - m_start).count();
    const std::string stamp = scpi::formatFixed(seconds, 6);
    std::fwrite(stamp.data(), 1, stamp.size(), m_file);
    std::fputc(' ', m_file);
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}
