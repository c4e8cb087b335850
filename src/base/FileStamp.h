#pragma once

#include <QFile>
#include <QString>

#include <qplatformdefs.h>

// A file's size, times of change (contents and status, to the nanosecond)
// and inode: equal stamps taken a quiet while apart tell a file left alone
// from one still being written, a touch of its folder from a change of the
// file, and a same-size rewrite within one millisecond, or a new file renamed
// over the old, from no change at all. A missing file has the empty stamp.
struct FileStamp
{
    qint64 size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 inode = 0;

    static FileStamp of(const QString &path)
    {
        QT_STATBUF st;
        if (QT_STAT(QFile::encodeName(path).constData(), &st) != 0)
            return {};
#ifdef Q_OS_UNIX
        const auto ns = [](const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
        return {qint64(st.st_size), ns(st.st_mtim), ns(st.st_ctim), quint64(st.st_ino)};
#else
        return {qint64(st.st_size), qint64(st.st_mtime) * 1000000000, qint64(st.st_ctime) * 1000000000, 0};
#endif
    }

    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};
