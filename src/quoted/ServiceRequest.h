#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>

#include <functional>
#include <optional>

// One request to the quote service, taken apart: a quote, the status, a
// symbol's price history, the indicators of every symbol, a path the service
// does not serve, or a refusal with its whole answer.
struct ServiceRequest
{
    enum class Kind { Refused, Quote, Status, History, Technicals, Unknown };

    Kind kind = Kind::Refused;
    QByteArray symbol;     // Quote, History: percent-decoded, 1 to 32 bytes
    QDate from;            // History: the first day wanted; null for all
    bool headOnly = false; // HEAD: the answer goes without its body
    QByteArray refusal;    // Refused: the whole HTTP answer (400, 421 or 501)
};

// Takes a request head apart (request line and headers, up to the empty
// line). A Host header that hostAllowed turns down is refused with 421.
// Pure: the server's state plays no part but through hostAllowed.
ServiceRequest parseServiceRequest(QByteArrayView head, const std::function<bool(QByteArrayView)> &hostAllowed);

// An HTTP/1.0 answer with the body given, and a plain-text error answer.
QByteArray httpResponse(QByteArrayView status, QByteArrayView contentType, QByteArrayView body);
QByteArray httpError(QByteArrayView status, QByteArrayView why);
