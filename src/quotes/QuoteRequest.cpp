#include "quotes/QuoteRequest.h"

QString quotePath(const QString &symbol)
{
    // toPercentEncoding leaves exactly the unreserved bytes alone.
    return QLatin1String(QuotePath) + QStringLiteral("?s=") + QString::fromLatin1(symbol.toUtf8().toPercentEncoding())
           + QStringLiteral("&f=") + QLatin1String(QuoteFieldList) + QStringLiteral("&e=.csv");
}

QByteArray quoteRequest(const QString &path)
{
    QByteArray request;
    request.reserve(path.size() + 64);
    request += "GET ";
    request += path.toLatin1();
    request += " HTTP/1.0\r\n"
               "Accept: */*\r\n"
               "Accept: text/html\r\n"
               "Accept: cvs\r\n"
               "\r\n";
    return request;
}
