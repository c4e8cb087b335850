#include "quoted/CloseHistory.h"

#include "market/SafeFile.h"
#include "quoted/TradingCalendar.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

bool CloseHistory::record(const QByteArray &key, QDate date, double close)
{
    if (!date.isValid() || !std::isfinite(close))
        return false;
    QMap<QDate, double> &closes = m_closes[key];
    const auto it = closes.constFind(date);
    if (it != closes.cend() && *it == close)
        return false;
    closes.insert(date, close);
    while (closes.size() > KeptDates)
        closes.erase(closes.begin());
    return true;
}

std::optional<double> CloseHistory::previousClose(const QByteArray &key, QDate date) const
{
    const auto closes = m_closes.constFind(key);
    if (closes == m_closes.cend())
        return std::nullopt;
    const auto it = closes->constFind(TradingCalendar::previousTradingDay(date));
    if (it == closes->cend())
        return std::nullopt;
    return *it;
}

QByteArray CloseHistory::toText() const
{
    QByteArray out = "# tarnvale-quoted: the last close of each symbol for each trading date\n"
                     "symbol,date,close\n";
    QList<QByteArray> keys = m_closes.keys();
    std::sort(keys.begin(), keys.end());
    for (const QByteArray &key : keys) {
        const QMap<QDate, double> &closes = m_closes[key];
        for (auto it = closes.cbegin(); it != closes.cend(); ++it)
            out +=
                key + ',' + it.key().toString(Qt::ISODate).toLatin1() + ',' + QByteArray::number(*it, 'g', 15) + '\n';
    }
    return out;
}

CloseHistory CloseHistory::fromText(QByteArrayView text)
{
    CloseHistory history;
    for (const QByteArray &raw : text.toByteArray().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> f = line.split(',');
        if (f.size() != 3)
            continue;
        const QDate date = QDate::fromString(QString::fromLatin1(f[1]), Qt::ISODate);
        bool ok = false;
        const double close = f[2].toDouble(&ok);
        if (f[0].isEmpty() || !date.isValid() || !ok)
            continue; // the column names, or a damaged row
        history.record(f[0].toUpper(), date, close);
    }
    return history;
}

std::optional<CloseHistory> CloseHistory::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return CloseHistory{};
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray text = file.readAll();
    // Whatever else the path names (a market file given by mistake, say) is
    // never taken for an empty history and written over.
    const QByteArray start = text.trimmed().left(64).toLower();
    if (!start.isEmpty() && !start.startsWith("# tarnvale-quoted") && !start.startsWith("symbol,date,close")) {
        if (error)
            *error = QStringLiteral("not a closes file (it does not begin with \"symbol,date,close\")");
        return std::nullopt;
    }
    return fromText(text);
}

bool CloseHistory::save(const QString &path, QString *error) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return SafeFile::writeAtomically(path, toText(), error);
}
