#pragma once
// A fresh temporary folder as the working directory of one test: the window reads and writes
// config.ini and default.tbl there. The previous working directory comes back at the end.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class WorkingFolder
{
public:
    WorkingFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

/// All bytes of a file; empty when it cannot be read.
inline QByteArray ReadFileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// All bytes of a file, or "<missing>" when it cannot be read, so that a file that is not there
/// never compares equal to an empty one.
inline QByteArray ReadFileBytesOrMissing(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

/// Writes `bytes` as the whole file; false when that fails.
inline bool WriteFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
