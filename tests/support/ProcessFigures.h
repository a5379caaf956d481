#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A figure the system keeps of a process, the test's own unless given, in bytes: "VmHWM" (its
// peak resident memory since the last reset) or "VmRSS" (what it holds now) from its status,
// "rchar" or "wchar" (what it has read or written, sent files included) from its io; -1 when
// it cannot be read.
inline qint64 processFigure(const QByteArray &name, qint64 pid = 0)
{
    const bool memory = name.startsWith("Vm");
    QFile file(QStringLiteral("/proc/%1/").arg(pid ? QString::number(pid) : QStringLiteral("self"))
               + (memory ? QStringLiteral("status") : QStringLiteral("io")));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.sliced(name.size() + 1).trimmed().split(' ').value(0).toLongLong() * (memory ? 1024 : 1);
    }
    return -1;
}
