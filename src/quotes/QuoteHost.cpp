#include "quotes/QuoteHost.h"

#include "base/UserSettings.h"

namespace {

quint16 portNumber(QStringView text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    return ok && port >= 1 && port <= 65535 ? quint16(port) : 0;
}

} // namespace

QuoteHost parseQuoteHost(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return parseQuoteHost(QString::fromLatin1(DefaultQuoteHost));

    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        if (close < 0)
            return {};
        const QString host = t.sliced(1, close - 1);
        const QStringView rest = QStringView(t).sliced(close + 1);
        if (rest.isEmpty())
            return {host, DefaultQuotePort};
        if (!rest.startsWith(u':'))
            return {};
        return {host, portNumber(rest.sliced(1))};
    }
    // More than one colon and no brackets: a bare IPv6 address.
    if (t.count(u':') > 1)
        return {t, DefaultQuotePort};
    const qsizetype colon = t.indexOf(u':');
    if (colon < 0)
        return {t, DefaultQuotePort};
    return {t.first(colon), portNumber(QStringView(t).sliced(colon + 1))};
}

QuoteHost quoteHostSetting()
{
    QSettings settings = userSettings();
    settings.beginGroup(QString::fromLatin1(QuoteHostSection));
    return parseQuoteHost(settings.value(QString::fromLatin1(QuoteHostKey)).toString());
}
