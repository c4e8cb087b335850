#include "quoted/ServiceRequest.h"

#include "market/StockRecord.h"
#include "quotes/QuoteRequest.h"

#include <QList>

#include <algorithm>

namespace {

constexpr QByteArrayView kStatusPath = "/status";
constexpr QByteArrayView kHistoryPath = "/history.csv";
constexpr QByteArrayView kTechnicalsPath = "/technicals.csv";

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
           || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Strict: a "%" not followed by two hex digits makes the whole value bad.
// "+" stays a plus sign; only form posts use it for a blank.
std::optional<QByteArray> percentDecoded(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

QByteArrayView withoutCR(QByteArrayView line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

ServiceRequest refused(QByteArrayView status, QByteArrayView why)
{
    ServiceRequest request;
    request.refusal = httpError(status, why);
    return request;
}

} // namespace

QByteArray httpResponse(QByteArrayView status, QByteArrayView contentType, QByteArrayView body)
{
    QByteArray out;
    out.reserve(96 + body.size());
    out += "HTTP/1.0 ";
    out += status;
    out += "\r\nContent-Type: ";
    out += contentType;
    out += "\r\nContent-Length: ";
    out += QByteArray::number(body.size());
    out += "\r\n\r\n";
    out += body;
    return out;
}

QByteArray httpError(QByteArrayView status, QByteArrayView why)
{
    return httpResponse(status, "text/plain", why.toByteArray() + "\r\n");
}

ServiceRequest parseServiceRequest(QByteArrayView head, const std::function<bool(QByteArrayView)> &hostAllowed)
{
    // Empty lines before the request line are tolerated, as HTTP asks.
    while (head.startsWith("\r\n") || head.startsWith('\n'))
        head = head.sliced(head.startsWith('\n') ? 1 : 2);

    QList<QByteArrayView> lines;
    for (qsizetype pos = 0; pos < head.size();) {
        qsizetype nl = head.indexOf('\n', pos);
        if (nl < 0)
            nl = head.size();
        lines.append(withoutCR(head.sliced(pos, nl - pos)));
        pos = nl + 1;
    }
    if (lines.isEmpty())
        return refused("400 Bad Request", "The request line is missing.");

    std::optional<QByteArrayView> host;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        if (line.isEmpty() || line.startsWith(' ') || line.startsWith('\t'))
            continue; // the end, or a folded continuation
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.first(colon)))
            return refused("400 Bad Request", "A header line is malformed.");
        if (line.first(colon).compare("Host", Qt::CaseInsensitive) == 0) {
            if (host)
                return refused("400 Bad Request", "The Host header is given twice.");
            host = line.sliced(colon + 1).trimmed();
        }
    }

    const QByteArrayView requestLine = lines.first();
    const qsizetype space1 = requestLine.indexOf(' ');
    const qsizetype space2 = space1 < 0 ? -1 : requestLine.indexOf(' ', space1 + 1);
    if (space1 <= 0 || space2 < 0 || requestLine.indexOf(' ', space2 + 1) >= 0)
        return refused("400 Bad Request", "The request line is malformed.");
    const QByteArrayView method = requestLine.first(space1);
    const QByteArrayView target = requestLine.sliced(space1 + 1, space2 - space1 - 1);
    const QByteArrayView version = requestLine.sliced(space2 + 1);

    if (!isToken(method))
        return refused("400 Bad Request", "The method is malformed.");
    if (version.size() != 8 || !version.startsWith("HTTP/1.") || version[7] < '0' || version[7] > '9')
        return refused("400 Bad Request", "The HTTP version is not 1.x.");
    if (!target.startsWith('/')
        || std::any_of(target.begin(), target.end(), [](char c) { return c <= ' ' || c == '\x7F'; }))
        return refused("400 Bad Request", "The path is malformed.");
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly)
        return refused("501 Not Implemented", "Only GET and HEAD are served.");
    if (host && !hostAllowed(*host))
        return refused("421 Misdirected Request", "Only requests for this machine are served.");

    const qsizetype question = target.indexOf('?');
    const QByteArrayView path = question < 0 ? target : target.first(question);
    const QByteArrayView query = question < 0 ? QByteArrayView() : target.sliced(question + 1);
    ServiceRequest request;
    request.headOnly = headOnly;
    if (path == kStatusPath) {
        request.kind = ServiceRequest::Kind::Status;
        return request;
    }
    if (path == kTechnicalsPath) {
        request.kind = ServiceRequest::Kind::Technicals;
        return request;
    }
    const bool history = path == kHistoryPath;
    if (!history && path != QByteArrayView(QuotePath)) {
        request.kind = ServiceRequest::Kind::Unknown;
        return request;
    }
    std::optional<QByteArray> symbol;
    std::optional<QByteArray> from;
    for (qsizetype pos = 0; pos <= query.size();) {
        qsizetype amp = query.indexOf('&', pos);
        if (amp < 0)
            amp = query.size();
        const QByteArrayView pair = query.sliced(pos, amp - pos);
        pos = amp + 1;
        const qsizetype equals = pair.indexOf('=');
        const QByteArrayView name = equals < 0 ? pair : pair.first(equals);
        const QByteArrayView value = equals < 0 ? QByteArrayView() : pair.sliced(equals + 1);
        if (name == "s" && !symbol) {
            symbol = percentDecoded(value);
            if (!symbol)
                return refused("400 Bad Request", "The symbol is not properly percent-encoded.");
        } else if (name == "f" && !history) {
            // Another field list would get the fields in the wrong places.
            const std::optional<QByteArray> fields = percentDecoded(value);
            if (!fields || *fields != QuoteFieldList)
                return refused("400 Bad Request",
                               QByteArray("Only the field list f=") + QuoteFieldList + " is served.");
        } else if (name == "from" && history && !from) {
            from = value.toByteArray();
        }
    }
    if (!symbol || symbol->isEmpty())
        return refused("400 Bad Request", "The symbol (s=) is missing.");
    if (symbol->size() > kMaxSymbolLength) // no market lists one
        return refused("400 Bad Request", "The symbol is longer than 32 characters.");
    if (history) {
        // The symbol is looked up in the store, asked of the source and said
        // back in a sentence: no blanks or control characters.
        if (std::any_of(symbol->cbegin(), symbol->cend(), [](char c) { return c <= ' ' || c >= '\x7F'; }))
            return refused("400 Bad Request", "The symbol holds a blank or a character that is not ASCII.");
        if (from) {
            // Only YYYY-MM-DD, not the other forms ISO 8601 allows.
            request.from = from->size() == 10 ? QDate::fromString(QString::fromLatin1(*from), Qt::ISODate) : QDate();
            if (!request.from.isValid())
                return refused("400 Bad Request", "The date (from=) is not a valid YYYY-MM-DD date.");
        }
    }
    request.kind = history ? ServiceRequest::Kind::History : ServiceRequest::Kind::Quote;
    request.symbol = *symbol;
    return request;
}
