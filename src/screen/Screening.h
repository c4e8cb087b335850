#pragma once

#include "market/MarketDatabase.h"
#include "screen/Criteria.h"

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
using CriteriaBoxes = std::array<CriterionBoxes, kCriteria.size()>;

// The bounds of one criterion as "Match Stocks" compares them: inclusive,
// already rounded to single precision for the single-precision fields.
struct CriterionBounds
{
    bool ticked = false;
    double start = 0;
    double end = 0;
};
using ScreenBounds = std::array<CriterionBounds, kCriteria.size()>;

// Reads the bounds of every ticked criterion; the boxes of unticked ones are
// not looked at. A box is read with "." as the decimal point whatever the
// locale. nullopt when a ticked box holds no number or one beyond its field's
// range; *badCriterion then gets the first such criterion's index in kCriteria.
std::optional<ScreenBounds> readScreenBounds(const CriteriaBoxes &boxes, int *badCriterion = nullptr);

// The message that refuses a screen because of the criterion's boxes.
QString badBoundsMessage(const Criterion &criterion);

// A stock passes when at least one criterion is ticked and its value lies
// inside every ticked range.
bool passesScreen(const StockRecord &stock, const ScreenBounds &bounds);

// Indexes of the listed stocks, in index order: all of them, those that pass
// the screen, or those whose symbol matches the quick search.
QList<int> allStocks(const MarketDatabase &db);
QList<int> matchStocks(const MarketDatabase &db, const ScreenBounds &bounds);
QList<int> quickSearch(const MarketDatabase &db, const QString &typed);

// Quick search compares the lower-case forms exactly: no trimming, no prefix.
bool quickSearchMatches(const QString &symbol, const QString &typed);
