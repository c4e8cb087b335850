#include "screen/ScreenRunOptions.h"

#include "base/ErrorReturn.h"

#include <QCommandLineParser>

namespace {

// nullopt for a name that is no market.
std::optional<QList<MarketInfo>> marketsNamed(const QString &name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("all"))
        return QList<MarketInfo>{kNasdaq, kNyse};
    for (const MarketInfo &market : {kNasdaq, kNyse}) {
        if (n == QString::fromLatin1(market.menuCaption).toLower())
            return QList<MarketInfo>{market};
    }
    return std::nullopt;
}

} // namespace

namespace ScreenRun {

QList<QCommandLineOption> options()
{
    const QString market = QStringLiteral("market");
    return {
        {QStringLiteral("update"),
         QStringLiteral("Update the database of <market> (nasdaq, nyse or all) from the quote service, without a "
                        "window."),
         market},
        {QStringLiteral("screen"), QStringLiteral("Run the saved screen <name> and print the matching symbols."),
         QStringLiteral("name")},
        {market, QStringLiteral("The markets screened without --update: nasdaq, nyse or all (the default)."), market},
        {QStringLiteral("export"),
         QStringLiteral("Write the matches of --screen as CSV to <file> (\"-\" for standard output)."),
         QStringLiteral("file")},
        {QStringLiteral("notify"),
         QStringLiteral("Show a desktop notification of the stocks that entered the screen since the last one; "
                        "without --screen, for every screen marked \"Notify Me\".")},
        {QStringLiteral("trading-day"),
         QStringLiteral("Do nothing unless today is a trading day of the New York Stock Exchange.")},
    };
}

bool wanted(const QStringList &arguments)
{
    for (const QString &arg : arguments.mid(1)) {
        for (const QCommandLineOption &option : options()) {
            const QString name = QStringLiteral("--") + option.names().constFirst();
            if (arg == name || arg.startsWith(name + u'='))
                return true;
        }
    }
    return false;
}

std::optional<ScreenRunOptions> read(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.addOptions(options());
    const auto refuse = [error](const QString &why) {
        fail(error, why);
        return std::nullopt;
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("Unexpected argument \"%1\".").arg(parser.positionalArguments().constFirst()));
    ScreenRunOptions o;
    o.update = parser.isSet(QStringLiteral("update"));
    o.screen = parser.value(QStringLiteral("screen"));
    o.exportPath = parser.value(QStringLiteral("export"));
    o.notify = parser.isSet(QStringLiteral("notify"));
    o.tradingDaysOnly = parser.isSet(QStringLiteral("trading-day"));
    const bool screens = parser.isSet(QStringLiteral("screen")) || o.notify;
    if (o.update && parser.isSet(QStringLiteral("market")))
        return refuse(QStringLiteral("--market is for screens run without --update, which names its own markets."));
    if (parser.isSet(QStringLiteral("market")) && !screens)
        return refuse(QStringLiteral("--market needs --screen or --notify."));
    if (parser.isSet(QStringLiteral("screen")) && o.screen.trimmed().isEmpty())
        return refuse(QStringLiteral("--screen needs the name of a saved screen."));
    if (parser.isSet(QStringLiteral("export")) && (o.screen.isEmpty() || o.exportPath.isEmpty()))
        return refuse(QStringLiteral("--export needs a file name and --screen."));
    if (!o.update && !screens)
        return refuse(QStringLiteral("Nothing to do: give --update, --screen or --notify."));
    const QString named = o.update                                 ? parser.value(QStringLiteral("update"))
                          : parser.isSet(QStringLiteral("market")) ? parser.value(QStringLiteral("market"))
                                                                   : QStringLiteral("all");
    const std::optional<QList<MarketInfo>> markets = marketsNamed(named);
    if (!markets)
        return refuse(QStringLiteral("Unknown market \"%1\": nasdaq, nyse or all.").arg(named));
    o.markets = *markets;
    o.onlyExistingMarkets = markets->size() > 1;
    return o;
}

} // namespace ScreenRun
