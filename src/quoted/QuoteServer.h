#pragma once

#include "quoted/QuoteLine.h"
#include "quoted/QuoteLineTable.h"
#include "quoted/QuietFileWatch.h"
#include "quoted/ServiceRequest.h"
#include "quoted/SourceStatus.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <functional>

class HistoryService;
class QTcpSocket;
class QThread;
class UpstreamQuotes;
struct SnapshotLoad;

// The bundled quote service: a small HTTP/1.0 server that answers
//   GET /d/quotes.csv?s=SYMBOL&f=sl1d1t1c1ohgv&e=.csv
// with one quote line from a snapshot file (see QuoteLine.h), then closes the
// connection. GET /status tells how its source stands (see SourceStatus.h);
// GET /history.csv and /technicals.csv answer from the price history (see
// HistoryService.h).
// Everything runs on the owner's thread, driven by socket signals and
// timers; no call blocks on a client.
class QuoteServer : public QObject
{
    Q_OBJECT

public:
    // A request head larger than this is refused with 400.
    static constexpr qsizetype kMaxRequestBytes = 8 * 1024;

    explicit QuoteServer(QObject *parent = nullptr);
    ~QuoteServer() override;

    // Reads the snapshot and watches it from then on. A changed file is read
    // once it has been left alone for the quiet time, on a thread of its own;
    // the previous quotes are served until the new ones are ready, and stay
    // when the new file cannot be read, is too large or has no header.
    bool setSnapshotFile(const QString &path, QString *error = nullptr);
    void setQuietTime(std::chrono::milliseconds quiet) { m_watch.setQuietTime(quiet); }
    // Stops serving and watching the snapshot (the source has changed).
    void clearSnapshot();
    // Quotes will come through serveQuotes(); until the first do, quote
    // requests are closed unanswered, as by a service whose source is down.
    void awaitQuotes();

    // Serves these quotes from now on, as a snapshot file's would be served:
    // the keyed source hands in the whole market at once.
    void serveQuotes(const QuoteSnapshot &quotes);

    // Answers from the live source instead of the snapshot (not owned).
    void setUpstream(UpstreamQuotes *upstream);
    // What GET /status answers: the live source's, the given source's when
    // one serves the quotes through serveQuotes(), else the snapshot's.
    SourceStatus status() const;
    void setStatusSource(std::function<SourceStatus()> status) { m_statusSource = std::move(status); }
    // Answers the history's requests (not owned); without it they are paths
    // the service does not serve.
    void setHistory(HistoryService *history) { m_history = history; }

    bool listen(const QHostAddress &address, quint16 port, QString *error = nullptr);
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }

    // A client has this long from connecting to deliver its whole request,
    // and again after the reply to close its end; then it is dropped.
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
    // Connections beyond this many wait, unanswered, until others finish.
    void setMaxClients(int count);
    // Connections from one address beyond this many push out its oldest
    // connection that has not sent a whole request yet, or are closed at
    // once when all of them have.
    static constexpr int kMaxClientsPerAddress = 32;

    int clientCount() const { return int(m_clients.size()); }
    int quoteCount() const { return int(m_lines.size()); }

    // "ADDRESS:PORT", the address an IP literal ("[::1]" for IPv6) or "localhost".
    static bool parseListenAddress(const QString &text, QHostAddress *address, quint16 *port);

signals:
    // warnings names the first few bad rows; badRows counts them all.
    void snapshotLoaded(int quotes, const QStringList &warnings, int badRows);
    void snapshotFailed(const QString &error);

private:
    // A quote request that waits for the live source.
    struct Deferred
    {
        QByteArray symbol;
        bool headOnly = false;
    };
    // A request the history answers, at once or once a source has.
    struct HistoryRequest
    {
        ServiceRequest::Kind kind = ServiceRequest::Kind::Unknown;
        QByteArray symbol;
        QDate from;
        bool headOnly = false;
    };
    struct Client
    {
        Deferred deferred;
        QByteArray request;
        QTimer *timer = nullptr; // child of the socket
        QHostAddress peer;
        quint64 serial = 0; // order of acceptance
        bool answered = false;
        bool halfClosed = false;
    };

    void acceptClients();
    void readRequest(QTcpSocket *socket);
    void reply(QTcpSocket *socket, const QByteArray &bytes);
    void endOfReply(QTcpSocket *socket);
    void releaseClient(QTcpSocket *socket);
    // False when the peer's connections are all busy with answers.
    bool makeRoomFor(const QHostAddress &peer);
    // Empty with deferred set when the answer must come from the live source.
    QByteArray answerFor(QByteArrayView head, Deferred *deferred, HistoryRequest *history) const;
    void answerDeferred(QTcpSocket *socket);
    void answerFromHistory(QTcpSocket *socket, const HistoryRequest &request);
    QByteArray quoteReply(QByteArrayView symbol) const;
    // Listening on loopback, only requests whose Host names this machine
    // (the address or localhost, with the port or without) are answered;
    // a request without Host, as HTTP/1.0 clients send it, is too.
    bool hostAllowed(QByteArrayView host) const;

    void startReload();
    bool applySnapshot(SnapshotLoad &load, QString *error);

    QTcpServer m_server;
    QHash<QTcpSocket *, Client> m_clients;
    std::chrono::milliseconds m_idleTimeout{5000};
    int m_maxClients = 256;
    quint64 m_accepted = 0;
    bool m_accepting = false;

    UpstreamQuotes *m_upstream = nullptr;
    HistoryService *m_history = nullptr;
    std::function<SourceStatus()> m_statusSource;
    bool m_awaitingQuotes = false;
    QMultiHash<QByteArray, QTcpSocket *> m_waiting; // symbol key -> clients waiting for it

    QString m_snapshotPath;
    QByteArray m_snapshotDigest; // of the quotes served, to ignore rewrites that change nothing
    QDateTime m_snapshotReadAt;
    QDate m_snapshotQuotesDate;
    QuoteLineTable m_lines;        // symbol key -> reply line with CR LF
    QuietFileWatch m_watch;        // tells when a changed snapshot has been left alone
    QThread *m_reloader = nullptr; // reads and parses a changed snapshot
    bool m_reloadAgain = false;    // the file changed while it was being read
};
