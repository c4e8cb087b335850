#pragma once

#include "base/FileStamp.h"
#include "market/MarketDatabase.h"

#include <QString>
#include <QStringList>

#include <functional>

// The markets the program knows: menu caption, file name, display name.
struct MarketInfo
{
    const char *menuCaption;
    const char *fileName;
    const char *displayName;
};
inline constexpr MarketInfo kNasdaq{"NASDAQ", "nasdaq.bin", "Nasdaq"};
inline constexpr MarketInfo kNyse{"NYSE", "nyse.bin", "NYSE"};

// The file names of both markets.
inline QStringList marketFileNames()
{
    return {QString::fromLatin1(kNasdaq.fileName), QString::fromLatin1(kNyse.fileName)};
}

// Owns the one open MarketDatabase and the names of its market. A database
// counts as open only after a complete load; a failed load leaves it empty and
// closed, so no later save can write one market's records into another's file.
//
// Another copy of the program (the window, or a run from a timer) may save the
// same market meanwhile. The store remembers the file's stamp from its load or
// its own last save, and a change saved after someone else's is applied to the
// file as that one left it: neither side's quotes nor symbols are lost.
class MarketStore
{
public:
    // One change to the records, applied to the open database and, when the
    // file was saved by someone else since, again to the file's new content.
    // It must give the same result applied twice.
    using Change = std::function<void(MarketDatabase &)>;

    // seedDirectory, when given, holds the installed market files: a market
    // whose file is missing from directory starts as a copy of its seed.
    explicit MarketStore(QString directory, QString seedDirectory = QString());

    // Names the market whose file the next load reads.
    void selectMarket(const MarketInfo &market);

    // Also clears away the leftovers of saves that were interrupted, and
    // first creates a missing market file from its seed.
    bool LoadDatabase(QString *error = nullptr);
    // Writes the whole database to a new file and swaps it in atomically; on
    // failure the old file stays as it was. Refuses when someone else saved
    // the file since it was read: writing this copy would undo their save.
    bool SaveDatabase(QString *error = nullptr);
    // Applies change and saves. When the file changed since it was read, the
    // database is read again first and the change applied to that. On failure
    // the database is as before the call and the file as it was.
    bool saveChange(const Change &change, QString *error = nullptr);

    // Adding and removing a symbol save the market at once. A change that
    // cannot be saved is undone in memory, so the list stays equal to the
    // file. Nothing changes while no market is open.
    struct SymbolChange
    {
        bool changed = false; // listed or dropped, and saved
        QString message;      // what to tell the user; empty when there is nothing to say
    };
    // Lists the symbol exactly as typed, unless it is listed already.
    SymbolChange addSymbol(const QString &typed);
    // Drops every listed record of the symbol.
    SymbolChange removeSymbol(const QString &symbol);
    // The message of a save that failed with error.
    QString saveFailureMessage(const QString &error) const;

    MarketDatabase &database() { return m_db; }
    const MarketDatabase &database() const { return m_db; }
    bool isOpen() const { return m_open; }
    QString filePath() const;
    QString directory() const { return m_directory; }
    QString seedDirectory() const { return m_seedDirectory; }

    QString MarketFileName; // "nasdaq.bin" / "nyse.bin"; empty until a market is chosen
    QString MarketName;     // "Nasdaq" / "NYSE"

private:
    QString m_directory;
    QString m_seedDirectory;
    bool write(QString *error);

    MarketDatabase m_db;
    FileStamp m_stamp; // of the file as last read or written by this store
    bool m_open = false;
};

// Reads and writes one market file. writeMarketFile honours a read-only mark
// on the file or its folder even for a user whom the system would let write.
bool readMarketFile(const QString &path, MarketDatabase *db, QString *error = nullptr);
bool writeMarketFile(const QString &path, const MarketDatabase &db, QString *error = nullptr);

// Creates the market file at path as a copy of seedPath, making its folder if
// need be. The copy is written under a temporary name and moved into place
// only where no file exists: an existing market file is never replaced, and
// an interrupted copy never leaves a partial one. True when path exists after.
bool copySeedFile(const QString &seedPath, const QString &path, QString *error = nullptr);

// A save writes the new content under "<market file>.XXXXXX" (six letters)
// and renames it over the market file; a program killed in between leaves
// that copy behind. Removes such copies of the program's own market files
// from directory once they are a minute old (a younger one may be another
// instance's save in progress). Every other file is left alone. Returns how
// many were removed.
int removeStaleSaveCopies(const QString &directory);
