#pragma once

#include <QString>

// What the research window needs of the program: the text its caption is
// made from (the result grid's current cell) and the Symbol Menu that its
// "Research Tools" pops. The host outlives every window it is given to.
class ResearchHost
{
public:
    virtual ~ResearchHost() = default;

    virtual QString currentCellText() const = 0;
    virtual void popSymbolMenu() = 0;
};
