// Feeds arbitrary bytes to the market file reader; whatever it accepts must
// write back to the same bytes it read (up to the ignored tail).
#include "market/MarketDatabase.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<MarketDatabase> db = MarketFormat::decode(bytes);
    if (!db)
        return 0;
    const QByteArray again = MarketFormat::encode(*db);
    if (again.size() > bytes.size() || QByteArrayView(again) != bytes.first(again.size()))
        std::abort();
    return 0;
}
