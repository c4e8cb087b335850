#pragma once

#include "base/FileStamp.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>

// Watches a few files and tells of a change once it has settled: every
// change of a file, or of its folder (a file replaced by rename, as the
// program and editors save), restarts a quiet time, and when that runs out
// the files' stamps are compared with the ones last seen. A file still being
// written when the quiet time ends is looked at again after another one.
class QuietFileWatch : public QObject
{
    Q_OBJECT

public:
    explicit QuietFileWatch(QObject *parent = nullptr);

    // Watches these files (missing ones too, through their folders) from
    // their stamps now.
    void setFiles(const QStringList &paths);
    const QStringList &files() const { return m_paths; }
    void setQuietTime(std::chrono::milliseconds quiet) { m_quiet.setInterval(quiet); }

signals:
    // Some file differs from when it was last seen; its new stamp is taken.
    void changed();

private:
    void watch();
    QList<FileStamp> stamps() const;

    QStringList m_paths;
    QList<FileStamp> m_seen;    // as last told
    QList<FileStamp> m_settled; // as seen when the quiet time began
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
};
