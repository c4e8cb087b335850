// Feeds arbitrary request heads to the quote service's request parser, and
// arbitrary JSON to the keyed source's reader. A quote request it accepts
// names a symbol of 1 to 32 bytes; a refusal carries a whole HTTP answer; a
// Host that the server turns down is never served; the daily bars read are
// of servable tickers with finite closes; a symbol's history read is in
// ascending dates, one bar a date.
#include "quoted/GroupedDaily.h"
#include "quoted/ServiceRequest.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    bool hostSeen = false;
    const ServiceRequest request = parseServiceRequest(bytes, [&hostSeen](QByteArrayView) {
        hostSeen = true;
        return false;
    });
    switch (request.kind) {
    case ServiceRequest::Kind::Refused:
        if (!request.refusal.startsWith("HTTP/1.0 4") && !request.refusal.startsWith("HTTP/1.0 5"))
            std::abort();
        break;
    case ServiceRequest::Kind::Quote:
    case ServiceRequest::Kind::History:
        if (request.symbol.isEmpty() || request.symbol.size() > 32)
            std::abort();
        [[fallthrough]];
    case ServiceRequest::Kind::Status:
    case ServiceRequest::Kind::Technicals:
    case ServiceRequest::Kind::Unknown:
        if (hostSeen) // every Host was turned down, so nothing with one may be served
            std::abort();
        break;
    }
    if (const std::optional<QList<GroupedBar>> bars = parseGroupedDaily(bytes)) {
        for (const GroupedBar &bar : *bars) {
            if (bar.symbol.isEmpty() || bar.symbol.size() > 32 || !std::isfinite(bar.close) || bar.close < 0)
                std::abort();
        }
    }
    if (const std::optional<BarSeries> series = parseAggregates(bytes)) {
        for (size_t i = 1; i < series->size(); ++i) {
            if (!((*series)[i - 1].date < (*series)[i].date))
                std::abort();
        }
    }
    return 0;
}
