#include "quoted/SourceStatus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTimeZone>

namespace {

QJsonValue isoTime(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QDateTime retryAfterTime(QByteArrayView header, const QDateTime &now)
{
    const QByteArray text = header.trimmed().toByteArray();
    bool seconds = false;
    const qint64 delay = text.toLongLong(&seconds);
    if (seconds)
        return delay >= 0 ? now.addSecs(delay) : QDateTime();
    // "Wed, 21 Oct 2026 07:28:00 GMT"
    QDateTime date =
        QLocale::c().toDateTime(QString::fromLatin1(text), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!date.isValid())
        return {};
    date.setTimeZone(QTimeZone::utc());
    return date;
}

} // namespace

QByteArray SourceStatus::stateName(State state)
{
    switch (state) {
    case State::Ok:
        return "ok";
    case State::NoKey:
        return "no-key";
    case State::Unauthorized:
        return "unauthorized";
    case State::Limited:
        return "limited";
    case State::Refused:
        return "refused";
    case State::Unreachable:
        return "unreachable";
    }
    return "unreachable";
}

QByteArray SourceStatus::toJson() const
{
    QJsonObject object{
        {QStringLiteral("source"), source},
        {QStringLiteral("state"), QString::fromLatin1(stateName(state))},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("lastSuccess"), isoTime(lastSuccess)},
        {QStringLiteral("retryAt"), isoTime(retryAt)},
        {QStringLiteral("quotesDate"),
         quotesDate.isValid() ? QJsonValue(quotesDate.toString(Qt::ISODate)) : QJsonValue()},
    };
    if (backfill)
        object.insert(QStringLiteral("backfill"), QJsonObject{
                                                      {QStringLiteral("from"), backfill->from.toString(Qt::ISODate)},
                                                      {QStringLiteral("to"), backfill->to.toString(Qt::ISODate)},
                                                      {QStringLiteral("done"), backfill->done},
                                                      {QStringLiteral("days"), backfill->days},
                                                  });
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SourceRefusal> sourceRefusal(int httpStatus, QByteArrayView body, QByteArrayView retryAfter,
                                           const QDateTime &now, const QTimeZone &sourceZone)
{
    using State = SourceStatus::State;
    switch (httpStatus) {
    case 401:
        return SourceRefusal{State::Unauthorized,
                             QStringLiteral("The quote source refused the request: the API key is missing or not "
                                            "valid."),
                             {}};
    case 403:
        return SourceRefusal{State::Refused, QStringLiteral("The quote source refused access to its quotes."), {}};
    case 429:
    case 503:
        return SourceRefusal{State::Limited,
                             QStringLiteral("The quote source asked to be asked less often (HTTP %1).").arg(httpStatus),
                             retryAfterTime(retryAfter, now)};
    default:
        break;
    }
    if (httpStatus < 200 || httpStatus >= 300)
        return std::nullopt;
    const QByteArrayView start = body.trimmed().first(qMin<qsizetype>(body.trimmed().size(), 256));
    if (start.toByteArray().toLower().contains("exceeded the daily hits limit")) {
        const QDate tomorrow = now.toTimeZone(sourceZone).date().addDays(1);
        return SourceRefusal{State::Limited, QStringLiteral("The quote source's daily request limit has been reached."),
                             QDateTime(tomorrow, QTime(0, 0), sourceZone).toUTC()};
    }
    if (start.startsWith('<'))
        return SourceRefusal{State::Refused,
                             QStringLiteral("The quote source answered with a web page (a browser check) instead of "
                                            "quotes."),
                             {}};
    return std::nullopt;
}
