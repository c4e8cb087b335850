#pragma once

#include <QObject>
#include <QString>

// One desktop notification through the session's notification service
// (org.freedesktop.Notifications). Without a session bus, or a service on it,
// the title and body go to standard output instead: a run from cron or a
// timer never fails for want of a desktop.
class DesktopNotice : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // shown() follows from the event loop, whichever way the notice went.
    void show(const QString &title, const QString &body);

signals:
    void shown();
};
