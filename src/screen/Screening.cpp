#include "screen/Screening.h"

#include "screen/NumberFormat.h"

#include <algorithm>
#include <limits>

namespace {

std::optional<double> readBound(const Criterion &criterion, const QString &text)
{
    if (criterion.doubleBounds)
        return NumberFormat::parseAmount(text);
    // Rounded to the field's own precision, so a bound typed as the stored
    // value compares equal to it.
    const std::optional<float> bound = NumberFormat::parseSingleAmount(text);
    return bound ? std::optional<double>(double(*bound)) : std::nullopt;
}

// The walks index the list with int; a longer list is cut at what int reaches.
int listedWalkCount(const MarketDatabase &db)
{
    return int(qMin<qsizetype>(db.listedCount(), std::numeric_limits<int>::max()));
}

} // namespace

std::optional<ScreenBounds> readScreenBounds(const CriteriaBoxes &boxes, int *badCriterion)
{
    ScreenBounds bounds;
    for (size_t i = 0; i < kCriteria.size(); ++i) {
        if (!boxes[i].ticked)
            continue;
        const std::optional<double> start = readBound(kCriteria[i], boxes[i].start);
        const std::optional<double> end = readBound(kCriteria[i], boxes[i].end);
        if (!start || !end) {
            if (badCriterion)
                *badCriterion = int(i);
            return std::nullopt;
        }
        bounds[i] = {true, *start, *end};
    }
    return bounds;
}

std::optional<TechnicalRanges> readTechnicalRanges(const CriteriaBoxes &boxes, int *badMeasure)
{
    TechnicalRanges ranges;
    for (size_t m = 0; m < kTechnicalMeasures.size(); ++m) {
        const CriterionBoxes &b = boxes[technicalBox(m)];
        if (!b.ticked)
            continue;
        const std::optional<double> start = NumberFormat::parseSignedAmount(b.start);
        const std::optional<double> end = NumberFormat::parseSignedAmount(b.end);
        if (!start || !end) {
            if (badMeasure)
                *badMeasure = int(m);
            return std::nullopt;
        }
        ranges[m] = {true, *start, *end};
    }
    return ranges;
}

bool anyTicked(const TechnicalRanges &ranges)
{
    return std::any_of(ranges.begin(), ranges.end(), [](const CriterionBounds &b) { return b.ticked; });
}

namespace {

QString badBounds(const char *caption)
{
    return QStringLiteral("\"%1\" needs a number in both its Start and End boxes.").arg(QString::fromLatin1(caption));
}

} // namespace

QString badBoundsMessage(const Criterion &criterion)
{
    return badBounds(criterion.caption);
}

QString badBoundsMessage(const TechnicalMeasure &measure)
{
    return badBounds(measure.caption);
}

bool passesScreen(const StockRecord &stock, const ScreenBounds &bounds)
{
    bool anyTicked = false;
    for (size_t i = 0; i < kCriteria.size(); ++i) {
        if (!bounds[i].ticked)
            continue;
        anyTicked = true;
        const double value = kCriteria[i].field(stock);
        if (!(bounds[i].start <= value && value <= bounds[i].end))
            return false;
    }
    return anyTicked;
}

QList<int> allStocks(const MarketDatabase &db)
{
    const int n = listedWalkCount(db);
    QList<int> indexes(n);
    for (int i = 0; i < n; ++i)
        indexes[i] = i;
    return indexes;
}

QList<int> matchStocks(const MarketDatabase &db, const ScreenBounds &bounds)
{
    QList<int> indexes;
    const int n = listedWalkCount(db);
    for (int i = 0; i < n; ++i) {
        if (passesScreen(db.Stocks[i], bounds))
            indexes.append(i);
    }
    return indexes;
}

bool passesTechnicals(const TechnicalRow *row, const TechnicalRanges &ranges)
{
    for (size_t m = 0; m < kTechnicalMeasures.size(); ++m) {
        if (!ranges[m].ticked)
            continue;
        if (!row)
            return false;
        // An unknown value (NaN) fails both comparisons.
        const double value = kTechnicalMeasures[m].value(*row);
        if (!(ranges[m].start <= value && value <= ranges[m].end))
            return false;
    }
    return true;
}

QList<int> matchStocks(const MarketDatabase &db, const ScreenBounds &bounds, const TechnicalRanges &ranges,
                       const TechnicalTable &table)
{
    if (!anyTicked(ranges))
        return matchStocks(db, bounds);
    const bool classic = std::any_of(bounds.begin(), bounds.end(), [](const CriterionBounds &b) { return b.ticked; });
    QList<int> indexes = classic ? matchStocks(db, bounds) : allStocks(db);
    indexes.removeIf([&](int i) { return !passesTechnicals(table.find(db.Stocks[i].Symbol), ranges); });
    return indexes;
}

bool quickSearchMatches(const QString &symbol, const QString &typed)
{
    return symbol.toLower() == typed.toLower();
}

QList<int> quickSearch(const MarketDatabase &db, const QString &typed)
{
    QList<int> indexes;
    const QString wanted = typed.toLower();
    const int n = listedWalkCount(db);
    for (int i = 0; i < n; ++i) {
        if (db.Stocks[i].Symbol.toLower() == wanted)
            indexes.append(i);
    }
    return indexes;
}
