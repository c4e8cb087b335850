#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>

// Ends a start-up benchmark child once its window has been painted for the
// first time: prints "shown <peak resident kB>" (VmHWM of the process at that
// moment) on stdout and quits. The harness times the line's arrival.
class ShownProbe : public QObject
{
public:
    explicit ShownProbe(QWidget *window) { window->installEventFilter(this); }

    static long peakResidentKb()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
        return -1;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // After this paint has reached the screen.
            QTimer::singleShot(0, this, [] {
                std::printf("shown %ld\n", peakResidentKb());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};
