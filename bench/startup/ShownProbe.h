#pragma once

#include "common/BenchStats.h"

#include <QCoreApplication>
#include <QEvent>
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // After this paint has reached the screen.
            QTimer::singleShot(0, this, [] {
                std::printf("shown %ld\n", statusKb("VmHWM:"));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};
