#pragma once

#include <QByteArray>
#include <QByteArrayView>

// How stooq spells the market files' symbols, both ways, for the live quote
// source and the history archives alike.

// The source's name for a symbol, in lower case: share classes are spelled
// with "-" and get the suffix (BRK.B -> brk-b.us), an index keeps its "^" and
// gets no suffix (^DJI -> ^dji). Empty for a symbol the source cannot be
// asked about: longer than 32 characters, or holding anything but ASCII
// letters, digits, "." and "-" after an optional leading "^".
QByteArray upstreamName(QByteArrayView symbol, QByteArrayView suffix);

// The symbol a source name stands for, as the market files spell it: the
// suffix dropped (any case), "-" back to "." and upper case (BRK-B.US ->
// BRK.B, ^dji -> ^DJI). Empty when a name without "^" lacks the suffix or
// is no name upstreamName could give. The source writes "." and "-" alike as
// "-", so a market symbol spelled with "-" comes back with "."; where the
// listed symbols are known, look them up by upstreamName instead.
QByteArray symbolOfUpstreamName(QByteArrayView name, QByteArrayView suffix);
