#pragma once

#include <QtGlobal>

// Colours as 0xRRGGBB, as the grid's cells keep them.

// How far apart two colours read, from 1 (the same) to 21 (black on white):
// (L1 + 0.05) / (L2 + 0.05) over their relative luminances, the lighter on top.
double contrastRatio(quint32 first, quint32 second);

// The contrast below which text is hard to read.
inline constexpr double kReadableContrast = 4.5;

// preferred when it reads on background, otherwise black or white, whichever
// reads better there.
quint32 readableOn(quint32 background, quint32 preferred);
