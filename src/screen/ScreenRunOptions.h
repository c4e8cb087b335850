#pragma once

#include "market/MarketStore.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The options that make the program update markets and run saved screens
// without a window, from a terminal, cron or a timer.
struct ScreenRunOptions
{
    bool update = false;             // --update: refresh the markets before screening
    QList<MarketInfo> markets;       // of --update, else of --market; both by default
    bool onlyExistingMarkets = true; // "all": the markets whose file is there
    QString screen;                  // --screen: one saved screen; empty for none
    QString exportPath;              // --export: the CSV file; "-" standard output
    bool notify = false;             // --notify: the named screen, else every screen listed to notify
    bool tradingDaysOnly = false;    // --trading-day: nothing on a day the exchange is closed
};

namespace ScreenRun {

// The options for the parser, --help and the manual alike.
QList<QCommandLineOption> options();

// True when the arguments (program name first) hold one of the options: the
// program then runs without a window.
bool wanted(const QStringList &arguments);

// The options, or nullopt and one line saying what is wrong: an unknown
// option, a stray argument, an unknown market, or options that do not go
// together.
std::optional<ScreenRunOptions> read(const QStringList &arguments, QString *error = nullptr);

// The exit statuses of a run.
enum Status {
    Success = 0,
    BadRequest = 2,  // a bad option, an unknown screen or market
    Unreachable = 3, // the quote service could not be reached or its source refused
    FileFailure = 4, // a file could not be written, or read to be written again
};

} // namespace ScreenRun
