#pragma once

#include "quoted/QuietFileWatch.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

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
    void setQuietTime(std::chrono::milliseconds quiet) { m_watch.setQuietTime(quiet); }

    // Every listed symbol of every file, in file order, each once.
    const QList<QByteArray> &symbols() const { return m_symbols; }

signals:
    void symbolsChanged(const QList<QByteArray> &symbols);
    void problem(const QString &why);

private:
    void readAll();

    QList<QByteArray> m_symbols;
    QuietFileWatch m_watch;
};
