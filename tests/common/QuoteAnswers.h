#pragma once

#include "common/LoopbackServer.h"

// What the program's quote service answers, for a LoopbackServer standing in
// for it: one quoted line per request.
namespace ServiceAnswer {
inline QByteArray line(const QByteArray &symbol, const QByteArray &last = "27.50")
{
    return '"' + symbol + "\"," + last + ",\"6/4/2004\",\"4:00pm\",+0.12,27.40,27.60,27.30,1234567\r\n";
}
inline QByteArray reply(const QByteArray &body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n\r\n" + body;
}
// The symbol a request asks for, decoded.
inline QByteArray symbolOf(const QByteArray &request)
{
    return QByteArray::fromPercentEncoding(LoopbackServer::query(request, "s"));
}
// Every symbol answered with its line.
inline void lineForEach(QTcpSocket *socket, const QByteArray &request)
{
    LoopbackServer::send(socket, {reply(line(symbolOf(request)))});
}
} // namespace ServiceAnswer

// What the live source answers a batch request (?s=a.us+b.us&f=sd2t2ohlcv&h&e=csv).
namespace SourceAnswer {
inline QByteArray header()
{
    return "Symbol,Date,Time,Open,High,Low,Close,Volume\r\n";
}
// One row with the close given and the others derived from it.
inline QByteArray row(const QByteArray &symbol, double close, const QByteArray &date = "2026-12-03")
{
    const auto n = [](double v) { return QByteArray::number(v, 'f', 2); };
    return symbol.toUpper() + ',' + date + ",22:00:09," + n(close - 0.5) + ',' + n(close + 1) + ',' + n(close - 1) + ','
           + n(close) + ",123456\r\n";
}
// A price that differs from symbol to symbol: 10 + the sum of its bytes / 100.
inline double priceOf(const QByteArray &symbol)
{
    int sum = 0;
    for (char c : symbol.toLower())
        sum += c;
    return 10 + sum / 100.0;
}
// The symbols of a batch request, as asked: lower case with the suffix.
inline QList<QByteArray> symbolsOf(const QByteArray &request)
{
    QList<QByteArray> symbols;
    for (const QByteArray &s : LoopbackServer::query(request, "s").split('+'))
        symbols.append(QByteArray::fromPercentEncoding(s));
    return symbols;
}
// Every asked symbol at its own price.
inline QByteArray table(const QByteArray &request, const QByteArray &date = "2026-12-03")
{
    QByteArray body = header();
    for (const QByteArray &s : symbolsOf(request))
        body += row(s, priceOf(s), date);
    return LoopbackServer::http(200, "text/csv", body);
}
} // namespace SourceAnswer
