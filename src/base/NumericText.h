#pragma once

#include <QString>

// The rule of every amount box: keeps only "1234567890." of a text, in order.
QString numericText(const QString &text);

// The same for boxes whose amounts may be negative (distances from an
// average, performance): a "-" is kept when it comes before every other kept
// character, and only one of them; any other "-" is dropped.
QString signedNumericText(const QString &text);
