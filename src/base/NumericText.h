#pragma once

#include <QString>

// The rule of every amount box: keeps only "1234567890." of a text, in order.
QString numericText(const QString &text);
