#include "quotes/QuoteServer.h"

#include <QFile>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

const QByteArray kSnapshot = "# test quotes\n"
                             "symbol,last,date,time,change,open,high,low,volume\n"
                             "MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\n"
                             "BRK.B,412.30,2024-06-07,16:00,-1.05,413.00,414.10,410.95,3100000\n"
                             "^DJI,38798.99,2024-06-07,16:00,-87.18,38886.17,38951.25,38674.11,N/A\n";

const QByteArray kMsftLine = R"("MSFT",27.50,"6/4/2004","4:00pm",+0.12,27.40,27.60,27.30,1234567)";

// The request exactly as the program sends it.
QByteArray programRequest(QByteArrayView encodedSymbol)
{
    return "GET /d/quotes.csv?s=" + encodedSymbol.toByteArray()
           + "&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\nAccept: cvs\r\n\r\n";
}

QByteArray okReply(const QByteArray &line)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\nContent-Length: " + QByteArray::number(line.size() + 2)
           + "\r\n\r\n" + line + "\r\n";
}

// One loopback connection to the server under test; collects everything the
// server sends until it closes.
class Client
{
public:
    explicit Client(quint16 port)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { received += m_socket.readAll(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket, [this] {
            received += m_socket.readAll();
            done = true;
        });
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    void send(const QByteArray &bytes) { m_socket.write(bytes); }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket &socket() { return m_socket; }

    QByteArray received;
    bool done = false;

private:
    QTcpSocket m_socket;
};

QByteArray statusLine(const QByteArray &reply)
{
    return reply.left(reply.indexOf("\r\n"));
}

// The reply's Content-Length must match the body that follows the head.
bool lengthMatches(const QByteArray &reply)
{
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    const qsizetype at = reply.indexOf("Content-Length: ");
    if (headEnd < 0 || at < 0 || at > headEnd)
        return false;
    const qsizetype lineEnd = reply.indexOf("\r\n", at);
    const QByteArray value = reply.mid(at + 16, lineEnd - at - 16);
    return value.toLongLong() == reply.size() - headEnd - 4;
}

} // namespace

class TestQuoteServer : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    QuoteServer *m_server = nullptr;

    QString snapshotPath() const { return m_dir->filePath(QStringLiteral("quotes.csv")); }

    bool writeInPlace(const QByteArray &text)
    {
        QFile file(snapshotPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return file.write(text) == text.size();
    }

    // As editors do it: a new file renamed over the old one.
    bool replaceFile(const QByteArray &text)
    {
        QSaveFile file(snapshotPath());
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(text);
        return file.commit();
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        QVERIFY(writeInPlace(kSnapshot));
        m_server = new QuoteServer;
        QString error;
        QVERIFY2(m_server->setSnapshotFile(snapshotPath(), &error), qPrintable(error));
        QCOMPARE(m_server->quoteCount(), 3);
        QVERIFY2(m_server->listen(QHostAddress::LocalHost, 0, &error), qPrintable(error));
    }

    void cleanup()
    {
        delete m_server;
        m_server = nullptr;
        delete m_dir;
        m_dir = nullptr;
    }

    void answersTheProgramsRequestExactly()
    {
        Client client(m_server->serverPort());
        client.send(programRequest("MSFT"));
        QTRY_VERIFY(client.done);
        QCOMPARE(client.received, QByteArray("HTTP/1.0 200 OK\r\n"
                                             "Content-Type: text/csv\r\n"
                                             "Content-Length: 66\r\n"
                                             "\r\n"
                                             R"("MSFT",27.50,"6/4/2004","4:00pm",+0.12,27.40,27.60,27.30,1234567)"
                                             "\r\n"));
    }

    void answersAnUnknownSymbolWithNotAvailable()
    {
        Client client(m_server->serverPort());
        client.send(programRequest("NOPE"));
        QTRY_VERIFY(client.done);
        QCOMPARE(client.received, QByteArray("HTTP/1.0 200 OK\r\n"
                                             "Content-Type: text/csv\r\n"
                                             "Content-Length: 45\r\n"
                                             "\r\n"
                                             R"("NOPE",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)"
                                             "\r\n"));
    }

    void looksUpTheDecodedSymbolWithoutRegardToCase_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("line");
        const QByteArray brk = R"("BRK.B",412.30,"6/7/2024","4:00pm",-1.05,413.00,414.10,410.95,3100000)";
        const QByteArray dji = R"("^DJI",38798.99,"6/7/2024","4:00pm",-87.18,38886.17,38951.25,38674.11,N/A)";
        QTest::newRow("lower case") << QByteArray("s=msft&f=sl1d1t1c1ohgv&e=.csv") << kMsftLine;
        QTest::newRow("mixed case") << QByteArray("s=MsFt&f=sl1d1t1c1ohgv&e=.csv") << kMsftLine;
        QTest::newRow("encoded dot") << QByteArray("s=BRK%2EB&f=sl1d1t1c1ohgv&e=.csv") << brk;
        QTest::newRow("lower-case hex, lower-case symbol") << QByteArray("s=brk%2eb&f=sl1d1t1c1ohgv&e=.csv") << brk;
        QTest::newRow("encoded caret") << QByteArray("s=%5Edji&f=sl1d1t1c1ohgv&e=.csv") << dji;
        QTest::newRow("fully encoded") << QByteArray("s=%4D%53%46%54&f=sl1d1t1c1ohgv&e=.csv") << kMsftLine;
        QTest::newRow("other order") << QByteArray("e=.csv&f=sl1d1t1c1ohgv&s=MSFT") << kMsftLine;
        QTest::newRow("symbol only") << QByteArray("s=MSFT") << kMsftLine;
        QTest::newRow("first s counts") << QByteArray("s=MSFT&s=BRK.B") << kMsftLine;
        QTest::newRow("extra parameter") << QByteArray("s=MSFT&x=1&f=sl1d1t1c1ohgv") << kMsftLine;
        QTest::newRow("ampersand in symbol")
            << QByteArray("s=A%26B&f=sl1d1t1c1ohgv&e=.csv") << QByteArray(R"("A&B",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("plus stays a plus")
            << QByteArray("s=MSFT+&f=sl1d1t1c1ohgv&e=.csv") << QByteArray(R"("MSFT+",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("blank around symbol")
            << QByteArray("s=%20MSFT&f=sl1d1t1c1ohgv&e=.csv") << QByteArray(R"("%20MSFT",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("line break cannot split the reply")
            << QByteArray("s=X%0D%0AY%22%2C1&f=sl1d1t1c1ohgv&e=.csv")
            << QByteArray(R"("X%0D%0AY%22%2C1",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
    }

    void looksUpTheDecodedSymbolWithoutRegardToCase()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, line);
        Client client(m_server->serverPort());
        client.send("GET /d/quotes.csv?" + query + " HTTP/1.0\r\nAccept: */*\r\n\r\n");
        QTRY_VERIFY(client.done);
        QCOMPARE(client.received, okReply(line));
    }

    void statusFollowsTheRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        const QByteArray ok = "HTTP/1.0 200 OK";
        const QByteArray bad = "HTTP/1.0 400 Bad Request";
        const QByteArray notFound = "HTTP/1.0 404 Not Found";
        QTest::newRow("bare LF line ends") << QByteArray("GET /d/quotes.csv?s=MSFT HTTP/1.0\n\n") << ok;
        QTest::newRow("HTTP/1.1 with headers")
            << QByteArray("GET /d/quotes.csv?s=MSFT HTTP/1.1\r\nHost: x\r\nUser-Agent: t\r\n\r\n") << ok;
        QTest::newRow("empty line first") << QByteArray("\r\nGET /d/quotes.csv?s=MSFT HTTP/1.0\r\n\r\n") << ok;
        QTest::newRow("garbage") << QByteArray("hello there\r\n\r\n") << bad;
        QTest::newRow("empty request line") << QByteArray("\r\n\r\n") << bad;
        QTest::newRow("no version") << QByteArray("GET /d/quotes.csv?s=MSFT\r\n\r\n") << bad;
        QTest::newRow("HTTP/2.0") << QByteArray("GET /d/quotes.csv?s=MSFT HTTP/2.0\r\n\r\n") << bad;
        QTest::newRow("not HTTP") << QByteArray("GET /d/quotes.csv?s=MSFT FTP/1.0\r\n\r\n") << bad;
        QTest::newRow("double blank") << QByteArray("GET  /d/quotes.csv?s=MSFT HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("trailing blank") << QByteArray("GET /d/quotes.csv?s=MSFT HTTP/1.0 \r\n\r\n") << bad;
        QTest::newRow("relative path") << QByteArray("GET d/quotes.csv?s=MSFT HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("control byte in path") << QByteArray("GET /d/quotes.csv?s=MS\tFT HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("bad method") << QByteArray("G(T /d/quotes.csv?s=MSFT HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("header without colon") << QByteArray("GET /d/quotes.csv?s=MSFT HTTP/1.0\r\nAccept */*\r\n\r\n") << bad;
        QTest::newRow("no symbol") << QByteArray("GET /d/quotes.csv?f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("no query") << QByteArray("GET /d/quotes.csv HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("empty symbol") << QByteArray("GET /d/quotes.csv?s=&f=sl1d1t1c1ohgv HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("cut escape") << QByteArray("GET /d/quotes.csv?s=MSF%4 HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("bad escape") << QByteArray("GET /d/quotes.csv?s=%ZZ HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("other field list") << QByteArray("GET /d/quotes.csv?s=MSFT&f=sl1 HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("root") << QByteArray("GET / HTTP/1.0\r\n\r\n") << notFound;
        QTest::newRow("other file") << QByteArray("GET /d/other.csv?s=MSFT HTTP/1.0\r\n\r\n") << notFound;
        QTest::newRow("path case") << QByteArray("GET /D/QUOTES.CSV?s=MSFT HTTP/1.0\r\n\r\n") << notFound;
        QTest::newRow("longer path") << QByteArray("GET /d/quotes.csv/x?s=MSFT HTTP/1.0\r\n\r\n") << notFound;
        QTest::newRow("POST") << QByteArray("POST /d/quotes.csv?s=MSFT HTTP/1.0\r\n\r\n")
                              << QByteArray("HTTP/1.0 501 Not Implemented");
    }

    void statusFollowsTheRequest()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        Client client(m_server->serverPort());
        client.send(request);
        QTRY_VERIFY(client.done);
        QCOMPARE(statusLine(client.received), status);
        QVERIFY2(lengthMatches(client.received), client.received.constData());
        if (!status.endsWith("200 OK"))
            QVERIFY(client.received.contains("Content-Type: text/plain\r\n"));
    }

    void headGetsTheHeadOnly()
    {
        Client client(m_server->serverPort());
        client.send("HEAD /d/quotes.csv?s=MSFT&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\n\r\n");
        QTRY_VERIFY(client.done);
        QCOMPARE(client.received, QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\nContent-Length: 66\r\n\r\n"));
    }

    void requestInPiecesIsAnswered()
    {
        const QByteArray request = programRequest("MSFT");
        Client client(m_server->serverPort());
        QSignalSpy written(&client.socket(), &QTcpSocket::bytesWritten);
        QTRY_VERIFY(client.connected());
        // The head end itself arrives split between pieces.
        for (qsizetype at = 0; at < request.size(); at += 7) {
            client.send(request.mid(at, 7));
            QVERIFY(written.wait());
            QVERIFY(!client.done);
        }
        QTRY_VERIFY(client.done);
        QCOMPARE(client.received, okReply(kMsftLine));
    }

    void overlongRequestIsRefused_data()
    {
        QTest::addColumn<QByteArray>("request");
        // No head end within the limit, and the client keeps sending.
        QTest::newRow("endless path") << "GET /d/quotes.csv?s=" + QByteArray(1 << 20, 'A');
        // A complete head, but too large.
        QTest::newRow("large head in one piece")
            << "GET /d/quotes.csv?s=MSFT HTTP/1.0\r\nX-Pad: " + QByteArray(QuoteServer::kMaxRequestBytes, 'p') + "\r\n\r\n";
    }

    void overlongRequestIsRefused()
    {
        QFETCH(QByteArray, request);
        Client client(m_server->serverPort());
        client.send(request);
        QTRY_VERIFY(client.done);
        QCOMPARE(statusLine(client.received), QByteArray("HTTP/1.0 400 Bad Request"));
        QVERIFY(client.received.endsWith("\r\n\r\nThe request is too long.\r\n"));
        QTRY_COMPARE(m_server->clientCount(), 0);
    }

    void requestJustWithinTheLimitIsAnswered()
    {
        QByteArray request = "GET /d/quotes.csv?s=MSFT HTTP/1.0\r\nX-Pad: \r\n\r\n";
        request.insert(request.indexOf("X-Pad: ") + 7, QByteArray(QuoteServer::kMaxRequestBytes - request.size(), 'p'));
        QCOMPARE(request.size(), QuoteServer::kMaxRequestBytes);
        Client client(m_server->serverPort());
        client.send(request);
        QTRY_VERIFY(client.done);
        QCOMPARE(client.received, okReply(kMsftLine));
    }

    void idleClientsAreDropped()
    {
        m_server->setIdleTimeout(1s);
        Client silent(m_server->serverPort());
        Client halfway(m_server->serverPort());
        halfway.send("GET /d/quotes.csv?s=MS");
        QTRY_COMPARE(m_server->clientCount(), 2);
        QTRY_VERIFY(silent.done);
        QTRY_VERIFY(halfway.done);
        QCOMPARE(silent.received, QByteArray());
        QCOMPARE(halfway.received, QByteArray());
        QTRY_COMPARE(m_server->clientCount(), 0);

        // The server is still there for the next client.
        Client next(m_server->serverPort());
        next.send(programRequest("MSFT"));
        QTRY_VERIFY(next.done);
        QCOMPARE(next.received, okReply(kMsftLine));
    }

    void servesManyClientsAtOnce()
    {
        const int count = 40;
        const QByteArray symbols[] = {"MSFT", "brk.b", "NOPE"};
        const QByteArray lines[] = {kMsftLine,
                                    R"("BRK.B",412.30,"6/7/2024","4:00pm",-1.05,413.00,414.10,410.95,3100000)",
                                    R"("NOPE",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)"};
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < count; ++i)
            clients.push_back(std::make_unique<Client>(m_server->serverPort()));
        // Every client sends the first half of its request and waits; all of
        // them are held open together, then each finishes in turn.
        for (int i = 0; i < count; ++i) {
            const QByteArray request = programRequest(symbols[i % 3]);
            clients[i]->send(request.left(request.size() / 2));
        }
        QTRY_COMPARE(m_server->clientCount(), count);
        for (int i = count - 1; i >= 0; --i) {
            const QByteArray request = programRequest(symbols[i % 3]);
            clients[i]->send(request.mid(request.size() / 2));
        }
        for (int i = 0; i < count; ++i) {
            QTRY_VERIFY(clients[i]->done);
            QCOMPARE(clients[i]->received, okReply(lines[i % 3]));
        }
        QTRY_COMPARE(m_server->clientCount(), 0);
    }

    void clientsBeyondTheLimitWaitTheirTurn()
    {
        m_server->setMaxClients(1);
        m_server->setIdleTimeout(500ms);
        Client silent(m_server->serverPort());
        QTRY_COMPARE(m_server->clientCount(), 1);
        Client waiting(m_server->serverPort());
        waiting.send(programRequest("MSFT"));
        QTRY_VERIFY(waiting.done);
        // It was answered only once the silent client's place came free.
        QVERIFY(silent.done);
        QCOMPARE(silent.received, QByteArray());
        QCOMPARE(waiting.received, okReply(kMsftLine));
    }

    void reloadsTheSnapshotWhenItChanges()
    {
        QSignalSpy loaded(m_server, &QuoteServer::snapshotLoaded);
        QSignalSpy failed(m_server, &QuoteServer::snapshotFailed);
        auto lineFor = [this](const char *symbol) {
            Client client(m_server->serverPort());
            QSignalSpy closed(&client.socket(), &QTcpSocket::disconnected);
            client.send(programRequest(symbol));
            return closed.wait() ? client.received : QByteArray("no reply");
        };
        QByteArray text = kSnapshot;

        // Written in place.
        text.replace("MSFT,27.50", "MSFT,28.00");
        QVERIFY(writeInPlace(text));
        QTRY_COMPARE(loaded.count(), 1);
        QCOMPARE(loaded.last().at(0).toInt(), 3);
        QVERIFY(lineFor("MSFT").contains("\"MSFT\",28.00,"));

        // Replaced by a new file, twice: the watch must survive the first replacement.
        text.replace("MSFT,28.00", "MSFT,29.00");
        QVERIFY(replaceFile(text));
        QTRY_COMPARE(loaded.count(), 2);
        QVERIFY(lineFor("MSFT").contains("\"MSFT\",29.00,"));
        text += "NEW,1.25,N/A,N/A,N/A,N/A,N/A,N/A,N/A\n";
        QVERIFY(replaceFile(text));
        QTRY_COMPARE(loaded.count(), 3);
        QCOMPARE(loaded.last().at(0).toInt(), 4);
        QCOMPARE(lineFor("new"), okReply(R"("NEW",1.25,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)"));

        // And edited in place after the replacements.
        text.replace("NEW,1.25", "NEW,1.50");
        QVERIFY(writeInPlace(text));
        QTRY_COMPARE(loaded.count(), 4);
        QVERIFY(lineFor("NEW").contains("\"NEW\",1.50,"));

        // A damaged snapshot, or none, leaves the served quotes as they were.
        QVERIFY(replaceFile("AAPL\nMSFT\n"));
        QTRY_VERIFY(failed.count() >= 1);
        QVERIFY(lineFor("MSFT").contains("\"MSFT\",29.00,"));
        QVERIFY(QFile::remove(snapshotPath()));
        QTRY_VERIFY(failed.count() >= 2);
        QVERIFY(lineFor("NEW").contains("\"NEW\",1.50,"));
        QCOMPARE(loaded.count(), 4);

        // Once back, it is picked up again.
        text.replace("NEW,1.50", "NEW,2.00");
        QVERIFY(replaceFile(text));
        QTRY_COMPARE(loaded.count(), 5);
        QVERIFY(lineFor("NEW").contains("\"NEW\",2.00,"));
    }

    void reportsBadRowsOnReload()
    {
        QSignalSpy loaded(m_server, &QuoteServer::snapshotLoaded);
        QVERIFY(replaceFile(kSnapshot + "BAD,x,N/A,N/A,N/A,N/A,N/A,N/A,N/A\n"));
        QTRY_COMPARE(loaded.count(), 1);
        QCOMPARE(loaded.last().at(0).toInt(), 3);
        QCOMPARE(loaded.last().at(1).toStringList(), QStringList{QStringLiteral("line 6: last: \"x\" is not a number")});
    }

    void refusesAMissingSnapshot()
    {
        QuoteServer server;
        QString error;
        QVERIFY(!server.setSnapshotFile(m_dir->filePath(QStringLiteral("none.csv")), &error));
        QVERIFY(error.contains(QStringLiteral("none.csv")));
    }

    void reportsAPortInUse()
    {
        QuoteServer second;
        QVERIFY(second.setSnapshotFile(snapshotPath()));
        QString error;
        QVERIFY(!second.listen(QHostAddress::LocalHost, m_server->serverPort(), &error));
        QVERIFY(!error.isEmpty());
    }

    void parsesListenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QHostAddress>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("default") << "127.0.0.1:8765" << true << QHostAddress(QStringLiteral("127.0.0.1")) << 8765;
        QTest::newRow("any, ephemeral") << "0.0.0.0:0" << true << QHostAddress(QStringLiteral("0.0.0.0")) << 0;
        QTest::newRow("localhost") << "localhost:80" << true << QHostAddress(QHostAddress::LocalHost) << 80;
        QTest::newRow("IPv6") << "[::1]:65535" << true << QHostAddress(QStringLiteral("::1")) << 65535;
        QTest::newRow("IPv6 without brackets") << "::1:8765" << false << QHostAddress() << 0;
        QTest::newRow("no port") << "127.0.0.1" << false << QHostAddress() << 0;
        QTest::newRow("empty port") << "127.0.0.1:" << false << QHostAddress() << 0;
        QTest::newRow("port too large") << "127.0.0.1:65536" << false << QHostAddress() << 0;
        QTest::newRow("signed port") << "127.0.0.1:+80" << false << QHostAddress() << 0;
        QTest::newRow("host name") << "example.org:80" << false << QHostAddress() << 0;
        QTest::newRow("bad address") << "127.0.0.300:80" << false << QHostAddress() << 0;
    }

    void parsesListenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QHostAddress, address);
        QFETCH(int, port);
        QHostAddress parsedAddress;
        quint16 parsedPort = 1;
        QCOMPARE(QuoteServer::parseListenAddress(text, &parsedAddress, &parsedPort), valid);
        if (valid) {
            QCOMPARE(parsedAddress, address);
            QCOMPARE(int(parsedPort), port);
        }
    }
};

QTEST_GUILESS_MAIN(TestQuoteServer)
#include "tst_quoteserver.moc"
