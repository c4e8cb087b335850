// Feeds arbitrary bytes to the parsers of the service's history and
// technicals tables. Whatever they accept must be written back as a table
// that reads the same again: same rows, ascending dates, finite numbers.
#include "history/HistoryCsv.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<BarSeries> bars = parseHistoryCsv(bytes)) {
        for (size_t i = 0; i < bars->size(); ++i) {
            const DailyBar &bar = (*bars)[i];
            if (!bar.date.isValid() || (i > 0 && (*bars)[i - 1].date >= bar.date) || bar.volume < 0)
                std::abort();
        }
        const QByteArray written = historyCsv(*bars);
        const std::optional<BarSeries> again = parseHistoryCsv(written);
        if (!again || again->size() != bars->size() || historyCsv(*again) != written)
            std::abort();
    }
    if (const std::optional<std::vector<TechnicalRow>> rows = parseTechnicalsCsv(bytes)) {
        const QByteArray written = technicalsCsv(*rows);
        const std::optional<std::vector<TechnicalRow>> again = parseTechnicalsCsv(written);
        if (!again || again->size() != rows->size() || technicalsCsv(*again) != written)
            std::abort();
    }
    return 0;
}
