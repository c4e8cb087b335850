// tarnvale-symbols: fills or refreshes a market file from the exchange's
// official symbol directory, read from a web address or a local folder.
#include "base/CommandLine.h"
#include "base/Text.h"
#include "market/MarketStore.h"
#include "market/SafeFile.h"
#include "market/SymbolDirectory.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

using SymbolDirectory::Exchange;
using SymbolDirectory::Prune;

namespace {

constexpr const char *kDefaultDirectory = "https://www.nasdaqtrader.com/dynamic/SymDir/";
constexpr int kDownloadTimeoutMs = 60'000;

QTextStream out(stdout);
QTextStream err(stderr);

// Merges the directory's symbols into the market file and saves it; the
// file is written only when everything before succeeded.
int apply(const QByteArray &text, Exchange exchange, const QString &marketPath, Prune prune)
{
    // Copies left by a save that was killed half-way would pile up.
    SafeFile::removeStaleCopies(marketPath);
    QString why;
    const std::optional<SymbolDirectory::Listing> listed = SymbolDirectory::parse(text, exchange, &why);
    if (!listed) {
        err << "tarnvale-symbols: " << why << "; the market file is left as it was\n";
        return 1;
    }
    MarketDatabase db;
    if (QFileInfo::exists(marketPath) && !readMarketFile(marketPath, &db, &why)) {
        err << "tarnvale-symbols: cannot read " << marketPath << ": " << why << '\n';
        return 1;
    }
    const std::optional<SymbolDirectory::MergeCounts> counts = SymbolDirectory::merge(db, *listed, prune, &why);
    if (!counts) {
        MarketDatabase copy = db;
        const bool guarded = prune == Prune::Guarded && SymbolDirectory::merge(copy, *listed, Prune::Forced);
        err << "tarnvale-symbols: " << why << "; the market file is left as it was"
            << (guarded ? " (--force prunes all the same)" : "") << '\n';
        return 1;
    }
    if (!writeMarketFile(marketPath, db, &why)) {
        err << "tarnvale-symbols: cannot save " << marketPath << ": " << why << '\n';
        return 1;
    }
    const QLocale c = QLocale::c();
    out << QDir::toNativeSeparators(marketPath) << ": " << c.toString(counts->added) << " added, "
        << c.toString(counts->kept) << " kept, " << c.toString(counts->removed) << " removed";
    if (counts->unlisted > 0)
        out << " (" << c.toString(counts->unlisted) << " no longer listed, kept; --prune removes them)";
    if (counts->elsewhere > 0)
        out << " (" << c.toString(counts->elsewhere) << " listed on another exchange now, kept)";
    if (listed->skipped > 0)
        out << "; " << c.toString(listed->skipped) << " directory rows skipped (" << c.toString(listed->overLong)
            << " with a symbol longer than " << kMaxSymbolLength << " characters)";
    out << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine::nameProgram(QStringLiteral("tarnvale-symbols"));
    QCommandLineParser parser;
    CommandLine::addStandardOptions(
        parser, QStringLiteral("Fills or refreshes a Tarnvale market file from the exchange's symbol directory "
                               "(nasdaqlisted.txt for nasdaq, otherlisted.txt for nyse)."));
    const QCommandLineOption directoryOption(
        QStringLiteral("directory"),
        QStringLiteral("Base URL or local folder of the symbol directory (default %1).")
            .arg(QLatin1StringView(kDefaultDirectory)),
        QStringLiteral("URL-or-FOLDER"), QString::fromLatin1(kDefaultDirectory));
    const QCommandLineOption pruneOption(
        QStringLiteral("prune"), QStringLiteral("Remove symbols the directory no longer lists (never those it lists on "
                                                "another exchange). Refused when the directory lists no symbols for "
                                                "the market or more than a quarter of the market would go."));
    const QCommandLineOption forceOption(QStringLiteral("force"),
                                         QStringLiteral("With --prune: prune even when that is refused."));
    parser.addOptions({directoryOption, pruneOption, forceOption});
    parser.addPositionalArgument(QStringLiteral("market"), QStringLiteral("nasdaq or nyse"));
    parser.addPositionalArgument(QStringLiteral("MARKETFILE"), QStringLiteral("The market file to fill or refresh."));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 2 || (args[0] != u"nasdaq" && args[0] != u"nyse")) {
        err << "usage: tarnvale-symbols [--directory URL-or-FOLDER] [--prune [--force]] nasdaq|nyse MARKETFILE\n";
        return 2;
    }
    if (parser.isSet(forceOption) && !parser.isSet(pruneOption)) {
        err << "tarnvale-symbols: --force goes with --prune\n";
        return 2;
    }
    const Exchange exchange = args[0] == u"nasdaq" ? Exchange::Nasdaq : Exchange::Nyse;
    const QString marketPath = args[1];
    const Prune prune = !parser.isSet(pruneOption)  ? Prune::No
                        : parser.isSet(forceOption) ? Prune::Forced
                                                    : Prune::Guarded;
    const QString directory = parser.value(directoryOption);
    const QUrl url(directory);

    if (url.scheme() != u"http" && url.scheme() != u"https") {
        const QString folder = url.isLocalFile() ? url.toLocalFile() : directory;
        QFile file(QDir(folder).filePath(SymbolDirectory::fileName(exchange)));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "tarnvale-symbols: " << file.fileName() << ": " << file.errorString() << '\n';
            return 1;
        }
        return apply(file.readAll(), exchange, marketPath, prune);
    }

    QUrl fileUrl = url;
    QString path = fileUrl.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    fileUrl.setPath(path + SymbolDirectory::fileName(exchange));
    QNetworkAccessManager network;
    const QHostAddress host(url.host());
    if (url.host() == u"localhost" || host.isLoopback())
        network.setProxy(QNetworkProxy::NoProxy); // a directory on this machine is never behind a proxy
    QNetworkRequest request(fileUrl);
    request.setTransferTimeout(kDownloadTimeoutMs);
    QNetworkReply *reply = network.get(request);
    int code = 1;
    QObject::connect(reply, &QNetworkReply::finished, &app, [&] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status != 200)
            err << "tarnvale-symbols: " << fileUrl.toDisplayString() << ": " << printable(reply->errorString().toUtf8())
                << "; the market file is left as it was\n";
        else
            code = apply(reply->readAll(), exchange, marketPath, prune);
        reply->deleteLater();
        app.exit(code);
    });
    app.exec();
    return code;
}
