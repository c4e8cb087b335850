#include "market/SafeFile.h"

#include "base/ErrorReturn.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool markedReadOnly(const QFileInfo &info)
{
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

} // namespace

namespace SafeFile {

bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error, QFileDevice::Permissions permissions)
{
    const QFileInfo info(path);
    if (info.isDir())
        return fail(error, QStringLiteral("It is a folder."));
    if (markedReadOnly(info))
        return fail(error, QStringLiteral("The file is read-only."));
    if (markedReadOnly(QFileInfo(info.absolutePath())))
        return fail(error, QStringLiteral("The folder is read-only."));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    if (permissions && !file.setPermissions(permissions)) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(error, why);
    }
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(error, why);
    }
    if (!file.commit())
        return fail(error, file.errorString());
    // The rename is only durable once the folder's entry is on disk. A failed
    // flush leaves the new file in place all the same, so it is no failure.
    syncDirectory(info.absolutePath());
    return true;
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

int removeStaleCopies(const QString &path)
{
    const QFileInfo target(path);
    // QSaveFile's temporary name: the target's name, ".", six ASCII letters.
    const QRegularExpression pattern(
        QStringLiteral("^%1\\.[A-Za-z]{6}$").arg(QRegularExpression::escape(target.fileName())));
    constexpr qint64 kStaleAfterSeconds = 60;
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-kStaleAfterSeconds);
    int removed = 0;
    const QFileInfoList candidates =
        QDir(target.absolutePath()).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : candidates) {
        if (info.isSymLink() || !info.isFile() || !pattern.match(info.fileName()).hasMatch())
            continue;
        if (info.lastModified().toUTC() > staleBefore)
            continue;
        if (QFile::remove(info.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace SafeFile
