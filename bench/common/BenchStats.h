#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <iterator>

// The figures every benchmark prints: medians of repeated runs.
template<typename Container>
double median(Container values)
{
    std::sort(std::begin(values), std::end(values));
    return values[std::size(values) / 2];
}

// Wall time of one call, in milliseconds.
template<typename F>
double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}
