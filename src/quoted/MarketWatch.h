#pragma once

#include "base/FileStamp.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>

// The listed symbols of a few market files, read with the program's own
// market reader and read again when a file changes (once it has been left
// alone for a moment; the program replaces its files by rename, which the
// folder's watch sees).
class MarketWatch : public QObject
{
    Q_OBJECT

public:
    explicit MarketWatch(QObject *parent = nullptr);

    // Reads every file now. A file that cannot be read counts as listing
    // nothing until it can; problems() says why.
    void setFiles(const QStringList &paths);
    void setQuietTime(std::chrono::milliseconds quiet) { m_quiet.setInterval(quiet); }

    // Every listed symbol of every file, in file order, each once.
    const QList<QByteArray> &symbols() const { return m_symbols; }

signals:
    void symbolsChanged(const QList<QByteArray> &symbols);
    void problem(const QString &why);

private:
    void readAll();
    void watch();

    QStringList m_paths;
    QList<FileStamp> m_stamps;
    QList<QByteArray> m_symbols;
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
};
