#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/socket.h>

// A loopback stand-in for the live quote source: answers each batch request
// (GET ...?s=a.us+b.us&f=sd2t2ohlcv&h&e=csv) as its script says: a CSV
// table, another status or text, silence, or a reset. It records the symbols
// of every request and the most requests it ever had open at once.
class FakeUpstream : public QObject
{
public:
    struct Action
    {
        enum Kind { Reply, Silent, Reset } kind = Reply;
        int status = 200;
        QByteArray contentType = "text/csv";
        QByteArray body;
        int delayMs = 0;
        QByteArray headers{}; // more header lines, each with its CR LF
        bool keepOpen = false; // no Content-Length, and the connection stays open after the body
    };
    // symbols: as asked, lower case with the suffix; request: 1 for the first
    using Script = std::function<Action(const QList<QByteArray> &symbols, int request)>;

    static QByteArray header() { return "Symbol,Date,Time,Open,High,Low,Close,Volume\r\n"; }
    // One row with the close given and the others derived from it.
    static QByteArray row(const QByteArray &symbol, double close, const QByteArray &date = "2026-12-03")
    {
        const auto n = [](double v) { return QByteArray::number(v, 'f', 2); };
        return symbol.toUpper() + ',' + date + ",22:00:09," + n(close - 0.5) + ',' + n(close + 1) + ','
               + n(close - 1) + ',' + n(close) + ",123456\r\n";
    }
    // Every asked symbol at the price its name gives (see priceOf).
    static Action table(const QList<QByteArray> &symbols, const QByteArray &date = "2026-12-03")
    {
        QByteArray body = header();
        for (const QByteArray &s : symbols)
            body += row(s, priceOf(s), date);
        return {Action::Reply, 200, "text/csv", body, 0};
    }
    // A price that differs from symbol to symbol: 10 + the sum of its bytes / 100.
    static double priceOf(const QByteArray &symbol)
    {
        int sum = 0;
        for (char c : symbol.toLower())
            sum += c;
        return 10 + sum / 100.0;
    }

    explicit FakeUpstream(Script script)
        : m_script(std::move(script))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &FakeUpstream::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/q/l/").arg(m_port)); }
    quint16 port() const { return m_port; }
    void stop() // from now on connections are refused
    {
        m_server.close();
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->abort();
    }
    void setScript(Script script) { m_script = std::move(script); }

    QList<QList<QByteArray>> requests;
    QList<QByteArray> heads; // each request's line and headers
    int mostAtOnce = 0;

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
        if (!request.contains("\r\n\r\n") || socket->property("seen").toBool())
            return;
        socket->setProperty("seen", true);
        const QByteArray target = request.split(' ').value(1);
        QList<QByteArray> symbols;
        const qsizetype from = target.indexOf("s=") + 2, to = target.indexOf('&', from);
        for (const QByteArray &s : target.mid(from, to - from).split('+'))
            symbols.append(QByteArray::fromPercentEncoding(s));
        requests.append(symbols);
        heads.append(request.first(request.indexOf("\r\n\r\n")));
        mostAtOnce = qMax(mostAtOnce, ++m_open);
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        const Action action = m_script(symbols, int(requests.size()));
        if (action.kind == Action::Silent)
            return;
        if (action.kind == Action::Reset) {
            const linger hard{1, 0}; // a zero linger makes the close a reset
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            socket->abort();
            socket->deleteLater();
            return;
        }
        QTimer::singleShot(action.delayMs, this, [guard = QPointer<QTcpSocket>(socket), action] {
            if (!guard || guard->state() != QAbstractSocket::ConnectedState)
                return;
            const QByteArray length =
                action.keepOpen ? QByteArray() : "Content-Length: " + QByteArray::number(action.body.size()) + "\r\n";
            guard->write("HTTP/1.1 " + QByteArray::number(action.status) + " X\r\nContent-Type: " + action.contentType
                         + "\r\n" + length + "Connection: close\r\n" + action.headers + "\r\n" + action.body);
            if (!action.keepOpen)
                guard->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    Script m_script;
    quint16 m_port = 0;
    int m_open = 0;
};
