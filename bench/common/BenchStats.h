#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <iterator>

#include <sys/resource.h>

// The figures every benchmark prints: medians of repeated runs.
template <typename Container> double median(Container values)
{
    std::sort(std::begin(values), std::end(values));
    return values[std::size(values) / 2];
}

// Wall time of one call, in milliseconds.
template <typename F> double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

// A figure of /proc/<pid>/status in kB ("VmRSS:" resident now, "VmHWM:" the
// peak); pid 0 is this process. -1 when the process or the line is not there.
inline long statusKb(const char *key, qint64 pid = 0)
{
    QFile status(pid == 0 ? QStringLiteral("/proc/self/status") : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// User and system CPU time of this process (RUSAGE_SELF) or of its awaited
// children (RUSAGE_CHILDREN), in seconds.
inline double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
