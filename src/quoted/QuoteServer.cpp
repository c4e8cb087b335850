#include "quoted/QuoteServer.h"

#include "market/StockRecord.h"
#include "quoted/HistoryService.h"
#include "quoted/QuoteLine.h"
#include "quoted/ServiceRequest.h"
#include "quoted/SourceStatus.h"
#include "quoted/UpstreamQuotes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPointer>
#include <QTcpSocket>
#include <QThread>

#include <limits>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

// What reading a snapshot file gave: new quotes, no change, or an error.
struct SnapshotLoad
{
    QString error;
    bool unchanged = false;
    QByteArray digest;
    QuoteLineTable lines;
    QStringList warnings;
    int badRows = 0;
    QDate quotesDate; // the latest date among the quotes
};

namespace {

constexpr std::chrono::milliseconds kQuietTime{1000};
// A client waiting for the live source is let go (closed without an answer)
// after this long, a little before the program's own reply time-out.
constexpr std::chrono::milliseconds kMaxSourceWait{12'000};
// A client waiting for a symbol's history may wait for a turn in the keyed
// source's budget (a minute at most) and then for its answer.
constexpr std::chrono::milliseconds kMaxHistoryWait{150'000};

// Hands the pages freed by a large snapshot back to the system; without it
// the service would keep the size of the largest snapshot it ever served.
void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// The reply lines of quotes; bytes is about the size of their snapshot text.
// Also gives the latest date among the quotes.
QuoteLineTable lineTable(const QuoteSnapshot &quotes, qsizetype bytes, QDate *latest)
{
    QuoteLineTable lines;
    lines.reserve(quotes.size(), bytes + quotes.size() * 48); // reply lines run longer than rows
    for (auto it = quotes.cbegin(); it != quotes.cend(); ++it) {
        lines.add(it.key(), it->format() + "\r\n");
        if (it->date > *latest) // an invalid date is before every other
            *latest = it->date;
    }
    lines.sort();
    return lines;
}

// Runs on the reload thread; touches nothing of the server's.
SnapshotLoad loadSnapshotFile(const QString &path, const QByteArray &servedDigest)
{
    SnapshotLoad load;
    std::optional<QByteArray> bytes = readSnapshotBytes(path, &load.error);
    if (!bytes)
        return load;
    load.digest = QCryptographicHash::hash(*bytes, QCryptographicHash::Sha1);
    if (load.digest == servedDigest) {
        load.unchanged = true;
        return load;
    }
    qsizetype badRows = 0;
    std::optional<QuoteSnapshot> snapshot = parseQuoteSnapshot(*bytes, &load.warnings, &load.error, &badRows);
    const qsizetype size = bytes->size();
    bytes.reset();
    if (!snapshot)
        return load;
    load.badRows = int(badRows); // a file within the size limit has fewer rows than that
    load.lines = lineTable(*snapshot, size, &load.quotesDate);
    snapshot.reset();
    // The parse's many small pieces are handed back here, on the reading
    // thread, not on the thread that answers clients.
    releaseFreedMemory();
    return load;
}

// Index just past the empty line that ends the request head, or -1. Bare LF
// line ends are taken as well as CR LF.
qsizetype headEnd(const QByteArray &buffer, qsizetype from)
{
    for (qsizetype i = buffer.indexOf('\n', from); i >= 0; i = buffer.indexOf('\n', i + 1)) {
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n')
            return i + 2;
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

} // namespace

QuoteServer::QuoteServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &QuoteServer::acceptClients);
    m_watch.setQuietTime(kQuietTime);
    connect(&m_watch, &QuietFileWatch::changed, this, &QuoteServer::startReload);
}

QuoteServer::~QuoteServer()
{
    // The sockets are children of m_server; keep their signals from reaching
    // a half-destroyed server while it goes.
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it)
        it.key()->disconnect(this);
    m_server.close();
    if (m_reloader) {
        m_reloader->disconnect(this);
        m_reloader->wait();
        delete m_reloader;
    }
}

bool QuoteServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

void QuoteServer::setMaxClients(int count)
{
    m_maxClients = qMax(1, count);
    acceptClients();
}

void QuoteServer::acceptClients()
{
    if (m_accepting)
        return; // a client let go to make room calls back here
    m_accepting = true;
    while (m_clients.size() < m_maxClients && m_server.hasPendingConnections()) {
        QTcpSocket *socket = m_server.nextPendingConnection();
        if (!socket)
            break;
        if (!makeRoomFor(socket->peerAddress())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Client client;
        client.peer = socket->peerAddress();
        client.serial = ++m_accepted;
        client.timer = new QTimer(socket);
        client.timer->setSingleShot(true);
        connect(client.timer, &QTimer::timeout, this, [this, socket] {
            socket->abort();
            releaseClient(socket);
        });
        client.timer->start(m_idleTimeout);
        m_clients.insert(socket, client);

        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (socket->bytesToWrite() == 0)
                endOfReply(socket);
            else if (const auto it = m_clients.constFind(socket); it != m_clients.cend())
                it->timer->start(m_idleTimeout); // a large answer takes long only while it moves
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { releaseClient(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
            // The peer closing its end is the normal finish and arrives as
            // disconnected; anything else ends the client here.
            if (error == QAbstractSocket::RemoteHostClosedError)
                return;
            socket->abort();
            releaseClient(socket);
        });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
    m_accepting = false;
}

bool QuoteServer::makeRoomFor(const QHostAddress &peer)
{
    // Connections that have not sent their whole request yet cost nothing to
    // drop; the oldest of them makes room, so that idle connections cannot
    // keep a client that asks at once waiting.
    QTcpSocket *oldestIdle = nullptr;
    quint64 oldest = std::numeric_limits<quint64>::max();
    int count = 0;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if (it->peer != peer)
            continue;
        ++count;
        if (!it->answered && it->serial < oldest) {
            oldest = it->serial;
            oldestIdle = it.key();
        }
    }
    if (count < kMaxClientsPerAddress)
        return true;
    if (!oldestIdle)
        return false;
    oldestIdle->abort();
    releaseClient(oldestIdle);
    return true;
}

void QuoteServer::readRequest(QTcpSocket *socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    if (it->answered) {
        socket->skip(socket->bytesAvailable());
        return;
    }
    const qsizetype before = it->request.size();
    it->request += socket->read(kMaxRequestBytes + 1 - before);
    const qsizetype end = headEnd(it->request, qMax<qsizetype>(0, before - 3));
    if (end < 0) {
        if (it->request.size() > kMaxRequestBytes)
            reply(socket, httpError("400 Bad Request", "The request is too long."));
        return;
    }
    if (end > kMaxRequestBytes) {
        reply(socket, httpError("400 Bad Request", "The request is too long."));
        return;
    }
    Deferred deferred;
    HistoryRequest history;
    const QByteArray answer = answerFor(QByteArrayView(it->request).first(end), &deferred, &history);
    if (history.kind != ServiceRequest::Kind::Unknown) {
        answerFromHistory(socket, history);
        return;
    }
    if (answer.isEmpty() && deferred.symbol.isEmpty()) {
        // No quotes yet: the client sees what a dead service looks like.
        socket->abort();
        releaseClient(socket);
        return;
    }
    if (deferred.symbol.isEmpty()) {
        reply(socket, answer);
        return;
    }
    // The live source has to be asked first; the client waits without
    // holding anything else up.
    it->answered = true;
    it->request = QByteArray();
    it->deferred = deferred;
    it->timer->start(kMaxSourceWait);
    socket->skip(socket->bytesAvailable());
    m_waiting.insert(quoteSymbolKey(deferred.symbol), socket);
    answerDeferred(socket);
}

void QuoteServer::answerDeferred(QTcpSocket *socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    const UpstreamQuotes::Answer answer = m_upstream->lookUp(it->deferred.symbol);
    if (answer.status == UpstreamQuotes::Status::Waiting)
        return;
    m_waiting.remove(quoteSymbolKey(it->deferred.symbol), socket);
    if (answer.status == UpstreamQuotes::Status::Unavailable) {
        // Source down and nothing cached: the client sees what a dead
        // service looks like, a connection closed without a word.
        socket->abort();
        releaseClient(socket);
        return;
    }
    QByteArray bytes = httpResponse("200 OK", "text/csv", answer.line + "\r\n");
    if (it->deferred.headOnly)
        bytes.truncate(bytes.indexOf("\r\n\r\n") + 4);
    reply(socket, bytes);
}

void QuoteServer::answerFromHistory(QTcpSocket *socket, const HistoryRequest &request)
{
    const auto it = m_clients.find(socket);
    it->answered = true;
    it->request = QByteArray();
    it->timer->start(kMaxHistoryWait);
    socket->skip(socket->bytesAvailable());
    HistoryService::Answer answer = [this, guard = QPointer<QTcpSocket>(socket),
                                     headOnly = request.headOnly](const QByteArray &bytes) {
        if (!guard || !m_clients.contains(guard.data()))
            return; // the client has gone meanwhile
        reply(guard.data(), headOnly ? bytes.first(bytes.indexOf("\r\n\r\n") + 4) : bytes);
    };
    if (request.kind == ServiceRequest::Kind::Technicals)
        m_history->technicals(std::move(answer));
    else
        m_history->history(request.symbol, request.from, std::move(answer));
}

void QuoteServer::setUpstream(UpstreamQuotes *upstream)
{
    if (m_upstream)
        m_upstream->disconnect(this);
    m_upstream = upstream;
    if (m_upstream)
        connect(m_upstream, &UpstreamQuotes::resolved, this, [this](const QByteArray &key) {
            const QList<QTcpSocket *> waiting = m_waiting.values(key);
            for (QTcpSocket *socket : waiting)
                answerDeferred(socket);
        });
}

QByteArray QuoteServer::answerFor(QByteArrayView head, Deferred *deferred, HistoryRequest *history) const
{
    const ServiceRequest request = parseServiceRequest(head, [this](QByteArrayView host) { return hostAllowed(host); });
    QByteArray answer;
    switch (request.kind) {
    case ServiceRequest::Kind::Refused:
        return request.refusal;
    case ServiceRequest::Kind::Status:
        answer = httpResponse("200 OK", "application/json", status().toJson() + "\n");
        break;
    case ServiceRequest::Kind::Quote:
        if (m_upstream) {
            const UpstreamQuotes::Answer cached = m_upstream->lookUp(request.symbol);
            if (cached.status != UpstreamQuotes::Status::Ready) {
                *deferred = {request.symbol, request.headOnly};
                return {};
            }
            answer = httpResponse("200 OK", "text/csv", cached.line + "\r\n");
        } else if (m_awaitingQuotes && m_lines.size() == 0) {
            return {};
        } else {
            answer = quoteReply(request.symbol);
        }
        break;
    case ServiceRequest::Kind::History:
    case ServiceRequest::Kind::Technicals:
        if (m_history) {
            *history = {request.kind, request.symbol, request.from, request.headOnly};
            return {};
        }
        [[fallthrough]];
    case ServiceRequest::Kind::Unknown:
        answer =
            httpError("404 Not Found", m_history ? "Only /d/quotes.csv, /history.csv, /technicals.csv and /status are "
                                                   "served."
                                                 : "Only /d/quotes.csv and /status are served.");
        break;
    }
    if (request.headOnly)
        answer.truncate(answer.indexOf("\r\n\r\n") + 4);
    return answer;
}

SourceStatus QuoteServer::status() const
{
    if (m_statusSource)
        return m_statusSource();
    if (m_upstream)
        return m_upstream->status();
    SourceStatus snapshot;
    snapshot.source = QStringLiteral("snapshot");
    snapshot.reason = QStringLiteral("Quotes come from the snapshot file.");
    snapshot.lastSuccess = m_snapshotReadAt;
    snapshot.quotesDate = m_snapshotQuotesDate;
    return snapshot;
}

bool QuoteServer::hostAllowed(QByteArrayView host) const
{
    // A web page that gets its own name resolved to this machine (DNS
    // rebinding) can reach a service on loopback only under that name.
    const QHostAddress listening = m_server.serverAddress();
    if (!listening.isLoopback())
        return true;
    QByteArrayView name = host;
    std::optional<QByteArrayView> port;
    if (host.startsWith('[')) {
        const qsizetype bracket = host.indexOf(']');
        if (bracket < 0)
            return false;
        name = host.sliced(1, bracket - 1);
        const QByteArrayView rest = host.sliced(bracket + 1);
        if (!rest.isEmpty() && !rest.startsWith(':'))
            return false;
        if (!rest.isEmpty())
            port = rest.sliced(1);
    } else if (const qsizetype colon = host.indexOf(':'); colon >= 0) {
        name = host.first(colon);
        port = host.sliced(colon + 1);
    }
    if (port && *port != QByteArray::number(m_server.serverPort()))
        return false;
    return name.compare("localhost", Qt::CaseInsensitive) == 0 || QHostAddress(QString::fromLatin1(name)) == listening;
}

QByteArray QuoteServer::quoteReply(QByteArrayView symbol) const
{
    if (const std::optional<QByteArrayView> line = m_lines.find(quoteSymbolKey(symbol)))
        return httpResponse("200 OK", "text/csv", *line);
    return httpResponse("200 OK", "text/csv", QuoteLine::unknown(symbol) + "\r\n");
}

void QuoteServer::reply(QTcpSocket *socket, const QByteArray &bytes)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    it->answered = true;
    it->request = QByteArray();
    // From here the timer bounds how long the client may take to close its end.
    it->timer->start(m_idleTimeout);
    socket->skip(socket->bytesAvailable());
    socket->write(bytes);
    socket->flush();
    if (socket->bytesToWrite() == 0)
        endOfReply(socket);
}

void QuoteServer::endOfReply(QTcpSocket *socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end() || !it->answered || it->halfClosed || socket->state() != QAbstractSocket::ConnectedState)
        return;
    it->halfClosed = true;
#ifdef Q_OS_UNIX
    // Close only the sending half: a full close with request bytes still
    // unread (an over-long request, say) would reset the connection and could
    // destroy the reply before the client reads it. The client sees the end
    // of the reply, closes, and the disconnect releases the socket.
    ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
#else
    socket->disconnectFromHost();
#endif
}

void QuoteServer::releaseClient(QTcpSocket *socket)
{
    const auto it = m_clients.constFind(socket);
    if (it == m_clients.cend())
        return;
    if (!it->deferred.symbol.isEmpty()) {
        const QByteArray key = quoteSymbolKey(it->deferred.symbol);
        m_waiting.remove(key, socket);
        // A client that has gone leaves nothing to fetch for it.
        if (m_upstream && !m_waiting.contains(key))
            m_upstream->unwanted(key);
    }
    m_clients.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    acceptClients();
}

void QuoteServer::startReload()
{
    if (m_reloader) {
        m_reloadAgain = true;
        return;
    }
    auto load = std::make_shared<SnapshotLoad>();
    m_reloader = QThread::create(
        [load, path = m_snapshotPath, digest = m_snapshotDigest] { *load = loadSnapshotFile(path, digest); });
    connect(m_reloader, &QThread::finished, this, [this, load] {
        m_reloader->wait();
        delete m_reloader;
        m_reloader = nullptr;
        if (m_snapshotPath.isEmpty())
            return; // no snapshot is served any more
        applySnapshot(*load, nullptr);
        if (m_reloadAgain) {
            m_reloadAgain = false;
            startReload();
        }
    });
    m_reloader->start(QThread::LowPriority);
}

bool QuoteServer::setSnapshotFile(const QString &path, QString *error)
{
    m_awaitingQuotes = false;
    m_snapshotPath = QFileInfo(path).absoluteFilePath();
    m_snapshotDigest.clear();
    // Nothing is served yet, so the first read may take its time here.
    m_watch.setFiles({m_snapshotPath});
    SnapshotLoad load = loadSnapshotFile(m_snapshotPath, {});
    if (!applySnapshot(load, error))
        return false;
    return true;
}

void QuoteServer::awaitQuotes()
{
    clearSnapshot();
    m_awaitingQuotes = true;
}

void QuoteServer::clearSnapshot()
{
    m_awaitingQuotes = false;
    m_watch.setFiles({});
    m_snapshotPath.clear();
    m_snapshotDigest.clear();
    m_snapshotQuotesDate = QDate();
    QuoteLineTable none;
    m_lines.swap(none);
}

bool QuoteServer::applySnapshot(SnapshotLoad &load, QString *error)
{
    if (!load.error.isEmpty()) {
        const QString text = QStringLiteral("%1: %2").arg(m_snapshotPath, load.error);
        if (error)
            *error = text;
        emit snapshotFailed(text);
        return false;
    }
    if (load.unchanged)
        return true;
    m_snapshotDigest = load.digest;
    m_snapshotReadAt = QDateTime::currentDateTimeUtc();
    m_snapshotQuotesDate = load.quotesDate;
    m_lines.swap(load.lines);
    load.lines = {}; // the previous quotes go now (two blocks), not when the caller is done
    emit snapshotLoaded(int(m_lines.size()), load.warnings, load.badRows);
    return true;
}

bool QuoteServer::parseListenAddress(const QString &text, QHostAddress *address, quint16 *port)
{
    QString host;
    QString portText;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(QStringLiteral("]:"));
        if (close < 0)
            return false;
        host = text.mid(1, close - 1);
        portText = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon < 0)
            return false;
        host = text.left(colon);
        portText = text.mid(colon + 1);
        if (host.contains(u':'))
            return false; // an IPv6 address needs its brackets
    }
    if (portText.isEmpty() || !std::all_of(portText.cbegin(), portText.cend(), [](QChar c) { return c.isDigit(); }))
        return false;
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number > 65535)
        return false;

    QHostAddress parsed;
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host))
        return false;
    *address = parsed;
    *port = quint16(number);
    return true;
}

void QuoteServer::serveQuotes(const QuoteSnapshot &quotes)
{
    QDate latest;
    QuoteLineTable lines = lineTable(quotes, quotes.size() * 64, &latest);
    m_lines.swap(lines);
    lines = {}; // the previous quotes go now, in two blocks
    releaseFreedMemory();
}
