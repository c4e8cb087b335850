#pragma once

#include "quotes/QuoteSourceConfig.h"

#include <QDateTime>
#include <QHostAddress>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <optional>

class QCommandLineParser;

// What tarnvale-quoted runs with: where it listens, which source it asks and
// how. The source comes from, in this order, the command line (--source,
// --snapshot, --source-url or its old name --upstream), the configuration
// file the program writes (quoted.conf), and otherwise Massive when a key is
// configured and stooq when not. The key comes from --api-key-file, then
// the environment's TARNVALE_API_KEY, then the configuration file; it is
// never printed.
struct ServiceOptions
{
    enum class Source { Massive, Stooq, Snapshot };

    QString listenText;
    QHostAddress address;
    quint16 port = 0;

    Source source = Source::Stooq;
    // Chosen on the command line or in the environment: the configuration
    // file cannot change them.
    bool sourceFixed = false;
    bool keyFixed = false;
    bool urlFixed = false;
    QString snapshotPath; // Snapshot
    QUrl sourceUrl;       // the source's base address
    QString apiKey;
    QString configPath; // the configuration file read, and watched for changes

    QByteArray suffix = ".us";
    int batch = 50;
    int maxInflight = 2;
    std::chrono::seconds refresh{600};
    QString statePath;
    QStringList marketFiles;
    QString historyPath;                 // the price history store
    int backfillDays = 365;              // how far back the keyed source fills it, in calendar days
    std::optional<QDateTime> clockStart; // a test's chosen hour of the trading week

    static QString sourceName(Source source);
    // The effective source and key with a configuration file's contents
    // applied; the command line and environment still win.
    ServiceOptions withConfig(const QuoteSourceConfig &config) const;
    // What a log may say of the source: its name and address, never the key.
    QString sourceDescription() const;
};

// Adds the service's options to parser.
void addServiceOptions(QCommandLineParser &parser);

// The options of a processed command line; nothing, with a reason, when one
// is wrong. programDir is the service's own folder, for the program's market
// files and the installed sample quotes.
std::optional<ServiceOptions> serviceOptions(const QCommandLineParser &parser, const QProcessEnvironment &environment,
                                             const QString &programDir, QString *error);
