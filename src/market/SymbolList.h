#pragma once

#include "market/MarketDatabase.h"

// Maintenance of the listed symbols. Symbols compare by their lower-case
// forms, character by character, with no trimming: " ibm " and "ibm" are
// different symbols.
bool symbolsMatch(const QString &listed, const QString &typed);

// Index of the first listed record whose symbol matches, or -1.
qsizetype findSymbol(const MarketDatabase &db, const QString &symbol);

// Lists the symbol exactly as typed: it fills the spare record, and a new
// empty spare goes after it.
void addSymbol(MarketDatabase &db, const QString &symbol);

// Drops every listed record whose symbol matches and keeps the others in
// order, followed by one spare. Returns how many were dropped.
qsizetype removeSymbol(MarketDatabase &db, const QString &symbol);
