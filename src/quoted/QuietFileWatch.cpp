#include "quoted/QuietFileWatch.h"

#include <QFileInfo>

QuietFileWatch::QuietFileWatch(QObject *parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(std::chrono::milliseconds(1000));
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        watch();
        const QList<FileStamp> now = stamps();
        if (now != m_settled) { // still being written, even if nothing was signalled
            m_settled = now;
            m_quiet.start();
            return;
        }
        if (now == m_seen)
            return; // another file in the folder, or a touch that changed nothing
        m_seen = now;
        emit changed();
    });
    const auto touched = [this] {
        if (!m_quiet.isActive())
            m_settled = stamps();
        m_quiet.start();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, touched);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, touched);
}

void QuietFileWatch::setFiles(const QStringList &paths)
{
    m_paths.clear();
    for (const QString &path : paths)
        m_paths.append(QFileInfo(path).absoluteFilePath());
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_seen = stamps();
    m_settled = m_seen;
    watch();
}

QList<FileStamp> QuietFileWatch::stamps() const
{
    QList<FileStamp> out;
    for (const QString &path : m_paths)
        out.append(FileStamp::of(path));
    return out;
}

void QuietFileWatch::watch()
{
    // A watch on a file replaced by rename stays with the old file; the
    // folder's watch sees the rename, and the file is watched afresh.
    for (const QString &path : std::as_const(m_paths)) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!m_watcher.directories().contains(folder) && QFileInfo(folder).isDir())
            m_watcher.addPath(folder);
        if (m_watcher.files().contains(path))
            m_watcher.removePath(path);
        if (QFileInfo::exists(path))
            m_watcher.addPath(path);
    }
}
