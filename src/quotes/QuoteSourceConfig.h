#pragma once

#include <QString>

#include <optional>

// The quote service's choice of source, shared by the program, which writes
// it from "Tools" > "Quote Source...", and the service, which reads it at
// start and whenever it changes. It is a small INI file:
//
//   [Source]
//   Name=massive
//   Url=
//   ApiKey=...
//
// It may hold an API key, so it is written with mode 0600 and its key is
// never shown, logged or put on a command line.
struct QuoteSourceConfig
{
    QString name;   // "massive", "stooq" or "snapshot"; empty: the service's own choice
    QString url;    // the source's base address; empty: the source's default
    QString apiKey; // empty: none

    friend bool operator==(const QuoteSourceConfig &, const QuoteSourceConfig &) = default;
};

// The sources the service knows, as written in the file.
inline constexpr const char *kQuoteSourceNames[] = {"massive", "stooq", "snapshot"};

// ~/.config/Tarnvale/quoted.conf (under $XDG_CONFIG_HOME when set).
QString quoteSourceConfigPath();

// A missing file gives an empty configuration. A file that cannot be read,
// or names an unknown source, fails with a reason.
std::optional<QuoteSourceConfig> readQuoteSourceConfig(const QString &path, QString *error = nullptr);

// Writes the whole file atomically with mode 0600, creating its folder.
// Values with line breaks or other control characters are refused.
bool writeQuoteSourceConfig(const QString &path, const QuoteSourceConfig &config, QString *error = nullptr);
