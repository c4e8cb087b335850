// tarnvale-quoted: the bundled local quote service. Answers the program's
// quote requests over HTTP/1.0 from a quotes snapshot file.
#include "quotes/QuoteServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnvale-quoted"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tarnvale's local quote service."));
    parser.addHelpOption();
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address and port to listen on (default 127.0.0.1:8765)."),
                                          QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8765"));
    const QCommandLineOption snapshotOption(
        QStringLiteral("snapshot"),
        QStringLiteral("Quotes snapshot to serve (default quotes/sample-quotes.csv beside the program)."),
        QStringLiteral("FILE"),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quotes/sample-quotes.csv")));
    parser.addOption(listenOption);
    parser.addOption(snapshotOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.positionalArguments().isEmpty()) {
        err << "tarnvale-quoted: unexpected argument \"" << parser.positionalArguments().first() << "\"\n";
        return 2;
    }
    QHostAddress address;
    quint16 port = 0;
    const QString listenText = parser.value(listenOption);
    if (!QuoteServer::parseListenAddress(listenText, &address, &port)) {
        err << "tarnvale-quoted: \"" << listenText
            << "\" is not ADDRESS:PORT (an IP address or localhost, and a port from 0 to 65535)\n";
        return 2;
    }

    QuoteServer server;
    bool started = false;
    QObject::connect(&server, &QuoteServer::snapshotLoaded, &server,
                     [&err, &started](int quotes, const QStringList &warnings, int badRows) {
                         for (const QString &warning : warnings)
                             err << "tarnvale-quoted: snapshot " << warning << '\n';
                         if (badRows > warnings.size())
                             err << "tarnvale-quoted: snapshot: " << badRows << " rows left out in all\n";
                         if (started)
                             err << "tarnvale-quoted: snapshot reloaded, serving " << quotes << " quotes\n";
                         err.flush();
                     });

    QString error;
    const QString snapshot = parser.value(snapshotOption);
    if (!server.setSnapshotFile(snapshot, &error)) {
        err << "tarnvale-quoted: cannot read the quotes snapshot " << error << '\n';
        return 1;
    }
    // Later failures (a half-saved edit, say) leave the served quotes as they were.
    QObject::connect(&server, &QuoteServer::snapshotFailed, &server, [&err](const QString &why) {
        err << "tarnvale-quoted: snapshot not reloaded, still serving the previous quotes: " << why << '\n';
        err.flush();
    });
    if (!server.listen(address, port, &error)) {
        err << "tarnvale-quoted: cannot listen on " << listenText << ": " << error << '\n';
        return 1;
    }

    const QHostAddress bound = server.serverAddress();
    const QString host = bound.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(bound.toString())
                             : bound.toString();
    out << "tarnvale-quoted: listening on " << host << ':' << server.serverPort() << ", serving "
        << server.quoteCount() << " quotes from " << QDir::toNativeSeparators(snapshot) << '\n';
    out.flush();
    started = true;
    return app.exec();
}
