#pragma once

#include "history/DailyBar.h"

#include <QByteArrayView>
#include <QDate>

// Made-up but plausible daily bars for trying the program without real
// history: a random walk of the close that ends exactly at lastClose on
// lastDate (or the weekday before it), weekdays only, with opens near the
// previous close, highs and lows around both, and volumes scattered around
// typicalVolume. The same symbol always gets the same series.
BarSeries sampleHistory(QByteArrayView symbol, double lastClose, qint64 typicalVolume, QDate lastDate, int sessions);
