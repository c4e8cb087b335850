#pragma once

#include <QUrl>

// The only pages the research window shows: web pages over HTTP or HTTPS,
// and the empty page. Every other scheme (mail links, file:, data:, any
// scheme a desktop program has claimed) is refused, so a page can neither
// start another program nor reach local files.
inline bool isWebPageUrl(const QUrl &url)
{
    // QUrl keeps schemes in lower case, whatever the page wrote.
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return true;
    return scheme == QLatin1String("about") && url.path() == QLatin1String("blank");
}
