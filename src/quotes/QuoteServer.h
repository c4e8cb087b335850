#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

#include <chrono>

class QTcpSocket;

// The bundled quote service: a small HTTP/1.0 server that answers
//   GET /d/quotes.csv?s=SYMBOL&f=sl1d1t1c1ohgv&e=.csv
// with one quote line from a snapshot file (see QuoteLine.h), then closes the
// connection. Everything runs on the owner's thread, driven by socket
// signals and timers; no call blocks on a client.
class QuoteServer : public QObject
{
    Q_OBJECT

public:
    // A request head larger than this is refused with 400.
    static constexpr qsizetype kMaxRequestBytes = 8 * 1024;
    // The only field list the service knows; the reply line has these nine fields.
    static constexpr const char *kFieldList = "sl1d1t1c1ohgv";

    explicit QuoteServer(QObject *parent = nullptr);
    ~QuoteServer() override;

    // Reads the snapshot and watches it from then on: an edit, or an editor
    // replacing the file, is picked up within a moment. A later snapshot that
    // cannot be read leaves the quotes served so far in place.
    bool setSnapshotFile(const QString &path, QString *error = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error = nullptr);
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }

    // A client has this long from connecting to deliver its whole request,
    // and again after the reply to close its end; then it is dropped.
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
    // Connections beyond this many wait, unanswered, until others finish.
    void setMaxClients(int count);

    int clientCount() const { return int(m_clients.size()); }
    int quoteCount() const { return int(m_lines.size()); }

    // "ADDRESS:PORT", the address an IP literal ("[::1]" for IPv6) or "localhost".
    static bool parseListenAddress(const QString &text, QHostAddress *address, quint16 *port);

signals:
    void snapshotLoaded(int quotes, const QStringList &warnings);
    void snapshotFailed(const QString &error);

private:
    struct Client
    {
        QByteArray request;
        QTimer *timer = nullptr; // child of the socket
        bool answered = false;
        bool halfClosed = false;
    };

    void acceptClients();
    void readRequest(QTcpSocket *socket);
    void reply(QTcpSocket *socket, const QByteArray &bytes);
    void endOfReply(QTcpSocket *socket);
    void releaseClient(QTcpSocket *socket);
    QByteArray answerFor(QByteArrayView head) const;
    QByteArray quoteReply(QByteArrayView symbol) const;

    void snapshotTouched();
    bool loadSnapshot(QString *error);
    void watchSnapshot();

    QTcpServer m_server;
    QHash<QTcpSocket *, Client> m_clients;
    std::chrono::milliseconds m_idleTimeout{5000};
    int m_maxClients = 256;

    QString m_snapshotPath;
    QByteArray m_snapshotBytes;          // as last loaded, to ignore touches that change nothing
    QHash<QByteArray, QByteArray> m_lines; // symbol key -> reply line with CR LF
    QFileSystemWatcher m_watcher;
    QTimer m_reloadDelay;                // lets a writer finish before the file is read
};
