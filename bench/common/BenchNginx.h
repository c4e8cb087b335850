#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

// Debian's nginx on a loopback port of its own, the static-file server the
// service's answers are measured against.

inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// The workers of an nginx started as root run as an unprivileged user; they
// must be able to read the files.
inline void openToAll(const QString &path, bool folder)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                    | QFileDevice::ReadOther
                                    | (folder ? QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther
                                              : QFileDevice::Permissions()));
}

// One worker, no access log, everything under prefix; serves root's files
// as text/csv on 127.0.0.1:port, with location added to its server block.
inline QString nginxConfig(const QString &prefix, quint16 port, const QString &root, const char *location)
{
    return QStringLiteral("worker_processes 1;\n"
                          "pid %1/nginx.pid;\n"
                          "error_log %1/error.log;\n"
                          "events { worker_connections 1024; }\n"
                          "http {\n"
                          "  access_log off;\n"
                          "  client_body_temp_path %1/temp/body;\n"
                          "  proxy_temp_path %1/temp/proxy;\n"
                          "  fastcgi_temp_path %1/temp/fastcgi;\n"
                          "  uwsgi_temp_path %1/temp/uwsgi;\n"
                          "  scgi_temp_path %1/temp/scgi;\n"
                          "  types { text/csv csv; }\n"
                          "  default_type text/csv;\n"
                          "  server {\n"
                          "    listen 127.0.0.1:%2;\n"
                          "    root %3;\n"
                          "    %4\n"
                          "  }\n"
                          "}\n")
        .arg(prefix)
        .arg(port)
        .arg(root, QLatin1StringView(location));
}

class Nginx
{
public:
    Nginx(QString binary, QString prefix)
        : m_binary(std::move(binary))
        , m_prefix(std::move(prefix))
    {}
    ~Nginx() { stop(); }

    QStringList arguments() const
    {
        return {QStringLiteral("-p"), m_prefix + u'/',
                QStringLiteral("-c"), m_prefix + QStringLiteral("/nginx.conf"),
                QStringLiteral("-e"), m_prefix + QStringLiteral("/error.log")};
    }

    // Returns once nginx has bound its port: it forks into the background only after that.
    bool start(QString *why)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(m_binary, arguments());
        if (!process.waitForFinished(30'000) || process.exitCode() != 0) {
            QFile log(m_prefix + QStringLiteral("/error.log"));
            log.open(QIODevice::ReadOnly);
            *why = QStringLiteral("nginx did not start: ") + QString::fromLocal8Bit(process.readAll() + log.readAll());
            return false;
        }
        m_running = true;
        return true;
    }

    // Returns once nginx has gone, so that its files can be removed.
    void stop()
    {
        if (!m_running)
            return;
        m_running = false;
        QFile pidFile(m_prefix + QStringLiteral("/nginx.pid"));
        const pid_t pid = pidFile.open(QIODevice::ReadOnly) ? pid_t(pidFile.readAll().trimmed().toInt()) : 0;
        // nginx is not our child: its end is awaited through a process descriptor.
        const int pidFd = pid > 0 ? int(syscall(SYS_pidfd_open, pid, 0)) : -1;
        QProcess::execute(m_binary, arguments() << QStringLiteral("-s") << QStringLiteral("stop"));
        if (pidFd >= 0) {
            pollfd exited{pidFd, POLLIN, 0};
            ::poll(&exited, 1, 10'000);
            ::close(pidFd);
        }
    }

private:
    QString m_binary;
    QString m_prefix;
    bool m_running = false;
};
