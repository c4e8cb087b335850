#include "QuoteFaultServer.h"

#include "quotes/QuoteFetch.h"
#include "quotes/QuoteRequest.h"
#include "quotes/QuoteTransport.h"

#include <QSignalSpy>
#include <QTest>

using Outcome = QuoteTransport::Outcome;
using Action = QuoteFaultServer::Action;

namespace {

constexpr int kConnectMs = 2000;
constexpr int kReplyMs = 300;

QString loopback()
{
    return QStringLiteral("127.0.0.1");
}

} // namespace

// One request over one connection, against a loopback server that misbehaves
// on purpose; and one symbol's fetch with its retries.
class TestQuoteTransport : public QObject
{
    Q_OBJECT

    Outcome request(QuoteTransport &transport, quint16 port, const QString &symbol = QStringLiteral("MSFT"))
    {
        QSignalSpy done(&transport, &QuoteTransport::finished);
        if (!transport.SendQuoteRequest(loopback(), quotePath(symbol), port))
            return Outcome::Broken;
        if (!done.wait(10000) || done.size() != 1)
            return Outcome::Broken;
        return done.first().first().value<Outcome>();
    }

private slots:
    void wholeReplyInOnePiece()
    {
        QuoteFaultServer server([](const QByteArray &, int) { return QuoteFaultServer::answer("one line"); });
        QuoteTransport transport;
        QCOMPARE(request(transport, server.port()), Outcome::Replied);
        QCOMPARE(transport.ReceiveBuffer(), QuoteFaultServer::reply("one line"));
        QVERIFY(transport.answered());
    }

    // Every piece counts, not only the first to arrive.
    void splitReply()
    {
        const QByteArray whole = QuoteFaultServer::reply(QuoteFaultServer::line("MSFT"));
        QuoteFaultServer server([whole](const QByteArray &, int) {
            return Action{Action::Reply, {whole.left(10), whole.mid(10, 30), whole.mid(40, 20), whole.mid(60)}};
        });
        QuoteTransport transport;
        QCOMPARE(request(transport, server.port()), Outcome::Replied);
        QCOMPARE(transport.ReceiveBuffer(), whole);
    }

    void overLongReply()
    {
        const QByteArray huge = QuoteFaultServer::reply(QByteArray(QuoteTransport::MaxReplySize, 'x'));
        QuoteFaultServer server([huge](const QByteArray &, int) { return Action{Action::Reply, {huge}}; });
        QuoteTransport transport;
        QCOMPARE(request(transport, server.port()), Outcome::TooLong);
        QVERIFY(transport.ReceiveBuffer().size() <= QuoteTransport::MaxReplySize + 1);
    }

    void replyOfExactlyTheLimit()
    {
        const QByteArray head = QuoteFaultServer::reply({});
        const QByteArray full = head + QByteArray(QuoteTransport::MaxReplySize - head.size(), 'x');
        QuoteFaultServer server([full](const QByteArray &, int) { return Action{Action::Reply, {full}}; });
        QuoteTransport transport;
        QCOMPARE(request(transport, server.port()), Outcome::Replied);
        QCOMPARE(transport.ReceiveBuffer().size(), QuoteTransport::MaxReplySize);
    }

    void silentServerTimesOut()
    {
        QuoteFaultServer server([](const QByteArray &, int) { return Action{Action::Silent, {}}; });
        QuoteTransport transport;
        transport.setTimeouts(kConnectMs, kReplyMs);
        QCOMPARE(request(transport, server.port()), Outcome::TimedOut);
        QVERIFY(!transport.answered());
    }

    void refusedConnection()
    {
        QuoteTransport transport;
        QCOMPARE(request(transport, refusedPort()), Outcome::ConnectFailed);
        QVERIFY(!transport.answered());
    }

    void unusableHost()
    {
        QuoteTransport transport;
        QSignalSpy done(&transport, &QuoteTransport::finished);
        QVERIFY(transport.SendQuoteRequest(QString(), quotePath(QStringLiteral("X")), 80));
        QVERIFY(done.isEmpty()); // never from inside the call
        QVERIFY(done.wait(5000));
        QCOMPARE(done.first().first().value<Outcome>(), Outcome::ConnectFailed);
    }

    // A reset after part of the reply: the bytes that made it are all there is.
    void resetMidReply()
    {
        const QByteArray whole = QuoteFaultServer::reply(QuoteFaultServer::line("MSFT"));
        QuoteFaultServer server([whole](const QByteArray &, int) { return Action{Action::Reset, {whole.left(30)}}; });
        QuoteTransport transport;
        const Outcome outcome = request(transport, server.port());
        QVERIFY(outcome == Outcome::Replied || outcome == Outcome::Broken);
        QVERIFY(whole.startsWith(transport.ReceiveBuffer()));
        QVERIFY(transport.ReceiveBuffer().size() <= 30);
    }

    void oneRequestAtATime()
    {
        QuoteFaultServer server([](const QByteArray &, int) { return QuoteFaultServer::answer("x"); });
        QuoteTransport transport;
        QSignalSpy done(&transport, &QuoteTransport::finished);
        QVERIFY(transport.SendQuoteRequest(loopback(), QStringLiteral("/a"), server.port()));
        QVERIFY(transport.busy());
        QVERIFY(!transport.SendQuoteRequest(loopback(), QStringLiteral("/b"), server.port()));
        QVERIFY(done.wait(5000));
        QCOMPARE(done.size(), 1);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests.first().startsWith("GET /a "));
        QVERIFY(!transport.busy());
    }

    void cancelledRequestSaysNothing()
    {
        QuoteFaultServer server([](const QByteArray &, int) { return Action{Action::Silent, {}}; });
        QuoteTransport transport;
        QSignalSpy done(&transport, &QuoteTransport::finished);
        QVERIFY(transport.SendQuoteRequest(loopback(), QStringLiteral("/a"), server.port()));
        QTRY_COMPARE(server.requests.size(), 1);
        transport.cancel();
        QVERIFY(!transport.busy());
        QVERIFY(!done.wait(200));
        // And it is free for the next one.
        server.setScript([](const QByteArray &, int) { return QuoteFaultServer::answer("y"); });
        QCOMPARE(request(transport, server.port()), Outcome::Replied);
    }

    void waitSeconds()
    {
        bool ran = false;
        WaitSeconds(0, this, [&ran] { ran = true; });
        QVERIFY(ran); // at once, without the event loop
        ran = false;
        WaitSeconds(0.05f, this, [&ran] { ran = true; });
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
        // Dropped with its context.
        auto *context = new QObject;
        bool orphan = false;
        WaitSeconds(0.01f, context, [&orphan] { orphan = true; });
        delete context;
        bool later = false;
        WaitSeconds(0.05f, this, [&later] { later = true; });
        QTRY_VERIFY(later);
        QVERIFY(!orphan);
    }

    void fetch_data()
    {
        QTest::addColumn<int>("failures"); // bad answers before a good one
        QTest::addColumn<bool>("refreshed");
        QTest::addColumn<int>("attempts");
        QTest::newRow("first time") << 0 << true << 1;
        QTest::newRow("after three retries") << 3 << true << 4;
        QTest::newRow("given up after three retries") << 99 << false << 4;
    }

    void fetch()
    {
        QFETCH(int, failures);
        QFETCH(bool, refreshed);
        QFETCH(int, attempts);
        QuoteFaultServer server([failures](const QByteArray &symbol, int attempt) {
            if (attempt <= failures)
                return QuoteFaultServer::answer("Proxy Error");
            return QuoteFaultServer::answer(QuoteFaultServer::line(symbol));
        });
        QuoteFetch fetch;
        QSignalSpy done(&fetch, &QuoteFetch::finished);
        QVERIFY(fetch.fetch({loopback(), server.port()}, QStringLiteral("IBM")));
        QVERIFY(done.wait(10000));
        const auto result = done.first().first().value<QuoteFetch::Result>();
        QCOMPARE(result.symbol, QStringLiteral("IBM"));
        QCOMPARE(result.quote.has_value(), refreshed);
        QCOMPARE(result.attempts, attempts);
        QCOMPARE(server.attemptsFor("IBM"), attempts);
        QVERIFY(result.answered);
        QVERIFY(!done.wait(200)); // once only
    }

    void fetchPausesBeforeEachAttempt()
    {
        QuoteFaultServer server([](const QByteArray &, int) { return QuoteFaultServer::answer("garbage"); });
        QuoteFetch fetch;
        fetch.setPause(0.05f);
        QSignalSpy done(&fetch, &QuoteFetch::finished);
        QVERIFY(fetch.fetch({loopback(), server.port()}, QStringLiteral("IBM")));
        QVERIFY(done.wait(10000));
        QCOMPARE(server.attemptsFor("IBM"), 1 + QuoteFetch::MaxRetries);
        QVERIFY(!done.first().first().value<QuoteFetch::Result>().quote);
    }
};

QTEST_GUILESS_MAIN(TestQuoteTransport)
#include "tst_quotetransport.moc"
