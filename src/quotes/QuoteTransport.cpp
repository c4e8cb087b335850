#include "quotes/QuoteTransport.h"

#include "quotes/QuoteRequest.h"

#include <QNetworkProxy>
#include <QTcpSocket>

QuoteTransport::QuoteTransport(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &QuoteTransport::onTimeout);
    for (QTcpSocket *&socket : m_sockets) {
        socket = new QTcpSocket(this);
        QTcpSocket *s = socket;
        // The quote service is reached directly, as it always has been.
        s->setProxy(QNetworkProxy::NoProxy);
        // Only the socket of the request under way is listened to.
        connect(s, &QTcpSocket::connected, this, [this, s] {
            if (s == m_socket)
                onConnected();
        });
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            if (s == m_socket)
                onReadyRead();
        });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            if (s == m_socket)
                onDisconnected();
        });
        connect(s, &QTcpSocket::errorOccurred, this, [this, s] {
            if (s == m_socket)
                onError();
        });
    }
}

QuoteTransport::~QuoteTransport()
{
    dropSocket();
}

void QuoteTransport::setTimeouts(int connectMs, int replyMs)
{
    m_connectTimeoutMs = connectMs;
    m_replyTimeoutMs = replyMs;
}

bool QuoteTransport::SendQuoteRequest(const QString &host, const QString &path, quint16 port)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_connected = false;
    m_receiveBuffer.clear();
    m_request = quoteRequest(path);
    m_host = host;
    m_port = port;
    ++m_generation;
    // A connection can fail inside connectToHost (a refused loopback port
    // does); such an outcome is held back until the event loop's next pass,
    // so the caller never hears of it before this returns.
    m_sending = true;
    connectNow();
    m_sending = false;
    if (m_heldOutcome) {
        const Outcome outcome = *m_heldOutcome;
        m_heldOutcome.reset();
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation, outcome] {
                if (generation != m_generation || !m_busy)
                    return;
                m_busy = false;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    }
    return true;
}

void QuoteTransport::connectNow()
{
    if (m_host.isEmpty() || m_port == 0) {
        finish(Outcome::ConnectFailed);
        return;
    }
    m_turn = 1 - m_turn;
    m_socket = m_sockets[size_t(m_turn)];
    m_timer.start(m_connectTimeoutMs);
    m_socket->connectToHost(m_host, m_port);
}

void QuoteTransport::onConnected()
{
    m_connected = true;
    m_timer.start(m_replyTimeoutMs);
    m_socket->write(m_request);
    // Straight to the kernel, not on the next pass of the event loop.
    m_socket->flush();
}

void QuoteTransport::onReadyRead()
{
    m_receiveBuffer += m_socket->read(m_maxReplySize + 1 - m_receiveBuffer.size());
    if (m_receiveBuffer.size() > m_maxReplySize)
        finish(Outcome::TooLong);
}

void QuoteTransport::onDisconnected()
{
    if (!m_connected) {
        finish(Outcome::ConnectFailed);
        return;
    }
    // Reading the rest may end the request (too long), and a new one may
    // have started from that ending.
    const quint64 generation = m_generation;
    onReadyRead();
    if (generation == m_generation && m_busy)
        finish(Outcome::Replied);
}

void QuoteTransport::onError()
{
    if (!m_socket)
        return;
    if (!m_connected) {
        finish(Outcome::ConnectFailed);
        return;
    }
    // The server closing its side is how a reply ends; disconnected() follows.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    finish(Outcome::Broken);
}

void QuoteTransport::onTimeout()
{
    if (m_busy)
        finish(m_connected ? Outcome::TimedOut : Outcome::ConnectFailed);
}

void QuoteTransport::cancel()
{
    ++m_generation;
    m_timer.stop();
    dropSocket();
    m_busy = false;
}

void QuoteTransport::finish(Outcome outcome)
{
    m_timer.stop();
    dropSocket();
    if (m_sending) {
        m_heldOutcome = outcome; // still busy until it is told
        return;
    }
    m_busy = false;
    emit finished(outcome);
}

void QuoteTransport::dropSocket()
{
    if (!m_socket)
        return;
    // Forgotten first, so the signals that abort() sends are not heard.
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->abort();
}
