#include "market/MarketStore.h"

#include "market/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>


namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool readMarketFile(const QString &path, MarketDatabase *db, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return setError(error, QStringLiteral("The file does not exist."));
    if (!file.open(QIODevice::ReadOnly))
        return setError(error, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return setError(error, file.errorString());
    QString why;
    if (!MarketFormat::decodeInto(bytes, *db, &why))
        return setError(error, QStringLiteral("The file is damaged: %1").arg(why));
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
        return setError(error, QStringLiteral("The installed market \"%1\" cannot be read: %2")
                                   .arg(QDir::toNativeSeparators(seedPath), seed.errorString()));
    const QByteArray bytes = seed.readAll();
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return setError(error, QStringLiteral("The folder \"%1\" cannot be created.")
                                   .arg(QDir::toNativeSeparators(info.absolutePath())));
    // Named like a save's temporary copy, so that an interrupted copy is
    // cleared away like one.
    QTemporaryFile copy(path + QStringLiteral(".XXXXXX"));
    copy.setAutoRemove(false);
    if (!copy.open())
        return setError(error, copy.errorString());
    if (copy.write(bytes) != bytes.size() || !copy.flush()) {
        const QString why = copy.errorString();
        copy.remove();
        return setError(error, why);
    }
    // QTemporaryFile::rename never replaces an existing file; when one is there
    // now, another copy of the program got there first with the same seed.
    if (!copy.rename(path)) {
        copy.remove();
        return QFileInfo::exists(path) || setError(error, copy.errorString());
    }
    SafeFile::syncDirectory(info.absolutePath());
    return true;
}

int removeStaleSaveCopies(const QString &directory)
{
    // QSaveFile's temporary name: the target's name, ".", six ASCII letters.
    static const QRegularExpression pattern(
        QStringLiteral("^(%1|%2)\\.[A-Za-z]{6}$")
            .arg(QRegularExpression::escape(QString::fromLatin1(kNasdaq.fileName)),
                 QRegularExpression::escape(QString::fromLatin1(kNyse.fileName))));
    constexpr qint64 kStaleAfterSeconds = 60;
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-kStaleAfterSeconds);
    const QDir dir(directory);
    int removed = 0;
    const QFileInfoList candidates = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : candidates) {
        if (info.isSymLink() || !pattern.match(info.fileName()).hasMatch())
            continue;
        if (info.lastModified().toUTC() > staleBefore)
            continue;
        if (QFile::remove(info.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

MarketStore::MarketStore(QString directory, QString seedDirectory)
    : m_directory(std::move(directory)), m_seedDirectory(std::move(seedDirectory))
{
}

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
        return setError(error, QStringLiteral("There is no folder for the market files."));
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
    if (MarketFileName.isEmpty() || !readMarketFile(filePath(), &m_db, error)) {
        if (MarketFileName.isEmpty())
            setError(error, QStringLiteral("No market is chosen."));
        m_db = MarketDatabase();
        m_open = false;
        return false;
    }
    m_open = true;
    return true;
}

bool MarketStore::SaveDatabase(QString *error) const
{
    if (!m_open)
        return setError(error, QStringLiteral("No market is open."));
    return writeMarketFile(filePath(), m_db, error);
}
