#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/socket.h>

// A loopback quote service whose every answer is scripted: whole or split
// replies, silence, an abrupt reset, or a close without a word. It records
// every request it was sent and how often each symbol was asked for.
class QuoteFaultServer : public QObject
{
public:
    struct Action
    {
        enum Kind { Reply, Silent, Reset, Close } kind = Reply;
        QList<QByteArray> pieces; // Reply: written one after another, 20 ms apart; Reset: written first
    };
    using Script = std::function<Action(const QByteArray &symbol, int attempt)>;

    static QByteArray headers(qsizetype contentLength = -1)
    {
        QByteArray h = "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n";
        if (contentLength >= 0)
            h += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
        return h + "\r\n";
    }
    static QByteArray reply(const QByteArray &body) { return headers() + body; }
    static Action answer(const QByteArray &body) { return {Action::Reply, {reply(body)}}; }
    // A line in the classic shape for a symbol, last price and volume.
    static QByteArray line(const QByteArray &symbol, const QByteArray &last = "27.50",
                           const QByteArray &volume = "1234567")
    {
        return '"' + symbol + "\"," + last + ",\"6/4/2004\",\"4:00pm\",+0.12,27.40,27.60,27.30," + volume + "\r\n";
    }

    explicit QuoteFaultServer(Script script, QObject *parent = nullptr) : QObject(parent), m_script(std::move(script))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &QuoteFaultServer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
    }

    quint16 port() const { return m_port; }
    // Stops listening: from now on connections are refused.
    void stop() { m_server.close(); }
    void setScript(Script script) { m_script = std::move(script); }

    QList<QByteArray> requests;
    QHash<QByteArray, int> attempts; // by symbol, percent-decoded

    int attemptsFor(const QByteArray &symbol) const { return attempts.value(symbol); }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_pending.remove(socket);
                socket->deleteLater();
            });
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &request = m_pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray whole = m_pending.take(socket);
        requests.append(whole);
        const QByteArray symbol = symbolOf(whole);
        const int attempt = ++attempts[symbol];
        act(socket, m_script(symbol, attempt));
    }

    static QByteArray symbolOf(const QByteArray &request)
    {
        const qsizetype from = request.indexOf("?s=");
        const qsizetype to = request.indexOf("&f=");
        if (from < 0 || to < from)
            return {};
        return QByteArray::fromPercentEncoding(request.mid(from + 3, to - from - 3));
    }

    void act(QTcpSocket *socket, const Action &action)
    {
        switch (action.kind) {
        case Action::Silent:
            return;
        case Action::Close:
            socket->disconnectFromHost();
            return;
        case Action::Reset: {
            for (const QByteArray &piece : action.pieces)
                socket->write(piece);
            socket->flush();
            // Linger with a zero time-out makes the close a reset.
            const linger hard{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            socket->abort();
            return;
        }
        case Action::Reply:
            writePieces(socket, action.pieces, 0);
            return;
        }
    }

    void writePieces(QTcpSocket *socket, const QList<QByteArray> &pieces, qsizetype from)
    {
        if (from >= pieces.size()) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(pieces[from]);
        socket->flush();
        if (from + 1 >= pieces.size()) {
            socket->disconnectFromHost();
            return;
        }
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(20, this, [this, guard, pieces, from] {
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                writePieces(guard, pieces, from + 1);
        });
    }

    QTcpServer m_server;
    Script m_script;
    QHash<QTcpSocket *, QByteArray> m_pending;
    quint16 m_port = 0;
};

// A loopback port where nothing listens: connections to it are refused.
inline quint16 refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
