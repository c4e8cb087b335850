#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/socket.h>

// A web server on 127.0.0.1 whose every answer the test scripts: the script
// gets each request whole (up to its blank line) with its connection, and
// answers at once, later, in pieces, with a reset, or not at all. It keeps
// every request and the most connections it ever had open with one.
class LoopbackServer : public QObject
{
public:
    using Script = std::function<void(QTcpSocket *, const QByteArray &request)>;

    explicit LoopbackServer(Script script = {})
        : m_script(std::move(script))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    void setScript(Script script) { m_script = std::move(script); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString &path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path)); }
    void stop() // from now on connections are refused
    {
        m_server.close();
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->abort();
    }
    // How many requests hold part.
    int asked(const QByteArray &part) const
    {
        return int(
            std::count_if(requests.cbegin(), requests.cend(), [&](const QByteArray &r) { return r.contains(part); }));
    }

    QList<QByteArray> requests;
    int mostAtOnce = 0;

    // The request's path, and one item of its query as sent (still encoded).
    static QByteArray path(const QByteArray &request) { return request.split(' ').value(1); }
    static QByteArray query(const QByteArray &request, const QByteArray &key)
    {
        const QByteArray target = path(request);
        for (const QByteArray &item : target.mid(target.indexOf('?') + 1).split('&')) {
            if (item.startsWith(key + '='))
                return item.mid(key.size() + 1);
        }
        return {};
    }
    static QByteArray http(int status, const QByteArray &type, const QByteArray &body)
    {
        return "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: " + type + "\r\nContent-Length: "
               + QByteArray::number(body.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    }
    // Writes the pieces gapMs apart, then closes; nothing once the client has gone.
    static void send(QTcpSocket *socket, QList<QByteArray> pieces, int gapMs = 20)
    {
        if (!pieces.isEmpty())
            socket->write(pieces.takeFirst());
        socket->flush();
        if (pieces.isEmpty())
            return socket->disconnectFromHost();
        QTimer::singleShot(gapMs, socket, [socket, pieces, gapMs] {
            if (socket->state() == QAbstractSocket::ConnectedState)
                send(socket, pieces, gapMs);
        });
    }
    // An abrupt close: a zero linger makes it a reset.
    static void reset(QTcpSocket *socket)
    {
        socket->flush();
        const linger hard{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        socket->abort();
        socket->deleteLater();
    }
    // A loopback port where nothing listens.
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket *socket)
    {
        if (socket->property("seen").toBool())
            return;
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n") && !request.contains("\n\n"))
            return;
        socket->setProperty("seen", true);
        requests.append(request);
        mostAtOnce = qMax(mostAtOnce, ++m_open);
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        if (m_script)
            m_script(socket, request);
    }

    QTcpServer m_server;
    Script m_script;
    int m_open = 0;
};
