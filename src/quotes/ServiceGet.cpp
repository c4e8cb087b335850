#include "quotes/ServiceGet.h"

#include <QTimer>

ServiceGet::ServiceGet(QObject *parent)
    : QObject(parent)
{
    // The tables are larger than a quote line: the technicals of every
    // listed stock, or decades of daily bars.
    m_transport.setMaxReplySize(64 * 1024 * 1024);
    connect(&m_transport, &QuoteTransport::finished, this, [this](QuoteTransport::Outcome outcome) {
        Reply reply;
        const QString where = QStringLiteral("%1:%2").arg(m_host.host).arg(m_host.port);
        switch (outcome) {
        case QuoteTransport::Outcome::Replied:
            reply = splitHttpReply(m_transport.ReceiveBuffer());
            if (!reply.reached)
                reply.failure = tr("The quote service at %1 sent an answer that could not be read.").arg(where);
            break;
        case QuoteTransport::Outcome::ConnectFailed:
            reply.failure = tr("The quote service at %1 could not be reached.").arg(where);
            break;
        case QuoteTransport::Outcome::TimedOut:
            reply.failure = tr("The quote service at %1 did not answer in time.").arg(where);
            break;
        case QuoteTransport::Outcome::TooLong:
            reply.failure = tr("The quote service at %1 sent more than the program accepts.").arg(where);
            break;
        case QuoteTransport::Outcome::Broken:
            reply.failure = tr("The connection to the quote service at %1 broke off.").arg(where);
            break;
        }
        emit finished(reply);
    });
}

bool ServiceGet::get(const QuoteHost &host, const QString &pathAndQuery)
{
    if (m_transport.busy())
        return false;
    m_host = host;
    if (!host.isValid()) {
        QTimer::singleShot(0, this, [this] {
            Reply reply;
            reply.failure = tr("No valid quote service is set.");
            emit finished(reply);
        });
        return true;
    }
    return m_transport.SendQuoteRequest(host.host, pathAndQuery, host.port);
}

QString ServiceGet::Reply::refusal() const
{
    if (!reached)
        return failure;
    if (status == 200)
        return QString();
    const QString said = QString::fromUtf8(body).simplified();
    return said.isEmpty() ? tr("The quote service refused the request (HTTP %1).").arg(status) : said;
}

ServiceGet::Reply splitHttpReply(const QByteArray &reply)
{
    ServiceGet::Reply result;
    const qsizetype headerEnd = reply.indexOf("\r\n\r\n");
    if (headerEnd < 0 || !reply.startsWith("HTTP/"))
        return result;
    const qsizetype lineEnd = reply.indexOf("\r\n");
    const QList<QByteArray> parts = reply.first(lineEnd).split(' ');
    bool ok = false;
    const int status = parts.size() >= 2 ? parts[1].toInt(&ok) : 0;
    if (!ok || status < 100 || status > 599)
        return result;
    result.reached = true;
    result.status = status;
    result.body = reply.sliced(headerEnd + 4);
    return result;
}
