#include "screen/ScreenNotice.h"

#include "base/ErrorReturn.h"
#include "market/SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace ScreenNotice {

QStringList entered(const QStringList &before, const QStringList &now)
{
    QSet<QString> seen(before.cbegin(), before.cend());
    QStringList out;
    for (const QString &symbol : now) {
        if (!seen.contains(symbol)) {
            seen.insert(symbol);
            out.append(symbol);
        }
    }
    return out;
}

QString title(const QString &screen)
{
    return QStringLiteral("Tarnvale: ") + screen;
}

QString body(const QStringList &entered)
{
    const qsizetype count = entered.size();
    QString text = count == 1 ? QStringLiteral("1 stock entered: ") : QStringLiteral("%1 stocks entered: ").arg(count);
    text += entered.first(qMin(count, NamedSymbols)).join(QStringLiteral(", "));
    if (count > NamedSymbols)
        text += QStringLiteral(" and %1 more").arg(count - NamedSymbols);
    return text;
}

std::optional<Kept> readKept(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return Kept{};
    QJsonParseError parse{};
    const QJsonDocument doc =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &parse) : QJsonDocument();
    if (!doc.isObject()) {
        fail(error, QStringLiteral("The file \"%1\" cannot be read: %2")
                        .arg(path, file.error() != QFileDevice::NoError ? file.errorString() : parse.errorString()));
        return std::nullopt;
    }
    Kept kept;
    const QJsonObject screens = doc.object();
    for (auto it = screens.begin(); it != screens.end(); ++it) {
        QStringList symbols;
        for (const QJsonValue &symbol : it.value().toArray())
            symbols.append(symbol.toString());
        kept.insert(it.key(), symbols);
    }
    return kept;
}

bool writeKept(const QString &path, const Kept &kept, QString *error)
{
    QJsonObject screens;
    for (auto it = kept.begin(); it != kept.end(); ++it)
        screens.insert(it.key(), QJsonArray::fromStringList(it.value()));
    return SafeFile::writeAtomically(path, QJsonDocument(screens).toJson(), error);
}

QString update(Kept &kept, const QString &screen, const QStringList &now)
{
    QStringList before;
    for (auto it = kept.begin(); it != kept.end();) {
        if (it.key().compare(screen, Qt::CaseInsensitive) == 0) {
            before += it.value();
            it = kept.erase(it);
        } else {
            ++it;
        }
    }
    kept.insert(screen, now);
    const QStringList news = entered(before, now);
    return news.isEmpty() ? QString() : body(news);
}

} // namespace ScreenNotice
