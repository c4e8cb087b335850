#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QUrl>

// The user's own changes to the link catalogue, kept in links.ini beside the
// settings file. The catalogue itself stays the default:
//
//   [mnuBC_YTD]                       an entry, by its object name
//   Url=https://example.com/c/[SYMBOL]
//   Hidden=true
//   [Add]                             new pages at the end of a group
//   Yahoo!/Interactive=https://example.com/i/[SYMBOL]
//
// Lines starting with ";" or "#" are comments. Only http and https addresses
// are taken; "[SYMBOL]" marks where the picked symbol goes.
struct LinkOverrides
{
    struct Added
    {
        QString menu; // objectName of the group submenu
        QString caption;
        QString address;
    };

    QHash<QString, QString> addresses; // by the entry's object name
    QSet<QString> hidden;
    QList<Added> added;

    bool isEmpty() const { return addresses.isEmpty() && hidden.isEmpty() && added.isEmpty(); }
};

namespace LinkCatalogue {

// Reads the text of a links.ini. On the first fault it stops and returns
// false with the fault's line, counted from 1, and why; *overrides is then
// left empty, so the catalogue stays as it is.
bool parseOverrides(QStringView text, LinkOverrides *overrides, int *line, QString *error);

// The address with the symbol in every "[SYMBOL]"; an empty URL when the
// result is not an http or https address.
QUrl overrideUrl(const QString &address, const QString &symbol);

// links.ini in the folder of the per-user settings file.
QString overridesPath();

} // namespace LinkCatalogue
