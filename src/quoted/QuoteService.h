#pragma once

#include "quoted/QuietFileWatch.h"
#include "quoted/QuoteServer.h"
#include "quoted/ServiceOptions.h"

#include <QObject>
#include <QString>

#include <memory>

class GroupedDailySource;
class HistoryService;
class MarketWatch;
class QTextStream;
class UpstreamQuotes;

// tarnvale-quoted put together: the server, the source its options and the
// configuration file choose (Massive's whole market, stooq's batches, or a
// snapshot file), the price history, the watched market files, and the log.
// When the
// configuration file changes, the source is set up afresh from it; the
// server keeps listening throughout.
class QuoteService : public QObject
{
    Q_OBJECT

public:
    QuoteService(ServiceOptions options, QTextStream &log, QObject *parent = nullptr);
    ~QuoteService() override;

    // Reads the configuration file, starts the source and listens; false,
    // with why, when the service cannot run.
    bool start(QString *error);
    // "listening on 127.0.0.1:8765, serving ..."
    QString banner() const;
    // Writes what the source keeps between runs (the closes).
    void saveState();

    QuoteServer &server() { return m_server; }

private:
    bool startSource(const ServiceOptions &options, QString *error);
    void stopSource();
    void reconfigure();
    void say(const QString &text);

    ServiceOptions m_commandLine;
    ServiceOptions m_options; // with the configuration file applied
    QTextStream &m_log;
    QuoteServer m_server;
    std::unique_ptr<HistoryService> m_history; // outlives every source, which writes to its store
    std::unique_ptr<UpstreamQuotes> m_upstream;
    std::unique_ptr<GroupedDailySource> m_daily;
    std::unique_ptr<MarketWatch> m_markets;
    QuietFileWatch m_config;
    bool m_started = false;
};
