#pragma once

#include "market/MarketDatabase.h"
#include "screen/Criteria.h"
#include "screen/TechnicalMeasures.h"
#include "screen/TechnicalTable.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

// What the screening panel holds for one criterion: its check box and the
// texts of its start and end boxes.
struct CriterionBoxes
{
    bool ticked = false;
    QString start;
    QString end;
};
// Every range of the screening panel: the criteria of kCriteria, then the
// technical measures of kTechnicalMeasures (technicalBox(m) is measure m's).
using CriteriaBoxes = std::array<CriterionBoxes, kCriteria.size() + kTechnicalMeasures.size()>;
inline constexpr size_t technicalBox(size_t measure)
{
    return kCriteria.size() + measure;
}

// The bounds of one criterion as "Match Stocks" compares them: inclusive,
// already rounded to single precision for the single-precision fields.
struct CriterionBounds
{
    bool ticked = false;
    double start = 0;
    double end = 0;
};
using ScreenBounds = std::array<CriterionBounds, kCriteria.size()>;
// The technical ranges, by kTechnicalMeasures order, in double precision.
using TechnicalRanges = std::array<CriterionBounds, kTechnicalMeasures.size()>;

// Reads the bounds of every ticked criterion; the boxes of unticked ones are
// not looked at. A box is read with "." as the decimal point whatever the
// locale. nullopt when a ticked box holds no number or one beyond its field's
// range; *badCriterion then gets the first such criterion's index in kCriteria.
std::optional<ScreenBounds> readScreenBounds(const CriteriaBoxes &boxes, int *badCriterion = nullptr);

// The same for the technical ranges, whose boxes may start with "-";
// *badMeasure gets the index in kTechnicalMeasures.
std::optional<TechnicalRanges> readTechnicalRanges(const CriteriaBoxes &boxes, int *badMeasure = nullptr);
bool anyTicked(const TechnicalRanges &ranges);

// The message that refuses a screen because of the criterion's boxes.
QString badBoundsMessage(const Criterion &criterion);
QString badBoundsMessage(const TechnicalMeasure &measure);

// A stock passes when at least one criterion is ticked and its value lies
// inside every ticked range.
bool passesScreen(const StockRecord &stock, const ScreenBounds &bounds);

// Indexes of the listed stocks, in index order: all of them, those that pass
// the screen, or those whose symbol matches the quick search.
QList<int> allStocks(const MarketDatabase &db);
QList<int> matchStocks(const MarketDatabase &db, const ScreenBounds &bounds);

// A symbol passes the ticked technical ranges when the table has its row and
// every ticked measure is known and inside its range.
bool passesTechnicals(const TechnicalRow *row, const TechnicalRanges &ranges);
// "Match Stocks" with technical ranges: the ticked criteria first (every
// stock when none is ticked), then the ticked technical ranges. With no
// technical range ticked it is matchStocks(db, bounds) and the table is not read.
QList<int> matchStocks(const MarketDatabase &db, const ScreenBounds &bounds, const TechnicalRanges &ranges,
                       const TechnicalTable &table);
QList<int> quickSearch(const MarketDatabase &db, const QString &typed);

// Quick search compares the lower-case forms exactly: no trimming, no prefix.
bool quickSearchMatches(const QString &symbol, const QString &typed);
