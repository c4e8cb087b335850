#include "quotes/ServiceStatus.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTimer>

namespace {

constexpr int kConnectTimeoutMs = 2'000;
constexpr int kReplyTimeoutMs = 3'000;

QDateTime isoTime(const QJsonValue &value)
{
    return value.isString() ? QDateTime::fromString(value.toString(), Qt::ISODate) : QDateTime();
}

} // namespace

std::optional<ServiceStatus> parseServiceStatus(QByteArrayView reply)
{
    const qsizetype headerEnd = reply.indexOf("\r\n\r\n");
    if (headerEnd < 0 || !reply.startsWith("HTTP/"))
        return std::nullopt;
    const QByteArrayView statusLine = reply.first(qMax<qsizetype>(reply.indexOf("\r\n"), 0));
    const QList<QByteArray> parts = statusLine.toByteArray().split(' ');
    if (parts.size() < 2 || parts[1] != "200")
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(reply.sliced(headerEnd + 4).toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    ServiceStatus status;
    status.source = object.value(QStringLiteral("source")).toString();
    status.state = object.value(QStringLiteral("state")).toString();
    status.reason = object.value(QStringLiteral("reason")).toString().simplified();
    status.lastSuccess = isoTime(object.value(QStringLiteral("lastSuccess")));
    status.retryAt = isoTime(object.value(QStringLiteral("retryAt")));
    status.quotesDate = QDate::fromString(object.value(QStringLiteral("quotesDate")).toString(), Qt::ISODate);
    if (status.state.isEmpty())
        return std::nullopt;
    return status;
}

QString statusExplanation(const ServiceStatus &status)
{
    if (status.state == u"ok")
        return QString();
    QString text = status.reason;
    if (status.state == u"no-key" || status.state == u"unauthorized") {
        if (text.isEmpty())
            text = status.state == u"no-key" ? QStringLiteral("The quote source needs an API key.")
                                             : QStringLiteral("The quote source refused the request: the API key is "
                                                              "missing or not valid.");
        text += QStringLiteral(" Set it in Tools > Quote Source...");
    } else if (text.isEmpty()) {
        text = QStringLiteral("The quote service cannot get quotes from its source (%1).").arg(status.state);
    }
    // The keyless source turns programs away more and more; a key mends that.
    if (status.source == u"stooq" && (status.state == u"refused" || status.state == u"limited"))
        text += QStringLiteral(" A free Massive API key avoids this: set it in Tools > Quote Source...");
    if (status.retryAt.isValid())
        text += QStringLiteral(" The service will ask again at %1.")
                    .arg(QLocale().toString(status.retryAt.toLocalTime(), QLocale::ShortFormat));
    if (status.quotesDate.isValid())
        text += QStringLiteral(" The quotes it has are of %1.")
                    .arg(QLocale().toString(status.quotesDate, QLocale::LongFormat));
    return text;
}

QString statusSummary(const ServiceStatus &status)
{
    QString text = status.state == u"ok" ? QStringLiteral("The quote service gets quotes from %1.").arg(status.source)
                                         : QStringLiteral("The quote service uses %1, which does not answer: %2")
                                               .arg(status.source, statusExplanation(status));
    if (status.state == u"ok" && status.quotesDate.isValid())
        text += QStringLiteral(" The quotes it has are of %1.")
                    .arg(QLocale().toString(status.quotesDate, QLocale::LongFormat));
    return text;
}

bool isLocalHost(const QuoteHost &host)
{
    if (host.host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host.host);
    return !address.isNull() && address.isLoopback();
}

ServiceStatusQuery::ServiceStatusQuery(QObject *parent)
    : QObject(parent)
{
    m_transport.setTimeouts(kConnectTimeoutMs, kReplyTimeoutMs);
    connect(&m_transport, &QuoteTransport::finished, this, [this](QuoteTransport::Outcome outcome) {
        std::optional<ServiceStatus> status;
        if (outcome == QuoteTransport::Outcome::Replied)
            status = parseServiceStatus(m_transport.ReceiveBuffer());
        emit finished(status);
    });
}

void ServiceStatusQuery::ask(const QuoteHost &host)
{
    if (!isLocalHost(host) || !host.isValid()
        || !m_transport.SendQuoteRequest(host.host, QString::fromLatin1(ServiceStatusPath), host.port))
        QTimer::singleShot(0, this, [this] { emit finished(std::nullopt); });
}
