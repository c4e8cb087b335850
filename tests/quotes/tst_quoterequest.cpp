#include "app/SettingsTable.h"
#include "common/TestSettings.h"
#include "quotes/QuoteHost.h"
#include "quotes/QuoteRequest.h"
#include "quotes/QuoteTransport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// The bytes of the quote request, the symbol's encoding in its path, and the
// setting that says where the quote service lives.
class TestQuoteRequest : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes()
    {
        QCOMPARE(quoteRequest(QStringLiteral("/x")),
                 QByteArray("GET /x HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\nAccept: cvs\r\n\r\n"));
    }

    // What really goes over the wire, captured by a loopback server.
    void requestOnTheWire()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QByteArray received;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [&received, peer] {
                received += peer->readAll();
                if (received.endsWith("\r\n\r\n"))
                    peer->disconnectFromHost();
            });
        });
        QuoteTransport transport;
        QSignalSpy done(&transport, &QuoteTransport::finished);
        QVERIFY(transport.SendQuoteRequest(QStringLiteral("127.0.0.1"), quotePath(QStringLiteral("MSFT")),
                                           server.serverPort()));
        QVERIFY(done.wait(5000));
        QCOMPARE(received, QByteArray("GET /d/quotes.csv?s=MSFT&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\n"
                                      "Accept: */*\r\n"
                                      "Accept: text/html\r\n"
                                      "Accept: cvs\r\n"
                                      "\r\n"));
        QCOMPARE(received.count("\r\n"), 5);
        QVERIFY(!received.toLower().contains("host:"));
    }

    void path_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("plain") << QStringLiteral("MSFT") << QStringLiteral("MSFT");
        QTest::newRow("lower case kept") << QStringLiteral("msft") << QStringLiteral("msft");
        QTest::newRow("unreserved marks") << QStringLiteral("BRK.A-b_c~9") << QStringLiteral("BRK.A-b_c~9");
        QTest::newRow("blank") << QStringLiteral("A B") << QStringLiteral("A%20B");
        QTest::newRow("ampersand") << QStringLiteral("A&f=x") << QStringLiteral("A%26f%3Dx");
        QTest::newRow("percent") << QStringLiteral("50%") << QStringLiteral("50%25");
        QTest::newRow("line break") << QStringLiteral("X\r\nHost: evil")
                                    << QStringLiteral("X%0D%0AHost%3A%20evil");
        QTest::newRow("plus and slash") << QStringLiteral("+/?#") << QStringLiteral("%2B%2F%3F%23");
        QTest::newRow("non-ASCII as UTF-8") << QStringLiteral("\u00C4B") << QStringLiteral("%C3%84B");
        QTest::newRow("empty") << QString() << QString();
    }

    void path()
    {
        QFETCH(QString, symbol);
        QFETCH(QString, encoded);
        const QString p = quotePath(symbol);
        QCOMPARE(p, QStringLiteral("/d/quotes.csv?s=") + encoded + QStringLiteral("&f=sl1d1t1c1ohgv&e=.csv"));
        // Whatever was typed, the request keeps its five lines and its
        // request line its three words.
        const QByteArray request = quoteRequest(p);
        QCOMPARE(request.count("\r\n"), 5);
        QCOMPARE(request.left(request.indexOf("\r\n")).count(' '), 2);
    }

    void host_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("absent") << QString() << QStringLiteral("localhost") << 8765;
        QTest::newRow("blank") << QStringLiteral("   ") << QStringLiteral("localhost") << 8765;
        QTest::newRow("host alone is port 80") << QStringLiteral("quotes.example.net")
                                               << QStringLiteral("quotes.example.net") << 80;
        QTest::newRow("host and port") << QStringLiteral("quotes.example.net:8080")
                                       << QStringLiteral("quotes.example.net") << 8080;
        QTest::newRow("blanks around") << QStringLiteral(" 127.0.0.1:81 ") << QStringLiteral("127.0.0.1") << 81;
        QTest::newRow("IPv6 with port") << QStringLiteral("[::1]:9000") << QStringLiteral("::1") << 9000;
        QTest::newRow("IPv6 in brackets") << QStringLiteral("[::1]") << QStringLiteral("::1") << 80;
        QTest::newRow("bare IPv6") << QStringLiteral("::1") << QStringLiteral("::1") << 80;
        QTest::newRow("port 0") << QStringLiteral("h:0") << QStringLiteral("h") << 0;
        QTest::newRow("port too big") << QStringLiteral("h:65536") << QStringLiteral("h") << 0;
        QTest::newRow("port not a number") << QStringLiteral("h:http") << QStringLiteral("h") << 0;
        QTest::newRow("empty port") << QStringLiteral("h:") << QStringLiteral("h") << 0;
        QTest::newRow("no host") << QStringLiteral(":8765") << QString() << 8765;
    }

    void host()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const QuoteHost parsed = parseQuoteHost(text);
        QCOMPARE(parsed.host, host);
        QCOMPARE(int(parsed.port), port);
        QCOMPARE(parsed.isValid(), !host.isEmpty() && port != 0);
    }

    void hostSetting()
    {
        TestSettings settings;
        QCOMPARE(quoteHostSetting(), (QuoteHost{QStringLiteral("localhost"), 8765}));
        {
            const QString app = QString::fromLatin1(kSettingsApplication);
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, app);
            store.setValue(QStringLiteral("Service/QuoteHost"), QStringLiteral("quotes.example.net"));
        }
        QCOMPARE(quoteHostSetting(), (QuoteHost{QStringLiteral("quotes.example.net"), 80}));
        {
            const QString app = QString::fromLatin1(kSettingsApplication);
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, app);
            store.setValue(QStringLiteral("Service/QuoteHost"), QString());
        }
        QCOMPARE(quoteHostSetting(), (QuoteHost{QStringLiteral("localhost"), 8765}));
    }
};

QTEST_GUILESS_MAIN(TestQuoteRequest)
#include "tst_quoterequest.moc"
