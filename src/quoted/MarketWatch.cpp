#include "quoted/MarketWatch.h"

#include "market/MarketStore.h"

#include <QFileInfo>
#include <QSet>

MarketWatch::MarketWatch(QObject *parent)
    : QObject(parent)
{
    connect(&m_watch, &QuietFileWatch::changed, this, &MarketWatch::readAll);
}

void MarketWatch::setFiles(const QStringList &paths)
{
    m_watch.setFiles(paths);
    readAll();
}

void MarketWatch::readAll()
{
    QList<QByteArray> symbols;
    QSet<QByteArray> seen;
    for (const QString &path : m_watch.files()) {
        MarketDatabase db;
        QString why;
        if (!readMarketFile(path, &db, &why)) {
            emit problem(QStringLiteral("%1: %2").arg(path, why));
            continue;
        }
        for (qsizetype i = 0; i < db.listedCount(); ++i) {
            const QByteArray symbol = db.Stocks[i].Symbol.trimmed().toLatin1();
            if (!symbol.isEmpty() && !seen.contains(symbol.toUpper())) {
                seen.insert(symbol.toUpper());
                symbols.append(symbol);
            }
        }
    }
    if (symbols == m_symbols)
        return;
    m_symbols = symbols;
    emit symbolsChanged(m_symbols);
}
