#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tvq52::test {

// A file's bytes; empty when it cannot be read.
inline QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `bytes` whole over `path`.
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What a tool writes (its errors too when asked); empty when it cannot run or does not finish.
inline QString toolOutput(const QString& tool, const QStringList& arguments, bool withErrors = false)
{
    QProcess p;
    if (withErrors)
        p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, arguments);
    if (!p.waitForFinished(30000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace tvq52::test
