#include "research/LinkOverrides.h"

#include "base/ErrorReturn.h"
#include "base/Text.h"
#include "base/UserSettings.h"
#include "research/LinkCatalogue.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kSymbol = QStringLiteral("[SYMBOL]");

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
           && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool checkAddress(const QString &address, QString *error)
{
    // A ticker stands in for the symbol, so the placeholder's brackets are
    // not taken for an IPv6 host.
    QString sample = address;
    if (!isWebAddress(QUrl(sample.replace(kSymbol, QStringLiteral("MSFT")), QUrl::StrictMode)))
        return fail(error, QStringLiteral("%1 is not an http or https address").arg(quoted(address)));
    return true;
}

bool isEntry(const QString &control)
{
    return LinkCatalogue::findChartPeriod(control) || LinkCatalogue::findResearchLink(control);
}

QString groupControl(const QString &caption)
{
    const auto find = [&caption](const auto &groups) {
        for (const MenuGroup &g : groups) {
            if (caption == QLatin1String(g.caption))
                return latin(g.control);
        }
        return QString();
    };
    const QString chart = find(kChartMenus);
    return chart.isEmpty() ? find(kResearchGroups) : chart;
}

// One "key=value" line of the section named section ("Add" or an entry).
bool readSetting(const QString &section, const QString &key, const QString &value, LinkOverrides *out, QString *error)
{
    if (section == QLatin1String("Add")) {
        const qsizetype slash = key.indexOf(u'/');
        const QString group = key.left(slash).trimmed();
        const QString caption = key.mid(slash + 1).trimmed();
        const QString menu = groupControl(group);
        if (slash < 0 || caption.isEmpty())
            return fail(error, QStringLiteral("an added page needs \"group/caption=address\""));
        if (menu.isEmpty())
            return fail(error, QStringLiteral("there is no group %1").arg(quoted(group)));
        if (!checkAddress(value, error))
            return false;
        out->added.append({menu, caption, value});
        return true;
    }
    if (key.compare(QLatin1String("Url"), Qt::CaseInsensitive) == 0) {
        if (!checkAddress(value, error))
            return false;
        out->addresses.insert(section, value);
        return true;
    }
    if (key.compare(QLatin1String("Hidden"), Qt::CaseInsensitive) == 0) {
        const bool on = value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        if (!on && value.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0)
            return fail(error, QStringLiteral("Hidden is either true or false"));
        if (on)
            out->hidden.insert(section);
        else
            out->hidden.remove(section);
        return true;
    }
    return fail(error, QStringLiteral("%1 is neither Url nor Hidden").arg(quoted(key)));
}

} // namespace

namespace LinkCatalogue {

bool parseOverrides(QStringView text, LinkOverrides *overrides, int *line, QString *error)
{
    LinkOverrides read;
    QString section;
    int number = 0;
    if (text.startsWith(QChar(0xFEFF))) // as some editors begin a UTF-8 file
        text = text.mid(1);
    for (QStringView raw : text.split(u'\n')) {
        ++number;
        const QString l = raw.trimmed().toString();
        if (l.isEmpty() || l.startsWith(u';') || l.startsWith(u'#'))
            continue;
        QString why;
        if (l.startsWith(u'[') && l.endsWith(u']')) {
            section = l.mid(1, l.size() - 2).trimmed();
            if (section != QLatin1String("Add") && !isEntry(section))
                why = QStringLiteral("there is no entry %1").arg(quoted(section));
        } else if (!l.contains(u'=')) {
            why = QStringLiteral("a line is either a [section] or key=value");
        } else if (section.isEmpty()) {
            why = QStringLiteral("key=value before the first [section]");
        } else {
            const qsizetype eq = l.indexOf(u'=');
            readSetting(section, l.left(eq).trimmed(), l.mid(eq + 1).trimmed(), &read, &why);
        }
        if (!why.isEmpty()) {
            *overrides = LinkOverrides();
            *line = number;
            return fail(error, why);
        }
    }
    *overrides = read;
    return true;
}

QUrl overrideUrl(const QString &address, const QString &symbol)
{
    // As in the catalogue's own pages, the symbol goes in as it stands except
    // for what an address cannot carry.
    QString escaped = symbol;
    escaped.replace(u'%', QStringLiteral("%25"))
        .replace(u'#', QStringLiteral("%23"))
        .replace(u' ', QStringLiteral("%20"));
    QString text = address;
    const QUrl url(text.replace(kSymbol, escaped), QUrl::TolerantMode);
    return isWebAddress(url) ? url : QUrl();
}

QString overridesPath()
{
    return QFileInfo(userSettings().fileName()).dir().filePath(QStringLiteral("links.ini"));
}

} // namespace LinkCatalogue
