#include "research/LinkCatalogue.h"

namespace LinkCatalogue {

QString expandChartTemplate(int templateIndex, const QString &symbol, const QString &time, const QString &extra)
{
    if (templateIndex < 0 || templateIndex >= int(kChartTemplates.size()))
        return QString();
    QString text = QString::fromLatin1(kChartTemplates[size_t(templateIndex)].pathAndQuery);
    // In this order, so a symbol that happens to hold "[TIME]" gets the time code.
    text.replace(QStringLiteral("[SYMBOL]"), symbol);
    text.replace(QStringLiteral("[TIME]"), time);
    text.replace(QStringLiteral("[EXTRA]"), extra);
    return text;
}

QUrl chartUrl(int templateIndex, const QString &symbol, const QString &time, const QString &extra)
{
    if (templateIndex < 0 || templateIndex >= int(kChartTemplates.size()))
        return QUrl();
    return pageUrl(QString::fromLatin1(kChartTemplates[size_t(templateIndex)].host),
                   expandChartTemplate(templateIndex, symbol, time, extra));
}

QUrl researchUrl(const QString &host, const QString &prefix, const QString &symbol, const QString &suffix)
{
    return pageUrl(host, prefix + symbol + suffix);
}

QUrl pageUrl(const QString &host, const QString &pathAndQuery)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    const qsizetype mark = pathAndQuery.indexOf(QLatin1Char('?'));
    if (mark < 0) {
        url.setPath(pathAndQuery, QUrl::TolerantMode);
    } else {
        url.setPath(pathAndQuery.left(mark), QUrl::TolerantMode);
        // Set even when empty, so "/gallery?" keeps its "?".
        url.setQuery(pathAndQuery.mid(mark + 1), QUrl::TolerantMode);
    }
    return url;
}

const ChartPeriod *findChartPeriod(QStringView control)
{
    for (const ChartPeriod &p : kChartPeriods) {
        if (control == QLatin1String(p.control))
            return &p;
    }
    return nullptr;
}

const ResearchLink *findResearchLink(QStringView control)
{
    for (const ResearchLink &l : kResearchLinks) {
        if (control == QLatin1String(l.control))
            return &l;
    }
    return nullptr;
}

} // namespace LinkCatalogue
