#include "market/MarketStore.h"

#include "base/ErrorReturn.h"
#include "base/Text.h"
#include "market/SafeFile.h"
#include "market/SymbolList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

bool readMarketFile(const QString &path, MarketDatabase *db, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return fail(error, QStringLiteral("The file does not exist."));
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(error, file.errorString());
    QString why;
    if (!MarketFormat::decodeInto(bytes, *db, &why))
        return fail(error, QStringLiteral("The file is damaged: %1").arg(why));
    return true;
}

bool writeMarketFile(const QString &path, const MarketDatabase &db, QString *error)
{
    return SafeFile::writeAtomically(path, MarketFormat::encode(db), error);
}

bool copySeedFile(const QString &seedPath, const QString &path, QString *error)
{
    QFile seed(seedPath);
    if (!seed.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("The installed market \"%1\" cannot be read: %2")
                               .arg(QDir::toNativeSeparators(seedPath), seed.errorString()));
    const QByteArray bytes = seed.readAll();
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(
            error,
            QStringLiteral("The folder \"%1\" cannot be created.").arg(QDir::toNativeSeparators(info.absolutePath())));
    // Named like a save's temporary copy, so that an interrupted copy is
    // cleared away like one.
    QTemporaryFile copy(path + QStringLiteral(".XXXXXX"));
    copy.setAutoRemove(false);
    if (!copy.open())
        return fail(error, copy.errorString());
    if (copy.write(bytes) != bytes.size() || !copy.flush()) {
        const QString why = copy.errorString();
        copy.remove();
        return fail(error, why);
    }
    // QTemporaryFile::rename never replaces an existing file; when one is there
    // now, another copy of the program got there first with the same seed.
    if (!copy.rename(path)) {
        copy.remove();
        return QFileInfo::exists(path) || fail(error, copy.errorString());
    }
    SafeFile::syncDirectory(info.absolutePath());
    return true;
}

int removeStaleSaveCopies(const QString &directory)
{
    const QDir dir(directory);
    return SafeFile::removeStaleCopies(dir.filePath(QString::fromLatin1(kNasdaq.fileName)))
           + SafeFile::removeStaleCopies(dir.filePath(QString::fromLatin1(kNyse.fileName)));
}

MarketStore::MarketStore(QString directory, QString seedDirectory)
    : m_directory(std::move(directory))
    , m_seedDirectory(std::move(seedDirectory))
{}

void MarketStore::selectMarket(const MarketInfo &market)
{
    MarketFileName = QString::fromLatin1(market.fileName);
    MarketName = QString::fromLatin1(market.displayName);
}

QString MarketStore::filePath() const
{
    return QDir(m_directory).filePath(MarketFileName);
}

bool MarketStore::LoadDatabase(QString *error)
{
    // No folder would mean the working directory, which is never the place.
    if (m_directory.isEmpty()) {
        m_open = false;
        m_db = MarketDatabase();
        return fail(error, QStringLiteral("There is no folder for the market files."));
    }
    if (!MarketFileName.isEmpty()) {
        removeStaleSaveCopies(m_directory);
        const QString seed = QDir(m_seedDirectory).filePath(MarketFileName);
        if (!m_seedDirectory.isEmpty() && !QFileInfo::exists(filePath()) && QFileInfo::exists(seed)
            && !copySeedFile(seed, filePath(), error)) {
            m_db = MarketDatabase();
            m_open = false;
            return false;
        }
    }
    // Stamped before reading: a save landing during the read shows as a change.
    m_stamp = FileStamp::of(filePath());
    if (MarketFileName.isEmpty() || !readMarketFile(filePath(), &m_db, error)) {
        if (MarketFileName.isEmpty())
            fail(error, QStringLiteral("No market is chosen."));
        m_db = MarketDatabase();
        m_open = false;
        return false;
    }
    m_open = true;
    return true;
}

bool MarketStore::write(QString *error)
{
    if (!writeMarketFile(filePath(), m_db, error))
        return false;
    m_stamp = FileStamp::of(filePath());
    return true;
}

bool MarketStore::SaveDatabase(QString *error)
{
    if (!m_open)
        return fail(error, QStringLiteral("No market is open."));
    if (FileStamp::of(filePath()) != m_stamp)
        return fail(error, QStringLiteral("Another copy of the program has saved it since it was opened."));
    return write(error);
}

bool MarketStore::saveChange(const Change &change, QString *error)
{
    if (!m_open)
        return fail(error, QStringLiteral("No market is open."));
    const MarketDatabase before = m_db;
    if (FileStamp::of(filePath()) != m_stamp) {
        const FileStamp stamp = FileStamp::of(filePath());
        MarketDatabase current;
        QString why;
        if (!readMarketFile(filePath(), &current, &why))
            return fail(error, QStringLiteral("It changed since it was opened and cannot be read again: %1").arg(why));
        m_db = std::move(current);
        m_stamp = stamp;
    }
    change(m_db);
    if (write(error))
        return true;
    m_db = before;
    return false;
}

QString MarketStore::saveFailureMessage(const QString &error) const
{
    return QStringLiteral("The market file \"%1\" could not be saved. %2")
        .arg(QDir::toNativeSeparators(filePath()), error);
}

MarketStore::SymbolChange MarketStore::addSymbol(const QString &typed)
{
    if (!m_open)
        return {};
    if (findSymbol(m_db, typed) >= 0)
        return {false, quoted(typed) + QStringLiteral(" is already listed!")};
    // Listed by another copy meanwhile: the file keeps the one record.
    QString error;
    if (!saveChange(
            [&typed](MarketDatabase &db) {
                if (findSymbol(db, typed) < 0)
                    ::addSymbol(db, typed);
            },
            &error))
        return {false, saveFailureMessage(error)};
    return {true, quoted(typed) + QStringLiteral(" has been added!")};
}

MarketStore::SymbolChange MarketStore::removeSymbol(const QString &symbol)
{
    const QString shown = quoted(symbol.toUpper());
    if (!m_open)
        return {false, shown + QStringLiteral(" is not listed!")};
    if (findSymbol(m_db, symbol) < 0)
        return {false, shown + QStringLiteral(" is not listed!")};
    QString error;
    if (!saveChange([&symbol](MarketDatabase &db) { ::removeSymbol(db, symbol); }, &error))
        return {false, saveFailureMessage(error)};
    return {true, shown + QStringLiteral(" has been removed!")};
}
