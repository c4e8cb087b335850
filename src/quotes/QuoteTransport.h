#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <cmath>
#include <optional>

class QTcpSocket;

// Runs then from the event loop after at least the given seconds (a
// monotonic timer), or at once when seconds <= 0. It is dropped when context
// is destroyed first.
template <typename Functor> void WaitSeconds(float seconds, const QObject *context, Functor then)
{
    if (seconds <= 0) {
        then();
        return;
    }
    QTimer::singleShot(std::chrono::milliseconds(qint64(std::ceil(double(seconds) * 1000.0))), Qt::PreciseTimer,
                       context, std::move(then));
}

// One quote request at a time over a new TCP connection: connect, send the
// request, read until the server closes (HTTP/1.0), then report. Everything
// happens from the event loop; nothing here waits.
class QuoteTransport : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Replied,       // the server closed the connection; the reply is in ReceiveBuffer()
        ConnectFailed, // refused, unknown host, or no connection within the connect time-out
        TimedOut,      // connected, but the server did not finish within the reply time-out
        TooLong,       // more bytes than the reply cap (MaxReplySize unless set)
        Broken,        // any other socket error after connecting
    };
    Q_ENUM(Outcome)

    // The default cap of a reply; the service's larger tables raise it.
    static constexpr qsizetype MaxReplySize = 64 * 1024;
    static constexpr int DefaultConnectTimeoutMs = 10'000;
    static constexpr int DefaultReplyTimeoutMs = 15'000;

    explicit QuoteTransport(QObject *parent = nullptr);
    ~QuoteTransport() override;

    void setTimeouts(int connectMs, int replyMs);
    void setMaxReplySize(qsizetype bytes) { m_maxReplySize = bytes; }

    // Starts a request; false (and nothing started) while one is under way.
    // The outcome comes through finished(), never before this returns.
    bool SendQuoteRequest(const QString &host, const QString &path, quint16 port);
    // Drops the request under way without a finished() signal.
    void cancel();
    bool busy() const { return m_busy; }

    // Every byte received for the current or last request.
    const QByteArray &ReceiveBuffer() const { return m_receiveBuffer; }
    // True once some byte of a reply has arrived: the service is there.
    bool answered() const { return !m_receiveBuffer.isEmpty(); }

signals:
    void finished(QuoteTransport::Outcome outcome);

private:
    void connectNow();
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();
    void onTimeout();
    void finish(Outcome outcome);
    void dropSocket();

    // Two sockets take turns: the one that just finished may still be inside
    // its own signal when the next request starts, and must not be reused
    // from there.
    std::array<QTcpSocket *, 2> m_sockets{};
    QTcpSocket *m_socket = nullptr; // the one serving the request under way
    int m_turn = 0;
    std::optional<Outcome> m_heldOutcome;
    QTimer m_timer;
    QByteArray m_request;
    QByteArray m_receiveBuffer;
    QString m_host;
    quint16 m_port = 0;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    int m_replyTimeoutMs = DefaultReplyTimeoutMs;
    qsizetype m_maxReplySize = MaxReplySize;
    quint64 m_generation = 0;
    bool m_busy = false;
    bool m_connected = false;
    bool m_sending = false;
};
