#pragma once

#include "market/StockRecord.h"

#include <array>

// The seven screening criteria, in the order "Match Stocks" tests them. Each
// sits in its own frame of the screening panel with a check box and a start
// and an end box.
struct Criterion
{
    const char *frame;   // objectName of the frame
    const char *caption; // frame title
    const char *check;   // check box
    const char *startBox;
    const char *endBox;
    bool dollar;       // labels read "Start: $" / "  End: $" rather than "Start:" / "  End:"
    bool doubleBounds; // bounds compared in double precision (volume); others in single
    double (*field)(const StockRecord &);
};

inline constexpr std::array<Criterion, 7> kCriteria{{
    {"Frame5", "Last", "chkLast", "txtLastS", "txtLastE", true, false,
     [](const StockRecord &s) { return double(s.Last); }},
    {"Frame7", "Spread", "chkSpread", "txtSpreadS", "txtSpreadE", true, false,
     [](const StockRecord &s) { return double(s.Spread); }},
    {"Frame6", "Open", "chkOpen", "txtOpenS", "txtOpenE", true, false,
     [](const StockRecord &s) { return double(s.Open); }},
    {"Frame10", "Change", "chkChange", "txtChangeS", "txtChangeE", false, false,
     [](const StockRecord &s) { return double(s.Change); }},
    {"Frame11", "Volume", "chkVolume", "txtVolumeS", "txtVolumeE", false, true,
     [](const StockRecord &s) { return s.Volume; }},
    {"Frame8", "High", "chkHigh", "txtHighS", "txtHighE", true, false,
     [](const StockRecord &s) { return double(s.High); }},
    {"Frame9", "Low", "chkLow", "txtLowS", "txtLowE", true, false, [](const StockRecord &s) { return double(s.Low); }},
}};
