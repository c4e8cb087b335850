#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// The desktop notice of a screen run with --notify: which stocks entered the
// screen since its last notice, and what the notice says.
namespace ScreenNotice {

// How many symbols a notice names; the rest are counted.
inline constexpr qsizetype NamedSymbols = 10;

// The symbols in now that were not in before, in the order of now, each once.
QStringList entered(const QStringList &before, const QStringList &now);

// "Tarnvale: <screen>".
QString title(const QString &screen);
// "1 stock entered: AAA", "3 stocks entered: AAA, BBB, CCC", and past ten
// symbols "12 stocks entered: AAA, ..., JJJ and 2 more".
QString body(const QStringList &entered);

// The matches each screen had at its last notice, kept in the data folder as
// a JSON object from the screen's name to its symbols.
inline constexpr char FileName[] = "notified-screens.json";
using Kept = QHash<QString, QStringList>;

// A missing file holds nothing yet; a damaged one gives nullopt and why, and
// is never written over.
std::optional<Kept> readKept(const QString &path, QString *error = nullptr);
// Replaces the file atomically.
bool writeKept(const QString &path, const Kept &kept, QString *error = nullptr);

// Keeps now as the screen's matches (under its name as saved now, since names
// match ignoring case) and returns the notice's body, or nothing when no
// stock entered.
QString update(Kept &kept, const QString &screen, const QStringList &now);

} // namespace ScreenNotice
