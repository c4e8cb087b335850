// Feeds arbitrary bytes to the quote reply parser. Whatever it accepts must
// hold finite numbers and store exactly those into a record; the symbol's
// request path must keep the request's shape whatever the bytes are.
#include "quotes/QuoteReply.h"
#include "quotes/QuoteRequest.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QuoteReply reply = parseQuoteReply(bytes);
    if (reply.quote.has_value() != (reply.fault == ReplyFault::None))
        std::abort();
    if (reply.quote) {
        const ParsedQuote &q = *reply.quote;
        for (double v : {double(q.Last), double(q.Spread), q.Volume, double(q.Change), double(q.Open), double(q.High),
                         double(q.Low)}) {
            if (!std::isfinite(v))
                std::abort();
        }
        StockRecord record;
        record.Symbol = QStringLiteral("X");
        storeQuote(q, record);
        if (record.Last != q.Last || record.Spread != q.Spread || record.Volume != q.Volume || record.Change != q.Change
            || record.Open != q.Open || record.High != q.High || record.Low != q.Low
            || record.Symbol != QStringLiteral("X"))
            std::abort();
    }

    const QString text = QString::fromLatin1(bytes);
    const qsizetype at = FindTextNoCase(u"proxy error", text, 1);
    if (at < 0 || at > text.size())
        std::abort();

    const QByteArray request = quoteRequest(quotePath(QString::fromUtf8(bytes)));
    const qsizetype lineEnd = request.indexOf("\r\n");
    if (request.count("\r\n") != 5 || request.left(lineEnd).count(' ') != 2 || !request.endsWith("\r\n\r\n"))
        std::abort();
    return 0;
}
