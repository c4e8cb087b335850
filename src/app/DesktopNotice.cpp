#include "app/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTextStream>
#include <QVariantMap>

void DesktopNotice::show(const QString &title, const QString &body)
{
    const auto printed = [this, title, body] {
        QTextStream(stdout) << title << '\n' << body << '\n';
        emit shown();
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(this, printed, Qt::QueuedConnection);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Tarnvale") << 0u << QStringLiteral("tarnvale") << title << body << QStringList()
         << QVariantMap() << -1;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, printed] {
        watcher->deleteLater();
        if (watcher->isError())
            printed();
        else
            emit shown();
    });
}
