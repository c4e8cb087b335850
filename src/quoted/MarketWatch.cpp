#include "quoted/MarketWatch.h"

#include "market/MarketStore.h"

#include <QFileInfo>
#include <QSet>

MarketWatch::MarketWatch(QObject *parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(std::chrono::milliseconds(1000));
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        watch();
        QList<FileStamp> now;
        for (const QString &path : std::as_const(m_paths))
            now.append(FileStamp::of(path));
        if (now != m_stamps)
            readAll();
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_quiet.start(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_quiet.start(); });
}

void MarketWatch::setFiles(const QStringList &paths)
{
    m_paths.clear();
    for (const QString &path : paths)
        m_paths.append(QFileInfo(path).absoluteFilePath());
    readAll();
    watch();
}

void MarketWatch::readAll()
{
    m_stamps.clear();
    QList<QByteArray> symbols;
    QSet<QByteArray> seen;
    for (const QString &path : std::as_const(m_paths)) {
        m_stamps.append(FileStamp::of(path));
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

void MarketWatch::watch()
{
    for (const QString &path : std::as_const(m_paths)) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!m_watcher.directories().contains(folder))
            m_watcher.addPath(folder);
        if (m_watcher.files().contains(path))
            m_watcher.removePath(path);
        if (QFileInfo::exists(path))
            m_watcher.addPath(path);
    }
}
