#include "market/MarketStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool markedReadOnly(const QFileInfo &info)
{
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
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
    const QFileInfo info(path);
    if (markedReadOnly(info))
        return setError(error, QStringLiteral("The file is read-only."));
    if (markedReadOnly(QFileInfo(info.absolutePath())))
        return setError(error, QStringLiteral("The folder is read-only."));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return setError(error, file.errorString());
    const QByteArray bytes = MarketFormat::encode(db);
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return setError(error, why);
    }
    if (!file.commit())
        return setError(error, file.errorString());
    // The rename is only durable once the folder's entry is on disk. A failed
    // flush leaves the new file in place all the same, so it is no failure.
    syncDirectory(info.absolutePath());
    return true;
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
    syncDirectory(info.absolutePath());
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

bool syncDirectory(const QString &directory)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#else
    // Elsewhere the rename itself is made durable by the system.
    return QFileInfo(directory).isDir();
#endif
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
