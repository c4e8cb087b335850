#pragma once

#include "common/QuoteAnswers.h"

#include <QPointer>

// The live quote source on the shared loopback server, scripted by batch:
// each request's symbols (as asked, lower case with the suffix) and its
// number get an Action: a reply, silence, or a reset. It records every
// request's symbols and head.
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
        QByteArray headers{};  // more header lines, each with its CR LF
        bool keepOpen = false; // no Content-Length, and the connection stays open after the body
    };
    using Script = std::function<Action(const QList<QByteArray> &symbols, int request)>;

    static QByteArray header() { return SourceAnswer::header(); }
    static QByteArray row(const QByteArray &symbol, double close, const QByteArray &date = "2026-12-03")
    {
        return SourceAnswer::row(symbol, close, date);
    }
    static double priceOf(const QByteArray &symbol) { return SourceAnswer::priceOf(symbol); }
    // Every asked symbol at its own price.
    static Action table(const QList<QByteArray> &symbols, const QByteArray &date = "2026-12-03")
    {
        QByteArray body = header();
        for (const QByteArray &s : symbols)
            body += row(s, priceOf(s), date);
        return {Action::Reply, 200, "text/csv", body, 0};
    }

    explicit FakeUpstream(Script script)
        : m_script(std::move(script))
        , m_server([this](QTcpSocket *socket, const QByteArray &request) { answer(socket, request); })
    {}

    QUrl url() const { return m_server.url(QStringLiteral("/q/l/")); }
    quint16 port() const { return m_server.port(); }
    void stop() { m_server.stop(); }
    void setScript(Script script) { m_script = std::move(script); }
    int mostAtOnce() const { return m_server.mostAtOnce; }

    QList<QList<QByteArray>> requests;
    QList<QByteArray> heads; // each request's line and headers

private:
    void answer(QTcpSocket *socket, const QByteArray &request)
    {
        requests.append(SourceAnswer::symbolsOf(request));
        heads.append(request.first(request.indexOf("\r\n\r\n")));
        const Action action = m_script(requests.last(), int(requests.size()));
        if (action.kind == Action::Silent)
            return;
        if (action.kind == Action::Reset)
            return LoopbackServer::reset(socket);
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

    Script m_script;
    LoopbackServer m_server;
};
