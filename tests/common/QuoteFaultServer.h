#pragma once

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

#include <sys/socket.h>

// A loopback quote service whose every answer is scripted: whole or split
// replies, a close without a word (no pieces), silence, or an abrupt reset.
// It records every request and how often each (decoded) symbol was asked for.
class QuoteFaultServer : public QObject
{
public:
    struct Action
    {
        enum Kind { Reply, Silent, Reset } kind = Reply;
        QList<QByteArray> pieces; // Reply: written 20 ms apart; Reset: written before the reset
    };
    using Script = std::function<Action(const QByteArray &symbol, int attempt)>;

    static QByteArray reply(const QByteArray &body)
    {
        return "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n\r\n" + body;
    }
    static Action answer(const QByteArray &body) { return {Action::Reply, {reply(body)}}; }
    static QByteArray line(const QByteArray &symbol, const QByteArray &last = "27.50")
    {
        return '"' + symbol + "\"," + last + ",\"6/4/2004\",\"4:00pm\",+0.12,27.40,27.60,27.30,1234567\r\n";
    }

    explicit QuoteFaultServer(Script script) : m_script(std::move(script))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &QuoteFaultServer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
    }

    quint16 port() const { return m_port; }
    void stop() { m_server.close(); } // from now on connections are refused
    void setScript(Script script) { m_script = std::move(script); }
    int attemptsFor(const QByteArray &symbol) const { return m_attempts.value(symbol); }

    QList<QByteArray> requests;

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket *socket)
    {
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n"))
            return;
        requests.append(request);
        const qsizetype from = request.indexOf("?s=") + 3, to = request.indexOf("&f=");
        const QByteArray symbol = QByteArray::fromPercentEncoding(request.mid(from, to - from));
        const Action action = m_script(symbol, ++m_attempts[symbol]);
        if (action.kind == Action::Reply)
            return writePieces(socket, action.pieces);
        if (action.kind == Action::Silent)
            return;
        for (const QByteArray &piece : action.pieces)
            socket->write(piece);
        socket->flush();
        const linger hard{1, 0}; // a zero linger makes the close a reset
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        socket->abort();
    }

    void writePieces(QTcpSocket *socket, QList<QByteArray> pieces)
    {
        if (!pieces.isEmpty())
            socket->write(pieces.takeFirst());
        socket->flush();
        if (pieces.isEmpty())
            return socket->disconnectFromHost();
        QTimer::singleShot(20, this, [this, guard = QPointer<QTcpSocket>(socket), pieces] {
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                writePieces(guard, pieces);
        });
    }

    QTcpServer m_server;
    Script m_script;
    QHash<QByteArray, int> m_attempts;
    quint16 m_port = 0;
};

// A loopback port where nothing listens: connections to it are refused.
inline quint16 refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
