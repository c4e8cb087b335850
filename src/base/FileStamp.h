#pragma once

#include <QDateTime>
#include <QFileInfo>
#include <QString>

// A file's size and time of change: equal stamps taken a quiet while apart
// tell a file left alone from one still being written, and a touch of its
// folder from a change of the file. A missing file has the empty stamp.
struct FileStamp
{
    qint64 size = -1;
    QDateTime modified;

    static FileStamp of(const QString &path)
    {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        return {info.size(), info.lastModified()};
    }

    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};
