#pragma once
// Test fixtures for the serial port component: a pseudo-terminal pair standing in for the
// serial line (the component opens the slave side, the test plays the instrument on the
// master side), linked as ports/COM<n> in a temporary working folder.

#include "common/event_loop.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/// Makes a temporary folder the working folder, with an empty ports/ folder in it, and goes
/// back to the previous working folder when destroyed.
class TempWorkDir
{
public:
    TempWorkDir();
    ~TempWorkDir();
    bool isValid() const { return m_valid; }
    /// Creates ports/COM<n> pointing at target (which need not exist).
    bool link(int n, const QString &target);

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_valid = false;
};

/// One pseudo-terminal pair. The test keeps its own descriptor of the slave side, so that it
/// can look at the line settings that the component applied.
class PtyLine
{
public:
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool isOpen() const { return m_master >= 0; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    QString slavePath() const { return m_slavePath; }

    /// Writes all bytes to the master side (as if the instrument sent them).
    bool send(const QByteArray &bytes);
    /// Reads from the master side until want bytes have come or timeoutMs has passed,
    /// without serving Qt events.
    QByteArray receive(int want, int timeoutMs);
    /// Like receive, but serves Qt events while it waits.
    QByteArray receiveServingEvents(int want, int timeoutMs);
    /// Closes the master side: the line hangs up for the slave.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
