#pragma once

#include <QSet>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

// Imports stooq's bulk daily history ("U.S. Daily ASCII") into a history
// store: the zip as downloaded, a folder unpacked from it, or one of its .txt
// files. Every .txt file holds the header
//   <TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>
// then rows such as "AAPL.US,D,20240607,000000,...", dates as YYYYMMDD.
//
// Each file is stored in one transaction of its own, so whatever stops the
// import (a cancel, a cut archive, a file that is not such a table) leaves
// every file before it imported and nothing of the file it was on.
//
// run() does all the work on the calling thread and opens the store there, so
// it belongs on a worker thread when a window waits for it; cancel() may be
// called from any thread.
class HistoryImport
{
public:
    struct Progress
    {
        int filesDone = 0;
        int filesTotal = 0; // 0 while unknown (a cut archive has no directory)
        qint64 rows = 0;    // rows stored so far
    };

    struct Result
    {
        bool ok = false;
        bool cancelled = false;
        int files = 0;       // files stored
        int symbols = 0;     // symbols that got bars
        qint64 rows = 0;     // bars stored
        int skipped = 0;     // symbols left out: not in the markets
        QString failedEntry; // the file that could not be read, as named in the archive or folder
        QString error;       // why the import stopped; empty when ok or cancelled
    };

    // source: a .zip, a folder or a .txt file; storePath: the history store,
    // created when nothing is there.
    HistoryImport(QString source, QString storePath);

    // Only these symbols (as the market files spell them) are imported;
    // without a call, every symbol the files hold.
    void setWanted(const QSet<QString> &symbols);
    // Called after each file, on the thread that runs the import.
    void setProgressHandler(std::function<void(const Progress &)> handler);

    Result run();
    // The import stops before storing the next file.
    void cancel() { m_cancel.store(true, std::memory_order_relaxed); }

    // The symbols of the program's market files in dataFolder, or of the seed
    // in seedFolder for a market the program has not made yet. A market
    // without either counts as empty; an unreadable file is an error.
    static std::optional<QSet<QString>> marketSymbols(const QString &dataFolder, const QString &seedFolder,
                                                      QString *error = nullptr);

private:
    QString m_source;
    QString m_storePath;
    std::optional<QSet<QString>> m_wanted;
    std::function<void(const Progress &)> m_progress;
    std::atomic<bool> m_cancel{false};
};
