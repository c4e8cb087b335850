#pragma once

#include <QString>

// The failure path of a routine that says why through `QString *error`:
// stores the reason when one is asked for and returns false.
inline bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}
