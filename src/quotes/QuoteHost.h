#pragma once

#include <QString>

// Where the quote service lives: the setting "QuoteHost" in section "Service"
// of the program's settings store, "host" or "host:port" ("[v6addr]:port" for
// an IPv6 address). No port means 80; no setting means the bundled service.
struct QuoteHost
{
    QString host;
    quint16 port = 0; // 0 only for a setting that names no usable port

    bool isValid() const { return !host.isEmpty() && port != 0; }
    friend bool operator==(const QuoteHost &, const QuoteHost &) = default;
};

inline constexpr char QuoteHostSection[] = "Service";
inline constexpr char QuoteHostKey[] = "QuoteHost";
inline constexpr char DefaultQuoteHost[] = "localhost:8765";
inline constexpr quint16 DefaultQuotePort = 80;

// Reads a setting's text. Blank text gives the bundled service; a text whose
// port is not a number from 1 to 65535 gives an invalid host, which fails to
// connect like a service that is not there.
QuoteHost parseQuoteHost(const QString &text);

// The setting as it stands in the settings store now.
QuoteHost quoteHostSetting();
